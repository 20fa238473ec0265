#include "dsp/Oscillator.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Korvel {

namespace {

constexpr double kGainTime = 0.002;

double finiteOrZero(double x) {
    return std::isfinite(x) ? x : 0;
}

} // namespace

Oscillator::Oscillator() : tunedFrequency_(std::numeric_limits<double>::quiet_NaN()) {
    gainSlew_.setup(sampleRate_, 1, kGainTime, 1);
}

void Oscillator::setSampleRate(double sampleRate) {
    if (sampleRate > 0 && std::isfinite(sampleRate)) sampleRate_ = sampleRate;
    envelope_.setSampleRate(sampleRate_);
    gainSlew_.setup(sampleRate_, 1, kGainTime, 1);
    tunedFrequency_ = std::numeric_limits<double>::quiet_NaN();
}

void Oscillator::setWaveform(int waveform) {
    waveform = std::clamp(waveform, static_cast<int>(Sine), static_cast<int>(Sawtooth));
    if (waveform == waveform_) return;
    waveform_ = waveform;
    tunedFrequency_ = std::numeric_limits<double>::quiet_NaN();
}

void Oscillator::setPartial(double partial) {
    partial_ = partial;
    updateRatio();
}

void Oscillator::setDetune(double cents) {
    detune_ = cents;
    updateRatio();
}

void Oscillator::updateRatio() {
    ratio_ = partial_ * std::pow(2.0, detune_ * 0.0008333333333333334);
}

void Oscillator::setNoise(double gain) {
    noise_ = finiteOrZero(gain);
}

void Oscillator::setLevel(double gain) {
    level_ = finiteOrZero(gain);
}

double Oscillator::frequencyGain(double f) {
    if (f < 10) return 0;
    if (f < 30) return 0.05 * (f - 10);
    if (f < 10000) return 1 - (f - 30) * 3.009027081243731e-05;
    if (f < 17500) return 0.7 - (f - 10000) * 9.333333333333333e-05;
    return 0; // also for NaN
}

void Oscillator::retune(double f) {
    tunedFrequency_ = f;
    phaseIncrement_ = kTwoPi * f / sampleRate_;
    double g = frequencyGain(f);
    gainTarget_ = g * g;
    if (waveform_ != Sine) {
        const WaveTables& tables = WaveTables::shared();
        WaveTables::Blend b = WaveTables::blend(f);
        int shape = waveform_ - 1;
        lowTable_ = tables.level(shape, b.low);
        highTable_ = b.single ? nullptr : tables.level(shape, b.low + 1);
        fade_ = b.fade;
    }
}

// Only reached when one sample's increment exceeds a whole cycle (a tone above the sample rate, or
// an infinite frequency): the phase is brought back into one cycle instead of running away.
void Oscillator::rewrapPhase() {
    phase_ = std::isfinite(phase_) ? std::fmod(phase_, kTwoPi) : 0;
}

} // namespace Korvel

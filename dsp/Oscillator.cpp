#include "dsp/Oscillator.h"

#include "dsp/PortableMath.h"

#include <algorithm>
#include <cmath>
#include <cstring>
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
    ratio_ = partial_ * PortableMath::exp2(detune_ * 0.0008333333333333334);
}

void Oscillator::setNoise(double gain) {
    noise_ = finiteOrZero(gain);
}

void Oscillator::setLevel(double gain) {
    level_ = finiteOrZero(gain);
    muted_ = level_ == 0;
}

bool Oscillator::sameVoiceAs(const Oscillator& o) const {
    if (noise_ != 0 || o.noise_ != 0) return false;
    const double mine[] = {partial_,        detune_,     attack_,    release_,    level_,
                           ratio_,          phase_,      frequency_, sampleRate_, tunedFrequency_,
                           phaseIncrement_, gainTarget_, fade_};
    const double theirs[] = {o.partial_,    o.detune_,         o.attack_,         o.release_,
                             o.level_,      o.ratio_,          o.phase_,          o.frequency_,
                             o.sampleRate_, o.tunedFrequency_, o.phaseIncrement_, o.gainTarget_,
                             o.fade_};
    return waveform_ == o.waveform_ && muted_ == o.muted_ && lowTable_ == o.lowTable_ &&
           highTable_ == o.highTable_ && std::memcmp(mine, theirs, sizeof mine) == 0 &&
           envelope_.sameAs(o.envelope_) && gainSlew_.sameAs(o.gainSlew_);
}

void Oscillator::selectTables(double f) {
    const WaveTables& tables = WaveTables::shared();
    WaveTables::Blend b = WaveTables::blend(f);
    int shape = waveform_ - 1;
    lowTable_ = tables.level(shape, b.low);
    highTable_ = b.single ? nullptr : tables.level(shape, b.low + 1);
    fade_ = b.fade;
}

// Only reached when one sample's increment exceeds a whole cycle (a tone above the sample rate, or
// an infinite frequency): the phase is brought back into one cycle instead of running away.
void Oscillator::rewrapPhase() {
    phase_ = std::isfinite(phase_) ? std::fmod(phase_, kTwoPi) : 0;
}

} // namespace Korvel

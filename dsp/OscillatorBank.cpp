#include "dsp/OscillatorBank.h"

#include "dsp/EngineKernels.h"
#include "dsp/PortableMath.h"
#include "dsp/WaveTables.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace Korvel {

namespace {

constexpr double kGainTime = 0.002;
static_assert(OscillatorBankState::kTableStride == WaveTables::kStride &&
                  WaveTables::kStride - WaveTables::kLead - WaveTables::kSize >= 3 &&
                  WaveTables::kLead >= 1,
              "the kernel reads a level's entries -1 .. 2050 at these offsets");

double finiteOrZero(double x) {
    return std::isfinite(x) ? x : 0;
}

// As Envelope::begin: a phase shorter than one sample takes one sample.
double incrementFor(double sampleRate, double seconds) {
    double samples = sampleRate * seconds;
    if (!(samples >= 1) || !std::isfinite(samples)) samples = 1;
    return 1 / samples;
}

} // namespace

OscillatorBank::OscillatorBank() {
    std::memset(&state_, 0, sizeof state_);
    std::memset(&parked_, 0, sizeof parked_);
    // The kernels read rows four samples at a time, past a chunk's end too: never unset memory.
    std::memset(&scratch_, 0, sizeof scratch_);
    for (int k = 0; k < OscillatorBankState::kLanes; ++k) {
        state_.ratio[k] = 1;
        state_.sampleRate[k] = 44100;
        state_.tuned[k] = std::numeric_limits<double>::quiet_NaN();
    }
    for (int k = 0; k < kVoices; ++k) {
        waveform_[k] = 0;
        partial_[k] = 1;
        detune_[k] = 0;
        attack_[k] = 0.01;
        release_[k] = 0.01;
    }
    setSampleRate(44100);
}

void OscillatorBank::setSampleRate(double sampleRate) {
    for (int k = 0; k < OscillatorBankState::kLanes; ++k) {
        if (sampleRate > 0 && std::isfinite(sampleRate)) state_.sampleRate[k] = sampleRate;
        double rate = state_.sampleRate[k];
        state_.gainStep[k] = std::fabs(1 / (rate * kGainTime));
        state_.gain[k] = state_.gainTarget[k] = 1;
        state_.tuned[k] = std::numeric_limits<double>::quiet_NaN();
    }
    for (int k = 0; k < kVoices; ++k)
        updateIncrements(k);
    // The filler lane's envelope phases end at once, so it never keeps the others' work going.
    state_.attackIncrement[kVoices] = state_.releaseIncrement[kVoices] = 1;
}

void OscillatorBank::setWaveform(int k, int waveform) {
    waveform = std::clamp(waveform, 0, 3);
    if (waveform == waveform_[k]) return;
    waveform_[k] = waveform;
    state_.isTable[k] = waveform == 0 ? 0 : ~std::uint64_t{0};
    state_.shapeBase[k] = waveform == 0 ? 0
                                        : static_cast<std::uint64_t>(waveform - 1) *
                                              WaveTables::kLevels * WaveTables::kStride;
    state_.tuned[k] = std::numeric_limits<double>::quiet_NaN();
}

void OscillatorBank::setPartial(int k, double partial) {
    partial_[k] = partial;
    updateRatio(k);
}

void OscillatorBank::setDetune(int k, double cents) {
    detune_[k] = cents;
    updateRatio(k);
}

void OscillatorBank::updateRatio(int k) {
    state_.ratio[k] = partial_[k] * PortableMath::exp2(detune_[k] * 0.0008333333333333334);
}

void OscillatorBank::setAttack(int k, double seconds) {
    attack_[k] = seconds;
    updateIncrements(k);
}

void OscillatorBank::setRelease(int k, double seconds) {
    release_[k] = seconds;
    updateIncrements(k);
}

void OscillatorBank::updateIncrements(int k) {
    state_.attackIncrement[k] = incrementFor(state_.sampleRate[k], attack_[k]);
    state_.releaseIncrement[k] = incrementFor(state_.sampleRate[k], release_[k]);
}

void OscillatorBank::setNoise(int k, double gain) {
    state_.noise[k] = finiteOrZero(gain);
}

void OscillatorBank::setLevel(int k, double gain) {
    state_.level[k] = finiteOrZero(gain);
}

void OscillatorBank::release() {
    for (int k = 0; k < OscillatorBankState::kLanes; ++k) {
        double s = state_.state[k];
        if (s != OscillatorBankState::Attacking && s != OscillatorBankState::Sustaining) continue;
        state_.progress[k] = 0;
        if (state_.envelope[k] == 0) {
            state_.state[k] = OscillatorBankState::Idle;
            state_.increment[k] = state_.span[k] = 0;
        } else {
            state_.state[k] = OscillatorBankState::Releasing;
            state_.increment[k] = state_.releaseIncrement[k];
            state_.span[k] = state_.envelope[k];
        }
    }
}

bool OscillatorBank::process(const EngineKernels& kernels, const double* frequency,
                             const int* runEnds, int runs, bool constant,
                             const double* const draws[kVoices], const bool drawn[kVoices],
                             double* out, int frames) {
    OscillatorBankInput input;
    input.frequency = frequency;
    input.runEnds = runEnds;
    input.runs = runs;
    input.constant = constant;
    for (int k = 0; k < kVoices; ++k) {
        input.draws[k] = draws[k];
        input.drawn[k] = drawn[k];
    }
    input.tables = WaveTables::shared().level(0, 0);
    input.scratch = &scratch_;
    input.frames = frames;
    const bool noNote = runs == 1 && !(frequency[0] > 0);
    if (!noNote) {
        isParked_ = false;
        return kernels.oscillatorBank(state_, input, out);
    }
    if (isParked_ && std::memcmp(&parked_, &state_, sizeof state_) == 0) return false;
    std::memcpy(&parked_, &state_, sizeof state_);
    const bool sounding = kernels.oscillatorBank(state_, input, out);
    bool still = !sounding && std::memcmp(&parked_, &state_, sizeof state_) == 0;
    for (int k = 0; k < kVoices; ++k)
        still &= state_.phaseIncrement[k] == 0;
    isParked_ = still;
    return sounding;
}

} // namespace Korvel

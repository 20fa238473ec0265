// The engine's three oscillators, run chunk by chunk by the kernels of the processor's widest
// instruction set (dsp/OscillatorBankKernel.h). Each voice behaves as one Oscillator driven by the
// block routine (setFrequency where a pitch is tracked, release where none is, one sample each),
// bit for bit. Audio thread only, except the setters that parameter application calls between
// blocks.
#pragma once

#include "dsp/OscillatorBankState.h"

namespace Korvel {

struct EngineKernels;

class OscillatorBank {
public:
    static constexpr int kVoices = 3;
    static constexpr int kMaxFrames = OscillatorBankScratch::kFrames;

    OscillatorBank();

    // A rate that is not a positive number keeps the previous one; every gain starts at 1 again.
    void setSampleRate(double sampleRate);
    // Voice k (0..2), as the Oscillator setters.
    void setWaveform(int k, int waveform);
    void setPartial(int k, double partial);
    void setDetune(int k, double cents);
    void setAttack(int k, double seconds);
    void setRelease(int k, double seconds);
    void setNoise(int k, double gain);
    void setLevel(int k, double gain);
    // Every voice's release(), as on an engine reset.
    void release();

    // Whether voice k's noise draws can reach its output in a chunk where noteInChunk tells if
    // any sample tracks a pitch: not without noise or level, nor while it is silent throughout.
    bool drawsMatter(int k, bool noteInChunk) const {
        if (state_.noise[k] == 0 || state_.level[k] == 0) return false;
        return noteInChunk || state_.state[k] != OscillatorBankState::Idle;
    }

    // A chunk of at most kMaxFrames samples: frequency[i] > 0 retunes to it (starting an attack
    // where none runs), anything else releases; runEnds ends the runs of samples with and
    // without a frequency (the last is frames). draws[k] holds voice k's draws, read where drawn
    // marks them heard. out[i] = the sum of the three outputs. frequency and out hold frames
    // rounded up to four; constant tells that frequency is one value throughout. Returns false,
    // out untouched, when none can sound.
    bool process(const EngineKernels& kernels, const double* frequency, const int* runEnds,
                 int runs, bool constant, const double* const draws[kVoices],
                 const bool drawn[kVoices], double* out, int frames);

    // For tests.
    int envelopeState(int k) const { return static_cast<int>(state_.state[k]); }
    double envelopeLevel(int k) const { return state_.envelope[k]; }
    double phase(int k) const { return state_.phase[k]; }
    double gain(int k) const { return state_.gain[k]; }

private:
    void updateRatio(int k);
    void updateIncrements(int k);

    OscillatorBankState state_;
    // The state a chunk without a note left as it found it, with no phase to move: further such
    // chunks leave it so (none can sound) until something, a setting or a note, changes it.
    OscillatorBankState parked_;
    bool isParked_ = false;
    OscillatorBankScratch scratch_;
    int waveform_[kVoices];
    double partial_[kVoices];
    double detune_[kVoices];
    double attack_[kVoices];
    double release_[kVoices];
};

} // namespace Korvel

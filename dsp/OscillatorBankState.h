// The state of the engine's three oscillators, laid out for the kernels: voice k in entry k of
// every array (entry 3 is unused padding). Plain data only: the kernels of every instruction set
// read and write it, and include nothing else of ours.
#pragma once

#include <cstdint>

namespace Korvel {

struct alignas(32) OscillatorBankState {
    static constexpr int kVoices = 3;
    static constexpr int kLanes = 4;
    enum EnvelopeState { Idle = 0, Attacking = 1, Sustaining = 2, Releasing = 3 };
    // Wave table entries from one level to the next (WaveTables::kStride): a level's 2048 and
    // the entries around its ends.
    static constexpr std::uint64_t kTableStride = 2052;

    // Settings.
    double ratio[kLanes];
    double level[kLanes];
    double noise[kLanes];
    double attackIncrement[kLanes]; // 1/(attack in samples), read when an attack begins
    double releaseIncrement[kLanes];
    double sampleRate[kLanes];
    std::uint64_t isTable[kLanes];   // all ones for a table waveform, 0 for the sine
    std::uint64_t shapeBase[kLanes]; // index of the voice's shape, level 0, in the tables

    // Oscillator.
    double phase[kLanes];
    double frequency[kLanes];
    double gain[kLanes];
    double gainTarget[kLanes];
    double gainStep[kLanes];

    // Envelope. A release that begins at level 0 stays silent until the next attack, whatever
    // its progress: it is kept as Idle, which behaves the same.
    double envelope[kLanes];
    double progress[kLanes];
    double increment[kLanes];
    double span[kLanes];
    double state[kLanes]; // EnvelopeState

    // What follows from ratio x frequency, valid while that product equals tuned.
    double tuned[kLanes];
    double phaseIncrement[kLanes];
    double fade[kLanes];
    std::uint64_t lowOffset[kLanes];  // index of the lower table level's entry 0
    std::uint64_t highOffset[kLanes]; // the level above (the same one at the top level)
};

// Work rows for one chunk of at most kFrames samples: the tuning of each voice, by voice; the
// envelopes, gains and phases of all, four per sample; each voice's outputs. Four entries more
// than a chunk, as the kernels work four samples at a time.
struct alignas(32) OscillatorBankScratch {
    static constexpr int kFrames = 128;
    static constexpr int kRow = kFrames + 4;
    static constexpr int kVoices = OscillatorBankState::kVoices;
    double frequency[kRow];
    double phaseIncrement[kVoices][kRow];
    double gainTarget[kVoices][kRow];
    double fade[kVoices][kRow];
    std::uint64_t lowOffset[kVoices][kRow];
    std::uint64_t highOffset[kVoices][kRow];
    std::uint64_t sounding[kVoices][kRow];
    double phase[4 * kRow];
    double gain[4 * kRow];
    double envelope[4 * kRow];
    double voice[kVoices][kRow];
};

// One chunk for the kernel: the tracked frequency per sample (0 where there is none) with the
// ends of its runs with and without a frequency, each voice's noise draws where drawn says they
// are heard, and the wave tables.
struct OscillatorBankInput {
    const double* frequency;
    const int* runEnds;
    int runs;
    bool constant; // one frequency throughout
    const double* draws[OscillatorBankState::kVoices];
    bool drawn[OscillatorBankState::kVoices];
    const double* tables;
    int frames; // at most OscillatorBankScratch::kFrames
    OscillatorBankScratch* scratch;
};

} // namespace Korvel

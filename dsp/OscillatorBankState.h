// The state of the engine's three oscillators, one lane each (the fourth lane is a silent
// oscillator, there to fill the vector), laid out for the lane kernels. Plain data only: the
// kernels of every instruction set read and write it, and include nothing else of ours.
#pragma once

#include <cstdint>

namespace Korvel {

struct alignas(32) OscillatorBankState {
    static constexpr int kLanes = 4;
    enum EnvelopeState { Idle = 0, Attacking = 1, Sustaining = 2, Releasing = 3 };

    // Settings.
    double ratio[kLanes];
    double level[kLanes];
    double noise[kLanes];
    double attackIncrement[kLanes]; // 1/(attack in samples), read when an attack begins
    double releaseIncrement[kLanes];
    double sampleRate[kLanes];
    std::uint64_t isTable[kLanes];   // all ones for a table waveform, 0 for the sine
    std::uint64_t shapeBase[kLanes]; // index of the lane's shape, level 0, in the tables

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

    bool gainSettled; // gain == gainTarget in every lane, and stays so until a retune
};

// Work rows for one chunk of at most kFrames samples, four lanes per sample.
struct alignas(32) OscillatorBankScratch {
    static constexpr int kFrames = 128;
    static constexpr int kRow = 4 * kFrames;
    double phaseIncrement[kRow];
    double gainTarget[kRow];
    double fade[kRow];
    std::uint64_t lowOffset[kRow];
    std::uint64_t highOffset[kRow];
    std::uint64_t sounding[kRow];
    double phase[kRow];
    double gain[kRow];
    double envelope[kRow];
};

// One chunk for the kernel: the tracked frequency per sample (0 where there is none) with the
// ends of its runs with and without a frequency, the draws (lane-major, four per sample: read only
// in lanes that drawLanes marks), and the wave tables.
struct OscillatorBankInput {
    const double* frequency;
    const int* runEnds;
    int runs;
    const double* draws;
    std::uint64_t drawLanes[OscillatorBankState::kLanes];
    const double* tables;
    int frames; // at most OscillatorBankScratch::kFrames
    OscillatorBankScratch* scratch;
};

} // namespace Korvel

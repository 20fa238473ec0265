// The engine's vector kernels, compiled once for the baseline x86-64 instruction set (or whatever
// the target's compiler baseline is) and once more for AVX2 where the compiler can target it. The
// widest the processor runs is chosen when first asked for; every set gives the same bits.
#pragma once

#include "dsp/OscillatorBankState.h"

namespace Korvel {

// The terms the screens sum before their first test, so the fewest they may be given: fewer than
// any of the detector's measures has (25 at 10 kHz the fewest, 44 at 44.1 kHz). In noise a first
// test at 24 costs fewest instructions; at 16 it finds too few to end, at 32 most could have ended
// earlier.
constexpr int kDifferenceFirstTerms = 24;

// Where the difference measure reads: the history's newest sample and the same in its copy rounded
// to float, with the steps between terms as the kernels take them: 0, -step, -2 step, -3 step,
// 4 step four times, step; and for the float copy 0, -step .. -7 step, 8 step eight times.
struct DifferenceReads {
    const double* newest;
    const float* narrow;
    const int* steps;
    const int* narrowSteps;
};

// See dsp/OscillatorBankKernel.h, dsp/EngineGlueKernel.h, dsp/DetectorKernel.h and
// dsp/GeneratorKernel.h.
struct EngineKernels {
    const char* name;
    bool (*oscillatorBank)(OscillatorBankState& state, const OscillatorBankInput& input,
                           double* out);
    int (*monoFloat)(const float* left, const float* right, int frames, double* mono,
                     double* dryLeft, double* dryRight);
    int (*monoDouble)(const double* left, const double* right, int frames, double* mono,
                      double* dryLeft, double* dryRight);
    bool (*glideFollows)(const double* period, int frames, double coef, double rate,
                         double& smoothed, double* frequency);
    void (*lfoRun)(double phase, double d, int m, double* phases);
    void (*lfoShapes)(int waveform, const double* phase, int frames, double* out);
    bool (*slewFollows)(const double* target, int frames, double current, double step);
    void (*mixSynth)(const double* voices, const double* floorNoise, const double* tremolo,
                     double still, double mainGain, double depth, int frames, double* value);
    void (*mixTremolo)(const double* voices, const double* floorNoise, int waveform, double phase,
                       double d, double mainGain, double depth, int frames, double* value);
    void (*outputsFloat)(const double* value, double previous, const double* dryLeft,
                         const double* dryRight, int frames, bool stereoIn, bool stereoOut,
                         float* outLeft, float* outRight);
    void (*outputsDouble)(const double* value, double previous, const double* dryLeft,
                          const double* dryRight, int frames, bool stereoIn, bool stereoOut,
                          double* outLeft, double* outRight);
    // The difference measure: a screen that rules out most candidates, then the terms of those it
    // keeps; for even spans, then odd ones. The narrow screen reads the float copy and is null in
    // sets without gathers, where it would save nothing.
    bool (*differenceScreen[2])(const DifferenceReads& reads, int h, int n, double limit);
    bool (*narrowScreen[2])(const DifferenceReads& reads, int h, int n, double limit);
    // The same for a step of 5 (44.1 and 48 kHz), its reads at fixed offsets.
    bool (*narrowScreenStep5[2])(const DifferenceReads& reads, int h, int n, double limit);
    void (*differenceTerms[2])(const double* newest, int h, int n, const int* steps, double* out);
    void (*lowpassBlock)(const double* x, int n, double* y, const double* coefficients,
                         double* state);
    // Bit 0: every sample is 0 (of either sign); bit 1: some sample is beyond 1e300 or NaN.
    int (*inputMarks)(const double* x, int n);
    double (*copyTwice)(const double* from, int n, double* a, double* b, float* fa, float* fb);
    int (*crossingAges)(const std::int64_t* times, int m, std::int64_t now, int limit, int* ages);
    void (*crossingMarks)(const double* y, int n, double previous, double gate,
                          std::uint64_t* crossings, std::uint64_t* loud);
    void (*floorDraws)(std::uint32_t* z, std::uint32_t* w, int frames, double* floor);
    void (*voiceDraws)(std::uint32_t* z, std::uint32_t* w, int frames, double* const* voices,
                       double* floor);
};

// [any] The widest set this processor runs, unless the baseline is preferred.
const EngineKernels& engineKernels();
// [set-up] For benchmarks: engines made afterwards start with the baseline set.
void preferBaselineKernels(bool prefer);
// [any] The baseline set, which every processor runs; and the widest set built, or null when
// the build has only the baseline (tests and benchmarks compare them).
const EngineKernels& baselineKernels();
const EngineKernels* wideKernels();

} // namespace Korvel

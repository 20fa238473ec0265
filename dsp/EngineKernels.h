// The engine's vector kernels, compiled once for the baseline x86-64 instruction set (or whatever
// the target's compiler baseline is) and once more for AVX2 where the compiler can target it. The
// widest the processor runs is chosen when first asked for; every set gives the same bits.
#pragma once

#include "dsp/OscillatorBankState.h"

namespace Korvel {

// The terms differenceSums sums before its first test, so the fewest it may be given: fewer than
// any of the detector's measures has (25 at 10 kHz the fewest, 44 at 44.1 kHz). In noise a first
// test at 24 costs fewest instructions; at 16 it finds too few to end, at 32 most could have ended
// earlier.
constexpr int kDifferenceFirstTerms = 24;

// See dsp/OscillatorBankKernel.h, dsp/EngineGlueKernel.h, dsp/DetectorKernel.h and
// dsp/GeneratorKernel.h.
struct EngineKernels {
    const char* name;
    bool (*oscillatorBank)(OscillatorBankState& state, const OscillatorBankInput& input,
                           double* out);
    void (*monoFloat)(const float* left, const float* right, int frames, double* mono,
                      double* dryLeft, double* dryRight);
    void (*monoDouble)(const double* left, const double* right, int frames, double* mono,
                       double* dryLeft, double* dryRight);
    bool (*glideFollows)(const double* period, int frames, double coef, double rate,
                         double& smoothed, double* frequency);
    int (*lfoRamp)(double& phase, double increment, int frames, double* phases);
    void (*lfoShapes)(int waveform, const double* phase, int frames, double* out);
    bool (*slewFollows)(const double* target, int frames, double current, double step);
    void (*mixSynth)(const double* voices, const double* floorNoise, const double* tremolo,
                     double still, double mainGain, double depth, int frames, double* value);
    void (*outputsFloat)(const double* value, double previous, const double* dryLeft,
                         const double* dryRight, int frames, bool stereoIn, bool stereoOut,
                         float* outLeft, float* outRight);
    void (*outputsDouble)(const double* value, double previous, const double* dryLeft,
                          const double* dryRight, int frames, bool stereoIn, bool stereoOut,
                          double* outLeft, double* outRight);
    // For even spans, then odd ones. steps: 0, -step, -2 step, -3 step, 4 step four times, step.
    bool (*differenceSums[2])(const double* newest, int h, int n, const int* steps, double limit,
                              double* out);
    void (*lowpassBlock)(const double* x, int n, double* y, const double* coefficients,
                         double* state);
    int (*inputMarks)(const double* x, int n);
    void (*copyTwice)(const double* from, int n, double* a, double* b);
    double (*peakOf)(const double* x, int n);
    int (*crossingAges)(const std::int64_t* times, int m, std::int64_t now, int limit, int* ages);
    void (*spanWindows)(const int* ages, int from, int count, int* low, int* high);
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

#include "dsp/EngineKernels.h"

#include "dsp/DetectorKernel.h"
#include "dsp/EngineGlueKernel.h"
#include "dsp/GeneratorKernel.h"
#include "dsp/OscillatorBankKernel.h"

#include <atomic>

namespace Korvel {

#if KORVEL_WIDE_KERNELS
// In EngineKernelsAvx2.cpp, built for AVX2.
const EngineKernels& avx2Kernels();
#endif

namespace {

const EngineKernels kBaseline = {"baseline",
                                 &Base::runOscillatorBank,
                                 &Base::monoSum<float>,
                                 &Base::monoSum<double>,
                                 &Base::glideFollows,
                                 &Base::lfoRun,
                                 &Base::lfoShapes,
                                 &Base::slewFollows,
                                 &Base::mixSynth,
                                 &Base::mixTremolo,
                                 &Base::writeOutputs<float>,
                                 &Base::writeOutputs<double>,
                                 {&Base::differenceScreen<false>, &Base::differenceScreen<true>},
                                 {nullptr, nullptr},
                                 {nullptr, nullptr},
                                 {&Base::differenceTerms<false>, &Base::differenceTerms<true>},
                                 &Base::lowpassBlock,
                                 &Base::inputMarks,
                                 &Base::copyTwice,
                                 &Base::crossingAges,
                                 &Base::crossingMarks,
                                 &Base::floorDraws,
                                 &Base::voiceDraws};

// The processor's support, asked once; the operating system's too (AVX state saved).
const EngineKernels* detectWide() {
#if KORVEL_WIDE_KERNELS
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return &avx2Kernels();
#endif
    return nullptr;
}

} // namespace

const EngineKernels& baselineKernels() {
    return kBaseline;
}

const EngineKernels* wideKernels() {
#if KORVEL_WIDE_KERNELS
    return &avx2Kernels();
#else
    return nullptr;
#endif
}

std::atomic<bool> baselinePreferred{false};

const EngineKernels& engineKernels() {
    static const EngineKernels* const chosen = detectWide();
    if (baselinePreferred.load(std::memory_order_relaxed)) return kBaseline;
    return chosen ? *chosen : kBaseline;
}

void preferBaselineKernels(bool prefer) {
    baselinePreferred.store(prefer, std::memory_order_relaxed);
}

} // namespace Korvel

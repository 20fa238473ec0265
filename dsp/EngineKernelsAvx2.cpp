// The kernels again, for AVX2 (this file alone is compiled with -mavx2; see dsp/Lanes.h on why
// its functions live in their own namespace). Fused multiply-adds stay off: -ffp-contract=off.
#define KORVEL_LANES_NS Avx2

#include "dsp/DetectorKernel.h"
#include "dsp/EngineGlueKernel.h"
#include "dsp/EngineKernels.h"
#include "dsp/GeneratorKernel.h"
#include "dsp/OscillatorBankKernel.h"

namespace Korvel {

const EngineKernels& avx2Kernels() {
    static constexpr EngineKernels kAvx2 = {
        "avx2",
        &Avx2::runOscillatorBank,
        &Avx2::monoSum<float>,
        &Avx2::monoSum<double>,
        &Avx2::glideFollows,
        &Avx2::lfoRun,
        &Avx2::lfoShapes,
        &Avx2::slewFollows,
        &Avx2::mixSynth,
        &Avx2::mixTremolo,
        &Avx2::writeOutputs<float>,
        &Avx2::writeOutputs<double>,
        {&Avx2::differenceScreen<false>, &Avx2::differenceScreen<true>},
        {&Avx2::narrowScreen<false>, &Avx2::narrowScreen<true>},
        {&Avx2::narrowScreen<false, 5>, &Avx2::narrowScreen<true, 5>},
        {&Avx2::differenceTerms<false>, &Avx2::differenceTerms<true>},
        &Avx2::lowpassBlock,
        &Avx2::inputMarks,
        &Avx2::copyTwice,
        &Avx2::crossingAges,
        &Avx2::crossingMarks,
        &Avx2::floorDraws,
        &Avx2::voiceDraws};
    return kAvx2;
}

} // namespace Korvel

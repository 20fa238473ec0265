// The kernels again, for AVX2 (this file alone is compiled with -mavx2; see dsp/Lanes.h on why
// its functions live in their own namespace). Fused multiply-adds stay off: -ffp-contract=off.
#define KORVEL_LANES_NS Avx2

#include "dsp/EngineKernels.h"
#include "dsp/OscillatorBankKernel.h"

namespace Korvel {

const EngineKernels& avx2Kernels() {
    static constexpr EngineKernels kAvx2 = {"avx2", &Avx2::runOscillatorBank};
    return kAvx2;
}

} // namespace Korvel

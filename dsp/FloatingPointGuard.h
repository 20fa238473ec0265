// Flush-to-zero and denormals-are-zero for the lifetime of the guard, so decaying filters and
// envelopes never fall into the slow denormal range; the caller's control state comes back on
// every way out of the scope.
#pragma once

#if defined(__SSE2__) || defined(_M_X64)
#include <xmmintrin.h>
#define KORVEL_HAS_MXCSR 1
#endif

namespace Korvel {

class FloatingPointGuard {
public:
#if KORVEL_HAS_MXCSR
    FloatingPointGuard() : saved_(_mm_getcsr()) {
        _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero);
    }
    ~FloatingPointGuard() {
        _mm_setcsr(saved_);
    }
#else
    FloatingPointGuard() = default;
#endif
    FloatingPointGuard(const FloatingPointGuard&) = delete;
    FloatingPointGuard& operator=(const FloatingPointGuard&) = delete;

private:
#if KORVEL_HAS_MXCSR
    static constexpr unsigned kFlushToZero = 0x8000;
    static constexpr unsigned kDenormalsAreZero = 0x0040;
    unsigned saved_;
#endif
};

} // namespace Korvel

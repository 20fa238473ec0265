// Vectors of doubles for the engine's kernels, written once and compiled for several instruction
// sets. Only IEEE additions, multiplications, divisions, comparisons and bit operations are used,
// never a fused multiply-add, so every width (one lane, two, four) and every instruction set gives
// the same bits lane for lane.
//
// A file that includes this header compiles its kernels into the namespace named by
// KORVEL_LANES_NS (Base unless the file says otherwise): a file built for a wider instruction set
// defines it first, so that none of its functions can stand in for the baseline's at link time.
// For the same reason the kernels call nothing inline from outside this namespace.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#ifndef KORVEL_LANES_NS
#define KORVEL_LANES_NS Base
#endif

#define KORVEL_LANE_INLINE inline __attribute__((always_inline))

namespace Korvel {
namespace KORVEL_LANES_NS {

typedef double D1 __attribute__((vector_size(8)));
typedef std::uint64_t U1 __attribute__((vector_size(8)));
typedef double D2 __attribute__((vector_size(16)));
typedef std::uint64_t U2 __attribute__((vector_size(16)));
typedef double D4 __attribute__((vector_size(32)));
typedef std::uint64_t U4 __attribute__((vector_size(32)));

// The integer vector of a double vector, and its width.
template <class D> struct LaneTraits;
template <> struct LaneTraits<D1> {
    typedef U1 U;
    static constexpr int kWidth = 1;
};
template <> struct LaneTraits<D2> {
    typedef U2 U;
    static constexpr int kWidth = 2;
};
template <> struct LaneTraits<D4> {
    typedef U4 U;
    static constexpr int kWidth = 4;
};

template <class D> KORVEL_LANE_INLINE D splat(double v) {
    return D{} + v;
}
template <class U> KORVEL_LANE_INLINE U splatBits(std::uint64_t v) {
    return U{} + v;
}
template <class D> KORVEL_LANE_INLINE typename LaneTraits<D>::U bitsOf(D v) {
    return (typename LaneTraits<D>::U)v;
}
template <class D> KORVEL_LANE_INLINE D fromBits(typename LaneTraits<D>::U u) {
    return (D)u;
}
// Comparisons answer all ones in a lane where they hold, 0 elsewhere.
template <class D> KORVEL_LANE_INLINE typename LaneTraits<D>::U less(D a, D b) {
    return (typename LaneTraits<D>::U)(a < b);
}
template <class D> KORVEL_LANE_INLINE typename LaneTraits<D>::U lessEqual(D a, D b) {
    return (typename LaneTraits<D>::U)(a <= b);
}
template <class D> KORVEL_LANE_INLINE typename LaneTraits<D>::U equal(D a, D b) {
    return (typename LaneTraits<D>::U)(a == b);
}
// mask ? a : b, lane by lane.
template <class D> KORVEL_LANE_INLINE D select(typename LaneTraits<D>::U mask, D a, D b) {
    return fromBits<D>((bitsOf(a) & mask) | (bitsOf(b) & ~mask));
}
template <class D> KORVEL_LANE_INLINE D absOf(D v) {
    return fromBits<D>(bitsOf(v) & splatBits<typename LaneTraits<D>::U>(0x7fffffffffffffffull));
}

// The lanes' masks as bits, lane 0 lowest.
KORVEL_LANE_INLINE int maskBits(U1 m) {
    return static_cast<int>(m[0] & 1);
}
KORVEL_LANE_INLINE int maskBits(U2 m) {
#if defined(__SSE2__)
    return _mm_movemask_pd((__m128d)m);
#else
    return static_cast<int>((m[0] & 1) | (m[1] & 2));
#endif
}
KORVEL_LANE_INLINE int maskBits(U4 m) {
#if defined(__AVX__)
    return _mm256_movemask_pd((__m256d)m);
#elif defined(__SSE2__)
    return _mm_movemask_pd((__m128d)U2{m[0], m[1]}) | _mm_movemask_pd((__m128d)U2{m[2], m[3]}) << 2;
#else
    return static_cast<int>((m[0] & 1) | (m[1] & 2) | (m[2] & 4) | (m[3] & 8));
#endif
}

// An integer below 2^51 in magnitude as a double, exactly, without a conversion instruction the
// narrower instruction sets lack for 64-bit lanes.
template <class D> KORVEL_LANE_INLINE D doubleOfInteger(typename LaneTraits<D>::U i) {
    typedef typename LaneTraits<D>::U U;
    return fromBits<D>(i + splatBits<U>(0x4338000000000000ull)) - splat<D>(6755399441055744.0);
}

} // namespace KORVEL_LANES_NS
} // namespace Korvel

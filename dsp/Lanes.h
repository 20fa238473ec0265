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
// The complements: where a < b (a <= b) does not hold, NaN included; one instruction with AVX.
template <class D> KORVEL_LANE_INLINE typename LaneTraits<D>::U notLess(D a, D b) {
    return ~less(a, b);
}
template <class D> KORVEL_LANE_INLINE typename LaneTraits<D>::U notLessEqual(D a, D b) {
    return ~lessEqual(a, b);
}
#if defined(__AVX__)
template <> KORVEL_LANE_INLINE U4 notLess<D4>(D4 a, D4 b) {
    return (U4)_mm256_cmp_pd((__m256d)a, (__m256d)b, _CMP_NLT_UQ);
}
template <> KORVEL_LANE_INLINE U4 notLessEqual<D4>(D4 a, D4 b) {
    return (U4)_mm256_cmp_pd((__m256d)a, (__m256d)b, _CMP_NLE_UQ);
}
#endif
// mask ? a : b, lane by lane.
template <class D> KORVEL_LANE_INLINE D select(typename LaneTraits<D>::U mask, D a, D b) {
    return fromBits<D>((bitsOf(a) & mask) | (bitsOf(b) & ~mask));
}
#if defined(__AVX__)
template <> KORVEL_LANE_INLINE D4 select<D4>(U4 mask, D4 a, D4 b) {
    return (D4)_mm256_blendv_pd((__m256d)b, (__m256d)a, (__m256d)mask);
}
#endif
// mask ? a : 0.
template <class D> KORVEL_LANE_INLINE D keep(typename LaneTraits<D>::U mask, D a) {
    return fromBits<D>(bitsOf(a) & mask);
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

// Four lanes for the kernels: one 256-bit vector where the instruction set has them, else a pair
// of 128-bit ones (vectors of four doubles without AVX compile to poor code).
#if defined(__AVX__)
typedef D4 Wide;
typedef U4 WideMask;
KORVEL_LANE_INLINE double lane(Wide v, int k) {
    return v[k];
}
KORVEL_LANE_INLINE void setLane(Wide& v, int k, double x) {
    v[k] = x;
}
#else
struct Wide {
    D2 lo, hi;
};
struct WideMask {
    U2 lo, hi;
};
template <> struct LaneTraits<Wide> {
    typedef WideMask U;
    static constexpr int kWidth = 4;
};
#define KORVEL_PAIR_OP(T, op)                                                                      \
    KORVEL_LANE_INLINE T operator op(T a, T b) {                                                   \
        return T{a.lo op b.lo, a.hi op b.hi};                                                      \
    }
KORVEL_PAIR_OP(Wide, +)
KORVEL_PAIR_OP(Wide, -)
KORVEL_PAIR_OP(Wide, *)
KORVEL_PAIR_OP(Wide, /)
KORVEL_PAIR_OP(WideMask, +)
KORVEL_PAIR_OP(WideMask, -)
KORVEL_PAIR_OP(WideMask, &)
KORVEL_PAIR_OP(WideMask, |)
KORVEL_PAIR_OP(WideMask, ^)
#undef KORVEL_PAIR_OP
KORVEL_LANE_INLINE Wide operator-(Wide a) {
    return Wide{-a.lo, -a.hi};
}
KORVEL_LANE_INLINE WideMask operator~(WideMask a) {
    return WideMask{~a.lo, ~a.hi};
}
KORVEL_LANE_INLINE WideMask operator>>(WideMask a, int n) {
    return WideMask{a.lo >> n, a.hi >> n};
}
KORVEL_LANE_INLINE WideMask operator<<(WideMask a, int n) {
    return WideMask{a.lo << n, a.hi << n};
}
template <> KORVEL_LANE_INLINE Wide splat<Wide>(double v) {
    return Wide{splat<D2>(v), splat<D2>(v)};
}
template <> KORVEL_LANE_INLINE WideMask splatBits<WideMask>(std::uint64_t v) {
    return WideMask{splatBits<U2>(v), splatBits<U2>(v)};
}
template <> KORVEL_LANE_INLINE WideMask bitsOf<Wide>(Wide v) {
    return WideMask{bitsOf(v.lo), bitsOf(v.hi)};
}
template <> KORVEL_LANE_INLINE Wide fromBits<Wide>(WideMask u) {
    return Wide{fromBits<D2>(u.lo), fromBits<D2>(u.hi)};
}
template <> KORVEL_LANE_INLINE WideMask less<Wide>(Wide a, Wide b) {
    return WideMask{less(a.lo, b.lo), less(a.hi, b.hi)};
}
template <> KORVEL_LANE_INLINE WideMask lessEqual<Wide>(Wide a, Wide b) {
    return WideMask{lessEqual(a.lo, b.lo), lessEqual(a.hi, b.hi)};
}
template <> KORVEL_LANE_INLINE WideMask equal<Wide>(Wide a, Wide b) {
    return WideMask{equal(a.lo, b.lo), equal(a.hi, b.hi)};
}
KORVEL_LANE_INLINE int maskBits(WideMask m) {
    return maskBits(m.lo) | maskBits(m.hi) << 2;
}
KORVEL_LANE_INLINE double lane(Wide v, int k) {
    return k < 2 ? v.lo[k] : v.hi[k - 2];
}
KORVEL_LANE_INLINE void setLane(Wide& v, int k, double x) {
    if (k < 2)
        v.lo[k] = x;
    else
        v.hi[k - 2] = x;
}
#endif

// The same object, its contents unknown to the optimiser: a kernel's constants are then read as
// memory operands of the arithmetic, where AVX2 would otherwise broadcast each one afresh inside
// the loops (it has no broadcast operands), for as many instructions again.
template <class T> KORVEL_LANE_INLINE const T& opaque(const T& v) {
    const T* p = &v;
    __asm__("" : "+r"(p) : "m"(v));
    return *p;
}

KORVEL_LANE_INLINE Wide loadWide(const double* p) {
    Wide v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
KORVEL_LANE_INLINE WideMask loadWideMask(const std::uint64_t* p) {
    WideMask v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
// Four copies of *p, its bits kept (splat adds a zero, which turns -0 into 0).
KORVEL_LANE_INLINE Wide broadcastWide(const double* p) {
#if defined(__AVX__)
    return (Wide)_mm256_broadcast_sd(p);
#else
    const D2 pair = {*p, *p};
    return Wide{pair, pair};
#endif
}
KORVEL_LANE_INLINE void storeWide(double* p, Wide v) {
    std::memcpy(p, &v, sizeof v);
}
KORVEL_LANE_INLINE void storeWideMask(std::uint64_t* p, WideMask v) {
    std::memcpy(p, &v, sizeof v);
}

KORVEL_LANE_INLINE WideMask wideBits(std::uint64_t a, std::uint64_t b, std::uint64_t c,
                                     std::uint64_t d) {
#if defined(__AVX__)
    return WideMask{a, b, c, d};
#else
    return WideMask{U2{a, b}, U2{c, d}};
#endif
}

// Whether every lane of a holds the bits of b's lane.
KORVEL_LANE_INLINE bool sameBits(Wide a, Wide b) {
#if defined(__AVX__)
    const __m256i d = _mm256_castpd_si256(_mm256_xor_pd((__m256d)a, (__m256d)b));
    return _mm256_testz_si256(d, d) != 0;
#else
    const WideMask d = bitsOf(a) ^ bitsOf(b);
    const U2 m = d.lo | d.hi;
    return (m[0] | m[1]) == 0;
#endif
}

// Four entries at the given indices (signed: two's complement in the lanes).
KORVEL_LANE_INLINE Wide gatherWide(const double* base, WideMask index) {
#if defined(__AVX2__)
    return (Wide)_mm256_i64gather_pd(base, (__m256i)index, 8);
#else
    std::int64_t i[4];
    std::memcpy(i, &index, sizeof i);
    Wide v;
    setLane(v, 0, base[i[0]]);
    setLane(v, 1, base[i[1]]);
    setLane(v, 2, base[i[2]]);
    setLane(v, 3, base[i[3]]);
    return v;
#endif
}

// floor(x) for 0 <= x < 2^31, as a double and as an integer.
KORVEL_LANE_INLINE Wide floorWide(Wide x, WideMask& whole) {
#if defined(__AVX2__)
    __m128i truncated = _mm256_cvttpd_epi32((__m256d)x);
    whole = (WideMask)_mm256_cvtepi32_epi64(truncated);
    return (Wide)_mm256_cvtepi32_pd(truncated);
#else
    const Wide magic = splat<Wide>(6755399441055744.0);
    Wide y = x + magic;
    Wide nearest = y - magic;
    WideMask above = less(x, nearest);
    whole = (bitsOf(y) - bitsOf(magic)) + above; // above is -1 where set
    return select(above, nearest - splat<Wide>(1.0), nearest);
#endif
}

} // namespace KORVEL_LANES_NS
} // namespace Korvel

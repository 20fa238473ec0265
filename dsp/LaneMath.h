// Our own base-2 logarithm, lane by lane: the retune takes one per table oscillator per sample, and
// the C library's differs between machines (its code for processors with fused multiply-adds gives
// other last bits than its code without, and other libraries differ again). This one uses only
// basic IEEE operations, so it gives the same bits everywhere; it is within one ulp (0.52 ulp
// measured) and about 40 instructions for a whole vector.
#pragma once

#include "dsp/Lanes.h"

namespace Korvel {
namespace KORVEL_LANES_NS {

// The constants of the logarithm, made once by a kernel that takes many.
template <class D> struct Log2Constants {
    typedef typename LaneTraits<D>::U U;
    U toHalfRoot, exponentBias, mantissa, halfRoot, leading, integerBits;
    D one, half, two, integer, r[8], invLn2Hi, invLn2Lo, smallest, infinity;
};
// Filled in place: a kernel that keeps them among its own constants would otherwise copy them.
template <class D> KORVEL_LANE_INLINE void fillLog2Constants(Log2Constants<D>& k) {
    typedef typename LaneTraits<D>::U U;
    const std::uint64_t halfRoot = 0x3fe6a09e667f3bcdull; // sqrt(1/2)
    k.toHalfRoot = splatBits<U>(0x3ff0000000000000ull - halfRoot);
    k.exponentBias = splatBits<U>(0x3ff);
    k.mantissa = splatBits<U>(0x000fffffffffffffull);
    k.halfRoot = splatBits<U>(halfRoot);
    k.leading = splatBits<U>(0xffffffff00000000ull);
    k.integerBits = splatBits<U>(0x4338000000000000ull);
    k.one = splat<D>(1.0);
    k.half = splat<D>(0.5);
    k.two = splat<D>(2.0);
    k.integer = splat<D>(6755399441055744.0);
    // R, the tail of 2*atanh(s) beyond its first term: a minimax fit on |s| <= 3 - 2*sqrt(2),
    // highest power first.
    const double r[8] = {0.13087026274351785, 0.1326873193801664,  0.15386241369290582,
                         0.18181795606713405, 0.22222222392057886, 0.28571428570801927,
                         0.4000000000000088,  0.6666666666666666};
    for (int i = 0; i < 8; ++i)
        k.r[i] = splat<D>(r[i]);
    k.invLn2Hi = splat<D>(1.4426950407214463);     // 32 significant bits
    k.invLn2Lo = splat<D>(1.6751713164886512e-10); // 1/ln 2 - invLn2Hi
    k.smallest = splat<D>(2.2250738585072014e-308);
    k.infinity = fromBits<D>(splatBits<U>(0x7ff0000000000000ull));
}
template <class D> KORVEL_LANE_INLINE Log2Constants<D> makeLog2Constants() {
    Log2Constants<D> k;
    fillLog2Constants(k);
    return k;
}

// For positive, normal, finite x only; log2Lanes handles the others.
template <class D> KORVEL_LANE_INLINE D log2Normal(D x, const Log2Constants<D>& k) {
    typedef typename LaneTraits<D>::U U;
    // x = 2^e * m with m in [sqrt(1/2), sqrt(2)): shifting the bits by the distance from 1 to
    // sqrt(1/2) makes the exponent field round the right way.
    U u = bitsOf(x) + k.toHalfRoot;
    U e = (u >> 52) - k.exponentBias;
    D m = fromBits<D>((u & k.mantissa) + k.halfRoot);

    // log(m) = f - f^2/2 + s*(f^2/2 + R(s^2)) with f = m - 1 and s = f/(2 + f).
    D f = m - k.one;
    D hfsq = k.half * f * f;
    D s = f / (k.two + f);
    D z = s * s;
    D r = k.r[0];
#pragma GCC unroll 8
    for (int i = 1; i < 8; ++i)
        r = k.r[i] + z * r;
    r = z * r;

    // The leading part with its low 32 bits cleared, so that its product with the 32-bit leading
    // part of 1/ln 2 is exact; the rest is carried separately and added last.
    D hi = fromBits<D>(bitsOf(f - hfsq) & k.leading);
    D lo = (f - hi) - hfsq + s * (hfsq + r);
    D valueHi = hi * k.invLn2Hi;
    D valueLo = (lo + hi) * k.invLn2Lo + lo * k.invLn2Hi;
    // e as a double, exactly (|e| < 2^51), without a 64-bit conversion instruction.
    D exponent = fromBits<D>(e + k.integerBits) - k.integer;
    D sum = exponent + valueHi;
    valueLo = valueLo + ((exponent - sum) + valueHi);
    return valueLo + sum;
}

// Every double: -inf for 0, NaN below 0 and for NaN, +inf for +inf, subnormals scaled first.
template <class D> KORVEL_LANE_INLINE D log2Lanes(D x, const Log2Constants<D>& k) {
    typedef typename LaneTraits<D>::U U;
    U usual = lessEqual(k.smallest, x) & less(x, k.infinity);
    if (maskBits(usual) == (1 << LaneTraits<D>::kWidth) - 1) return log2Normal(x, k);
    // 2^54 brings every subnormal into the normal range.
    U tiny = less(x, k.smallest) & less(splat<D>(0.0), x);
    D scaled = select(tiny, x * splat<D>(18014398509481984.0), select(usual, x, k.one));
    D v = log2Normal(scaled, k) - keep(tiny, splat<D>(54.0));
    D nan = fromBits<D>(splatBits<U>(0x7ff8000000000000ull));
    D special = select(equal(x, splat<D>(0.0)), -k.infinity, select(equal(x, k.infinity), x, nan));
    return select(usual | tiny, v, special);
}
template <class D> KORVEL_LANE_INLINE D log2Lanes(D x) {
    return log2Lanes(x, makeLog2Constants<D>());
}

} // namespace KORVEL_LANES_NS
} // namespace Korvel

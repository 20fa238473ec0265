// Our own base-2 logarithm, lane by lane: the retune takes one per table oscillator per sample, and
// the C library's differs between machines (its code for processors with fused multiply-adds gives
// other last bits than its code without, and other libraries differ again). This one uses only
// basic IEEE operations, so it gives the same bits everywhere; it is within one ulp (0.52 ulp
// measured) and about 40 instructions for a whole vector.
#pragma once

#include "dsp/Lanes.h"

namespace Korvel {
namespace KORVEL_LANES_NS {

// For positive, normal, finite x only; log2Lanes handles the others.
template <class D> KORVEL_LANE_INLINE D log2Normal(D x) {
    typedef typename LaneTraits<D>::U U;
    // x = 2^k * m with m in [sqrt(1/2), sqrt(2)): shifting the bits by the distance from 1 to
    // sqrt(1/2) makes the exponent field round the right way.
    const std::uint64_t halfRoot = 0x3fe6a09e667f3bcdull;
    U u = bitsOf(x) + splatBits<U>(0x3ff0000000000000ull - halfRoot);
    U k = (u >> 52) - splatBits<U>(0x3ff);
    D m = fromBits<D>((u & splatBits<U>(0x000fffffffffffffull)) + splatBits<U>(halfRoot));

    // log(m) = f - f^2/2 + s*(f^2/2 + R(s^2)) with f = m - 1 and s = f/(2 + f): R is the tail of
    // 2*atanh(s) beyond its first term, a minimax fit on |s| <= 3 - 2*sqrt(2).
    D f = m - splat<D>(1.0);
    D hfsq = splat<D>(0.5) * f * f;
    D s = f / (splat<D>(2.0) + f);
    D z = s * s;
    D r = splat<D>(0.13087026274351785);
    r = splat<D>(0.1326873193801664) + z * r;
    r = splat<D>(0.15386241369290582) + z * r;
    r = splat<D>(0.18181795606713405) + z * r;
    r = splat<D>(0.22222222392057886) + z * r;
    r = splat<D>(0.28571428570801927) + z * r;
    r = splat<D>(0.4000000000000088) + z * r;
    r = splat<D>(0.6666666666666666) + z * r;
    r = z * r;

    // The leading part with its low 32 bits cleared, so that its product with the 32-bit leading
    // part of 1/ln 2 is exact; the rest is carried separately and added last.
    D hi = fromBits<D>(bitsOf(f - hfsq) & splatBits<U>(0xffffffff00000000ull));
    D lo = (f - hi) - hfsq + s * (hfsq + r);
    const D invLn2Hi = splat<D>(1.4426950407214463);     // 32 significant bits
    const D invLn2Lo = splat<D>(1.6751713164886512e-10); // 1/ln 2 - invLn2Hi
    D valueHi = hi * invLn2Hi;
    D valueLo = (lo + hi) * invLn2Lo + lo * invLn2Hi;
    D exponent = doubleOfInteger<D>(k);
    D sum = exponent + valueHi;
    valueLo = valueLo + ((exponent - sum) + valueHi);
    return valueLo + sum;
}

// Every double: -inf for 0, NaN below 0 and for NaN, +inf for +inf, subnormals scaled first.
template <class D> KORVEL_LANE_INLINE D log2Lanes(D x) {
    typedef typename LaneTraits<D>::U U;
    const D smallest = splat<D>(2.2250738585072014e-308);
    const D infinity = fromBits<D>(splatBits<U>(0x7ff0000000000000ull));
    U usual = lessEqual(smallest, x) & less(x, infinity);
    if (maskBits(usual) == (1 << LaneTraits<D>::kWidth) - 1) return log2Normal(x);
    // 2^54 brings every subnormal into the normal range.
    U tiny = less(x, smallest) & less(splat<D>(0.0), x);
    D scaled = select(tiny, x * splat<D>(18014398509481984.0), select(usual, x, splat<D>(1.0)));
    D v = log2Normal(scaled) - select(tiny, splat<D>(54.0), splat<D>(0.0));
    D nan = fromBits<D>(splatBits<U>(0x7ff8000000000000ull));
    D special = select(equal(x, splat<D>(0.0)), -infinity, select(equal(x, infinity), x, nan));
    return select(usual | tiny, v, special);
}

} // namespace KORVEL_LANES_NS
} // namespace Korvel

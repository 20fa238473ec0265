#include "dsp/PortableMath.h"

#include "dsp/LaneMath.h"

#include <cmath>
#include <limits>

namespace Korvel {
namespace PortableMath {

namespace {

// A double-double: the unevaluated sum hi + lo with |lo| at most half an ulp of hi, about 106 bits.
struct DD {
    double hi;
    double lo;
};

DD twoSum(double a, double b) {
    double s = a + b;
    double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}
// |a| >= |b|.
DD quickTwoSum(double a, double b) {
    double s = a + b;
    return {s, b - (s - a)};
}
// The exact product, by Dekker's splitting (no fused multiply-add to lean on).
DD twoProduct(double a, double b) {
    const double splitter = 134217729.0; // 2^27 + 1
    double p = a * b;
    double ta = splitter * a, tb = splitter * b;
    double ah = ta - (ta - a), bh = tb - (tb - b);
    double al = a - ah, bl = b - bh;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}
DD add(DD a, DD b) {
    DD s = twoSum(a.hi, b.hi);
    DD t = twoSum(a.lo, b.lo);
    s = quickTwoSum(s.hi, s.lo + t.hi);
    return quickTwoSum(s.hi, s.lo + t.lo);
}
DD negate(DD a) {
    return {-a.hi, -a.lo};
}
DD multiply(DD a, DD b) {
    DD p = twoProduct(a.hi, b.hi);
    return quickTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}
DD multiply(DD a, double b) {
    DD p = twoProduct(a.hi, b);
    return quickTwoSum(p.hi, p.lo + a.lo * b);
}
DD divide(DD a, DD b) {
    double q1 = a.hi / b.hi;
    DD r = add(a, negate(multiply(b, q1)));
    double q2 = r.hi / b.hi;
    r = add(r, negate(multiply(b, q2)));
    double q3 = r.hi / b.hi;
    return add(quickTwoSum(q1, q2), DD{q3, 0});
}

// 1/d to a double-double.
DD reciprocal(double d) {
    double hi = 1 / d;
    DD p = twoProduct(hi, d);
    return quickTwoSum(hi, ((1 - p.hi) - p.lo) / d);
}

const DD kLn2 = {0.6931471805599453, 2.3190468138462996e-17};
const DD kInvLn2 = {1.4426950408889634, 2.0355273740931033e-17};
const DD kLog2Of10 = {3.321928094887362, 1.661617516973592e-16};
// pi/2 in three parts, for the reduction of sine and cosine arguments.
const double kHalfPi[3] = {1.5707963267948966, 6.123233995736766e-17, -1.4973849048591698e-33};

// ln(x) for positive, finite x: x = 2^k m with m in [sqrt(1/2), sqrt(2)), and
// ln(m) = 2 atanh(s) = 2 (s + s^3/3 + s^5/5 + ...) with s = (m - 1)/(m + 1), |s| < 0.172.
DD logOf(double x) {
    int k = 0;
    double m = std::frexp(x, &k); // m in [0.5, 1)
    if (m < 0.7071067811865476) {
        m *= 2;
        --k;
    }
    DD s = divide(DD{m - 1, 0}, twoSum(m, 1));
    DD z = multiply(s, s);
    // 26 terms take the tail below 2^-110 of the sum.
    DD series = {1.0 / 53, 0};
    for (int n = 25; n >= 0; --n)
        series = add(reciprocal(2.0 * n + 1), multiply(series, z));
    DD logM = multiply(multiply(s, series), 2.0);
    return add(multiply(kLn2, static_cast<double>(k)), logM);
}

// 2^t for a double-double t of moderate size; the result is scaled by 2^n afterwards.
double exp2Of(DD t) {
    if (!(t.hi < 1025)) return t.hi != t.hi ? t.hi : std::numeric_limits<double>::infinity();
    if (!(t.hi > -1100)) return 0;
    double n = std::floor(t.hi + 0.5);
    DD r = add(DD{t.hi - n, 0}, DD{t.lo, 0}); // |r| <= 1/2
    DD u = multiply(r, kLn2);                 // |u| <= 0.347
    // exp(u) by its series: 27 terms take the tail below 2^-110.
    DD sum = {1, 0};
    DD term = {1, 0};
    for (int k = 1; k <= 27; ++k) {
        term = multiply(multiply(term, u), reciprocal(k));
        sum = add(sum, term);
    }
    return std::ldexp(sum.hi + sum.lo, static_cast<int>(n));
}

} // namespace

double log2(double x) {
    Base::D1 v = {x};
    return Base::log2Lanes(v)[0];
}

// The ends, which the double-double arithmetic would turn into NaN.
static bool isEnd(double x, double& result) {
    if (std::isfinite(x)) return false;
    result = x != x ? x : x > 0 ? x : 0;
    return true;
}

double exp2(double x) {
    double end = 0;
    if (isEnd(x, end)) return end;
    return exp2Of(DD{x, 0});
}

double exp10(double x) {
    double end = 0;
    if (isEnd(x, end)) return end;
    return exp2Of(multiply(kLog2Of10, x));
}

double pow(double x, double y) {
    if (y == 0) return 1;
    if (x == 1) return 1;
    if (!(x > 0) || !std::isfinite(x) || !std::isfinite(y)) return std::pow(x, y);
    DD l = multiply(logOf(x), kInvLn2);
    return exp2Of(multiply(l, y));
}

double log(double x) {
    if (!(x > 0) || !std::isfinite(x))
        return x == 0 ? -std::numeric_limits<double>::infinity() : x > 0 ? x : std::nan("");
    DD l = logOf(x);
    return l.hi + l.lo;
}

void sinCos(double x, double& sine, double& cosine) {
    if (!(std::fabs(x) < 1e6)) {
        sine = cosine = std::nan("");
        return;
    }
    // x - n pi/2 to about 150 bits.
    double n = std::floor(x / kHalfPi[0] + 0.5);
    DD r = {x, 0};
    for (double part : kHalfPi)
        r = add(r, negate(twoProduct(n, part)));
    // Taylor series, |r| <= pi/4 (a little more at the edges): 15 terms of each take the tails
    // below 2^-110.
    DD minusR2 = negate(multiply(r, r));
    DD s = r, c = {1, 0};
    DD sTerm = r, cTerm = {1, 0};
    for (int k = 1; k <= 15; ++k) {
        cTerm = multiply(multiply(cTerm, minusR2), reciprocal((2.0 * k - 1) * (2.0 * k)));
        sTerm = multiply(multiply(sTerm, minusR2), reciprocal((2.0 * k) * (2.0 * k + 1)));
        c = add(c, cTerm);
        s = add(s, sTerm);
    }
    double sr = s.hi + s.lo, cr = c.hi + c.lo;
    long quadrant = static_cast<long>(n) & 3;
    sine = quadrant == 0 ? sr : quadrant == 1 ? cr : quadrant == 2 ? -sr : -cr;
    cosine = quadrant == 0 ? cr : quadrant == 1 ? -sr : quadrant == 2 ? -cr : sr;
}

} // namespace PortableMath
} // namespace Korvel

// The library functions whose results reach the samples, written here so that the samples are the
// same on every machine, compiler and C library (the C libraries differ in last bits, and glibc
// even between processors with and without fused multiply-adds).
//
// log2 is the retune's, once per table oscillator per sample: within one ulp, in basic IEEE
// operations (dsp/LaneMath.h has the lane form it shares its bits with). The others run when
// settings change (tuning ratios, gains, filter design, score weights): they are evaluated in
// double-double arithmetic and rounded once, so they return the double nearest the exact value
// except in cases far rarer than the inputs any setting can produce.
#pragma once

namespace Korvel {
namespace PortableMath {

// [any]
double log2(double x);

// [any] 2^x and 10^x (0 at -infinity, infinity at +infinity), and x^y (x > 0; the C library's
// answer elsewhere, at the ends of both).
double exp2(double x);
double exp10(double x);
double pow(double x, double y);
// [any] Natural logarithm, x > 0 (NaN below 0, -inf at 0).
double log(double x);
// [any] For |x| below 1e6: sine and cosine of x radians.
void sinCos(double x, double& sine, double& cosine);

} // namespace PortableMath
} // namespace Korvel

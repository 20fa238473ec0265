#include "dsp/Biquad.h"

#include "dsp/PortableMath.h"

namespace Korvel {

namespace {
constexpr double kPi = 3.141592653589793;
}

void Biquad::setSampleRate(double sampleRate) {
    sampleRate_ = sampleRate;
    nyquist_ = sampleRate * 0.5;
}

void Biquad::designLowPass(double cutoff, double q) {
    double fc = cutoff;
    if (fc < 0) fc = 0;
    if (fc > nyquist_) fc = nyquist_;
    double w = 2 * kPi * fc / sampleRate_;
    double sinW = 0, cosW = 0;
    PortableMath::sinCos(w, sinW, cosW);
    double alpha = sinW * 0.5 / q;
    double n = 1 / (1 + alpha);
    b0_ = n * (1 - cosW) / 2;
    b2_ = b0_;
    b1_ = n * (1 - cosW);
    a1_ = -2 * n * cosW;
    a2_ = n * (1 - alpha);
}

void Biquad::clear() {
    x1_ = x2_ = y1_ = y2_ = 0;
}

} // namespace Korvel

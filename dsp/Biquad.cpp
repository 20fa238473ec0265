#include "dsp/Biquad.h"

#include "dsp/Lanes.h"
#include "dsp/PortableMath.h"

#include <cstring>

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

bool Biquad::processBlock(const double* x, int n, double* y, bool zeros) {
    using namespace Base;
    if (n <= 0) return false;
    if (zeros && x1_ == 0 && x2_ == 0 && y1_ == y2_) {
        double next = b0_ * 0.0 + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_ + 1e-20;
        // Every sample computes what this one does (signs of zeros never reach past the final
        // addition), so the output stands.
        if (next == y1_) {
            const D2 pair = {next, next};
            int k = 0;
            for (; k + 2 <= n; k += 2)
                std::memcpy(y + k, &pair, sizeof pair);
            for (; k < n; ++k)
                y[k] = next;
            x2_ = n > 1 ? x[n - 2] : x1_;
            x1_ = x[n - 1];
            y2_ = y1_ = next;
            return true;
        }
    }
    // The feed-forward sums first, y[i] = b0 x[i] + b1 x[i - 1] + b2 x[i - 2].
    y[0] = b0_ * x[0] + b1_ * x1_ + b2_ * x2_;
    if (n > 1) y[1] = b0_ * x[1] + b1_ * x[0] + b2_ * x1_;
    const D2 b0 = splat<D2>(b0_), b1 = splat<D2>(b1_), b2 = splat<D2>(b2_);
    int i = 2;
    for (; i + 2 <= n; i += 2) {
        D2 now, one, two;
        std::memcpy(&now, x + i, sizeof now);
        std::memcpy(&one, x + i - 1, sizeof one);
        std::memcpy(&two, x + i - 2, sizeof two);
        D2 sum = b0 * now + b1 * one + b2 * two;
        std::memcpy(y + i, &sum, sizeof sum);
    }
    for (; i < n; ++i)
        y[i] = b0_ * x[i] + b1_ * x[i - 1] + b2_ * x[i - 2];
    double y1 = y1_, y2 = y2_;
    for (int k = 0; k < n; ++k) {
        double v = y[k] - a1_ * y1 - a2_ * y2 + 1e-20;
        y[k] = v;
        y2 = y1;
        y1 = v;
    }
    x2_ = n > 1 ? x[n - 2] : x1_;
    x1_ = x[n - 1];
    y1_ = y1;
    y2_ = y2;
    return false;
}

void Biquad::clear() {
    x1_ = x2_ = y1_ = y2_ = 0;
}

} // namespace Korvel

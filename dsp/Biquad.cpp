#include "dsp/Biquad.h"

#include "dsp/EngineKernels.h"
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

bool Biquad::processBlock(const EngineKernels& kernels, const double* x, int n, double* y,
                          bool zeros) {
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
    const double coefficients[5] = {b0_, b1_, b2_, a1_, a2_};
    double state[4] = {x1_, x2_, y1_, y2_};
    kernels.lowpassBlock(x, n, y, coefficients, state);
    x1_ = state[0];
    x2_ = state[1];
    y1_ = state[2];
    y2_ = state[3];
    return false;
}

void Biquad::clear() {
    x1_ = x2_ = y1_ = y2_ = 0;
}

} // namespace Korvel

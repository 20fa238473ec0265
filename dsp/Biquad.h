// One second-order filter section in direct form I; the pitch detector's input low-pass.
#pragma once

namespace Korvel {

struct EngineKernels;

class Biquad {
public:
    Biquad() = default;

    // Keeps the filter state; only the coefficients follow.
    void setSampleRate(double sampleRate);
    // Cutoff limited to 0..Nyquist.
    void designLowPass(double cutoff, double q);
    void clear();

    double process(double x) {
        // The tiny offset keeps the recursion out of denormal numbers when the input falls silent.
        double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_ + 1e-20;
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

    // n samples, as n calls of process(), by the kernels' lowpassBlock; digital silence into a
    // filter that has settled on its fixed point costs nothing. zeros tells that every x is 0; y
    // holds n rounded up to four. Returns whether the output stood still (all n the same).
    bool processBlock(const EngineKernels& kernels, const double* x, int n, double* y, bool zeros);

    double lastOutput() const { return y1_; }
    double b0() const { return b0_; }
    double b1() const { return b1_; }
    double b2() const { return b2_; }
    double a1() const { return a1_; }
    double a2() const { return a2_; }

private:
    double sampleRate_ = 44100;
    double nyquist_ = 22050;
    double b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
    double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0; // y1_ is also the last output
};

} // namespace Korvel

#include "dsp/WaveTables.h"

#include <algorithm>
#include <cmath>

namespace Korvel {

namespace {

constexpr int kMaxHarmonic = 512;
constexpr int kHalf = WaveTables::kSize / 2;
constexpr int kQuarter = WaveTables::kSize / 4;

} // namespace

// Harmonic j at entry i is sin(j*i*2pi/2048) = sine[(j*i) mod 2048], so one quarter-wave of library
// sines serves every harmonic. Each level adds its new harmonics to the sums of the level below, in
// rising order like a direct sum. The sine table is exactly odd about entry 1024, which makes every
// level odd about entry 0 (only entries 0..1024 are summed); odd harmonics are also symmetric about
// entry 512, so triangle and square need entries 0..512 only.
WaveTables::WaveTables() {
    double sine[kSize];
    for (int n = 0; n <= kQuarter; ++n)
        sine[n] = std::sin(static_cast<double>(n) * 6.283185307179586 / kSize);
    sine[kQuarter] = 1;
    for (int n = 1; n < kQuarter; ++n)
        sine[kHalf - n] = sine[n];
    sine[0] = 0;
    sine[kHalf] = 0;
    for (int n = 1; n < kHalf; ++n)
        sine[kHalf + n] = -sine[n];

    double triangle[kQuarter + 1] = {};
    double square[kQuarter + 1] = {};
    double sawtooth[kHalf + 1] = {};

    int harmonic = 0;
    for (int k = 0; k < kLevels; ++k) {
        int top = std::min(1 << k, kMaxHarmonic);
        for (int j = harmonic + 1; j <= top; ++j) {
            double jd = static_cast<double>(j);
            double saw = 0.6366197723675814 / jd;
            int index = 0;
            if (j % 2 == 1) {
                // +, -, +, ... for j = 1, 3, 5, ...
                double tri = (j % 4 == 1 ? 0.8105694691387022 : -0.8105694691387022) / (jd * jd);
                double sq = 1.2732395447351628 / jd;
                for (int i = 0; i <= kQuarter; ++i) {
                    double s = sine[index];
                    triangle[i] += tri * s;
                    square[i] += sq * s;
                    sawtooth[i] += saw * s;
                    index = (index + j) & kMask;
                }
                for (int i = kQuarter + 1; i <= kHalf; ++i) {
                    sawtooth[i] += saw * sine[index];
                    index = (index + j) & kMask;
                }
            } else {
                for (int i = 0; i <= kHalf; ++i) {
                    sawtooth[i] += saw * sine[index];
                    index = (index + j) & kMask;
                }
            }
        }
        harmonic = top;

        double* tri = data_[Triangle][k];
        double* sq = data_[Square][k];
        double* saw = data_[Sawtooth][k];
        for (int i = 0; i <= kQuarter; ++i) {
            tri[i] = triangle[i];
            sq[i] = square[i];
        }
        for (int i = 0; i < kQuarter; ++i) {
            tri[kHalf - i] = triangle[i];
            sq[kHalf - i] = square[i];
        }
        for (int i = 0; i <= kHalf; ++i)
            saw[i] = sawtooth[i];
        for (int i = 1; i < kHalf; ++i) {
            tri[kSize - i] = -tri[i];
            sq[kSize - i] = -sq[i];
            saw[kSize - i] = -saw[i];
        }
    }
}

double WaveTables::lookup(int shape, double phase, double f) const {
    double x = kEntriesPerRadian * phase;
    if (!(std::fabs(x) < 1e15)) return 0;
    return value(shape, blend(f), x);
}

} // namespace Korvel

#include "dsp/WaveTables.h"

#include <cmath>
#include <cstring>

namespace Korvel {

// The stored entries unfolded: every level is odd about entry 0 (and 1024), triangle and square
// are also symmetric about entry 512.
WaveTables::WaveTables() {
    const double* stored = kStoredHalves;
    for (int k = 0; k < kLevels; ++k) {
        double* tri = data_[Triangle][k] + kLead;
        double* sq = data_[Square][k] + kLead;
        double* saw = data_[Sawtooth][k] + kLead;
        if (k >= kStoredLevels) {
            for (int shape = 0; shape < kShapes; ++shape)
                std::memcpy(data_[shape][k], data_[shape][k - 1], sizeof data_[shape][k]);
            continue;
        }
        const double* triangle = stored;
        const double* square = triangle + kQuarter + 1;
        const double* sawtooth = square + kQuarter + 1;
        stored += kStoredPerLevel;
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
        // The entries around the row's ends, as the wrap reads them.
        for (int shape = 0; shape < kShapes; ++shape) {
            double* row = data_[shape][k] + kLead;
            row[-1] = row[kSize - 1];
            for (int i = 0; i < kStride - kLead - kSize; ++i)
                row[kSize + i] = row[i];
        }
    }
}

double WaveTables::lookup(int shape, double phase, double f) const {
    double x = kEntriesPerRadian * phase;
    if (!(std::fabs(x) < 1e15)) return 0;
    return value(shape, blend(f), x);
}

} // namespace Korvel

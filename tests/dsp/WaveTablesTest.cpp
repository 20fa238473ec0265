#include "dsp/WaveTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using namespace Korvel;

namespace {

// The tables as they were built at run time: harmonic by harmonic over all 2048 entries of each
// level, from the full sine table the quarter-wave unfolds into.
std::vector<double> summedAtRunTime() {
    double sine[2048];
    for (int n = 0; n <= 512; ++n)
        sine[n] = WaveTables::kQuarterSines[n];
    for (int n = 1; n < 512; ++n)
        sine[1024 - n] = sine[n];
    for (int n = 1; n < 1024; ++n)
        sine[1024 + n] = -sine[n];
    std::vector<double> out(3 * 12 * 2048);
    double sums[3][2048] = {};
    int harmonic = 0;
    for (int k = 0; k < 12; ++k) {
        int top = std::min(1 << k, 512);
        for (int j = harmonic + 1; j <= top; ++j) {
            double jd = j;
            double amp[3] = {(j % 4 == 1 ? 0.8105694691387022 : -0.8105694691387022) / (jd * jd),
                             1.2732395447351628 / jd, 0.6366197723675814 / jd};
            for (int i = 0; i < 2048; ++i)
                for (int shape = 0; shape < 3; ++shape)
                    if (shape == 2 || j % 2 == 1)
                        sums[shape][i] += amp[shape] * sine[(j * i) & 2047];
        }
        harmonic = top;
        for (int shape = 0; shape < 3; ++shape)
            std::copy(sums[shape], sums[shape] + 2048, &out[(shape * 12 + k) * 2048]);
    }
    return out;
}

} // namespace

// The levels made at build time are, bit for bit, the sums the effect used to make at its start,
// and their sines are the library's to within one ulp.
TEST(WaveTables, BuiltAheadAsTheyWereSummedAtRunTime) {
    for (int n = 0; n <= 512; ++n) {
        double s = std::sin(n * 6.283185307179586 / 2048);
        double ulp = std::nextafter(std::fabs(s), 2.0) - std::fabs(s);
        ASSERT_LE(std::fabs(WaveTables::kQuarterSines[n] - s), n == 512 ? 1e-16 : ulp) << n;
    }
    std::vector<double> expected = summedAtRunTime();
    const WaveTables& tables = WaveTables::shared();
    for (int shape = 0; shape < 3; ++shape)
        for (int k = 0; k < 12; ++k)
            ASSERT_EQ(std::memcmp(tables.level(shape, k), &expected[(shape * 12 + k) * 2048],
                                  2048 * sizeof(double)),
                      0)
                << "shape " << shape << ", level " << k;
}

// The tables are built with a shared sine table and level on level; a direct sum of library sines
// per entry must agree to 1e-12.
TEST(WaveTables, MatchDirectSumsOfSines) {
    const WaveTables& tables = WaveTables::shared();
    std::vector<double> sums(3 * 2048, 0.0);
    double worst = 0;
    int harmonic = 0;
    for (int k = 0; k < WaveTables::kLevels; ++k) {
        int top = std::min(1 << k, 512);
        for (int j = harmonic + 1; j <= top; ++j) {
            double amp[3] = {0, 0, 0.6366197723675814 / j};
            if (j % 2 == 1) {
                amp[0] = (j % 4 == 1 ? 1 : -1) * 0.8105694691387022 / (double(j) * j);
                amp[1] = 1.2732395447351628 / j;
            }
            for (int i = 0; i < 2048; ++i) {
                double s = std::sin(double(j) * i * 2 * 3.141592653589793 / 2048);
                for (int shape = 0; shape < 3; ++shape)
                    sums[shape * 2048 + i] += amp[shape] * s;
            }
        }
        harmonic = top;
        for (int shape = 0; shape < 3; ++shape)
            for (int i = 0; i < 2048; ++i)
                worst =
                    std::max(worst, std::fabs(tables.level(shape, k)[i] - sums[shape * 2048 + i]));
    }
    EXPECT_LE(worst, 1e-12);
    for (int shape = 0; shape < 3; ++shape)
        for (int i = 0; i < 2048; ++i) {
            ASSERT_EQ(tables.level(shape, 9)[i], tables.level(shape, 10)[i]);
            ASSERT_EQ(tables.level(shape, 9)[i], tables.level(shape, 11)[i]);
        }
}

TEST(WaveTables, FullLevelsApproachTheIdealShapes) {
    const WaveTables& tables = WaveTables::shared();
    // At a quarter cycle: triangle and square at their peak, sawtooth half-way down from 1.
    EXPECT_NEAR(tables.level(WaveTables::Triangle, 11)[512], 1, 1e-3);
    EXPECT_NEAR(tables.level(WaveTables::Square, 11)[512], 1, 2e-3);
    EXPECT_NEAR(tables.level(WaveTables::Sawtooth, 11)[512], 0.5, 2e-3);
    // Level 0 is the fundamental alone.
    EXPECT_NEAR(tables.level(WaveTables::Square, 0)[512], 1.2732395447351628, 1e-15);
}

TEST(WaveTables, LookupInterpolatesAndCrossFadesLevels) {
    const WaveTables& tables = WaveTables::shared();
    const double* saw4 = tables.level(WaveTables::Sawtooth, 4);
    const double* saw5 = tables.level(WaveTables::Sawtooth, 5);
    // 20000 / 2^4.5 Hz: half-way between levels 4 and 5; phase on entry 100 exactly.
    double f = 20000 / std::pow(2.0, 4.5);
    double phase = 100 / WaveTables::kEntriesPerRadian;
    double x = WaveTables::kEntriesPerRadian * phase;
    double expected = WaveTables::interpolate(saw4, x) +
                      (WaveTables::interpolate(saw5, x) - WaveTables::interpolate(saw4, x)) *
                          (std::log2(20000 / f) - 4);
    EXPECT_EQ(tables.lookup(WaveTables::Sawtooth, phase, f), expected);
    EXPECT_NEAR(expected, (saw4[100] + saw5[100]) / 2, 1e-9);
    // Catmull-Rom passes through the entries and wraps at both ends.
    EXPECT_EQ(WaveTables::interpolate(saw4, 7.0), saw4[7]);
    EXPECT_NEAR(WaveTables::interpolate(saw4, 2047.5), (saw4[2047] + saw4[0]) / 2, 1e-3);
    EXPECT_EQ(WaveTables::interpolate(saw4, 2048.0), saw4[0]);
}

TEST(WaveTables, FrequenciesOutsideTheRangeUseTheEndLevels) {
    const WaveTables& tables = WaveTables::shared();
    double phase = 1.0;
    double x = WaveTables::kEntriesPerRadian * phase;
    for (int shape = 0; shape < 3; ++shape) {
        double top = WaveTables::interpolate(tables.level(shape, 11), x);
        double bottom = WaveTables::interpolate(tables.level(shape, 0), x);
        EXPECT_EQ(tables.lookup(shape, phase, 5), top);
        EXPECT_EQ(tables.lookup(shape, phase, 0), top);
        EXPECT_EQ(tables.lookup(shape, phase, -100), top);
        EXPECT_EQ(tables.lookup(shape, phase, std::numeric_limits<double>::quiet_NaN()), top);
        EXPECT_EQ(tables.lookup(shape, phase, 20000), bottom);
        EXPECT_EQ(tables.lookup(shape, phase, 1e12), bottom);
        EXPECT_EQ(tables.lookup(shape, phase, std::numeric_limits<double>::infinity()), bottom);
        EXPECT_EQ(tables.lookup(shape, std::numeric_limits<double>::quiet_NaN(), 440), 0);
        EXPECT_EQ(tables.lookup(shape, std::numeric_limits<double>::infinity(), 440), 0);
        EXPECT_TRUE(std::isfinite(tables.lookup(shape, -0.3, 440)));
    }
}

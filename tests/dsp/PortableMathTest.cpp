// Our own library functions: accurate on every machine (checked against long double, which has
// eleven more bits on x86), and the lane form of log2 the same bits as the scalar one.
#include "dsp/PortableMath.h"
#include "dsp/LaneMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace Korvel;

namespace {

// The error of v in ulps of the exact value (long double standing in for it).
double ulpsOff(double v, long double exact) {
    double nearest = static_cast<double>(exact);
    double ulp = std::nextafter(std::fabs(nearest), INFINITY) - std::fabs(nearest);
    return static_cast<double>(std::fabs(static_cast<long double>(v) - exact) / ulp);
}

} // namespace

TEST(PortableMath, Log2IsWithinOneUlpAndTheLanesAgreeWithTheScalar) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> unit(0, 1);
    double worst = 0;
    for (int i = 0; i < 300000; ++i) {
        // Every binade, the range around 1 and the retune's arguments 20000/f.
        double x = i % 3 == 0 ? std::ldexp(1 + unit(rng), static_cast<int>(unit(rng) * 2046) - 1022)
                   : i % 3 == 1 ? 0.7 + 0.75 * unit(rng)
                                : 20000 / (10 + 14000 * unit(rng));
        double v = PortableMath::log2(x);
        worst = std::max(worst, ulpsOff(v, log2l(static_cast<long double>(x))));
        Base::D4 lanes = Base::log2Lanes(Base::D4{x, 2 * x, x / 3, x + 1});
        Base::D2 pair = Base::log2Lanes(Base::D2{x / 3, x + 1});
        ASSERT_EQ(lanes[0], v);
        ASSERT_EQ(lanes[1], PortableMath::log2(2 * x));
        ASSERT_EQ(lanes[2], pair[0]);
        ASSERT_EQ(lanes[3], pair[1]);
    }
    EXPECT_LT(worst, 1.0);
    EXPECT_EQ(PortableMath::log2(1), 0);
    EXPECT_EQ(PortableMath::log2(1024), 10);
    EXPECT_EQ(PortableMath::log2(4.9406564584124654e-324), -1074);
    EXPECT_EQ(PortableMath::log2(0), -INFINITY);
    EXPECT_EQ(PortableMath::log2(INFINITY), INFINITY);
    EXPECT_TRUE(std::isnan(PortableMath::log2(-1)));
    EXPECT_TRUE(std::isnan(PortableMath::log2(NAN)));
    Base::D4 mixed = Base::log2Lanes(Base::D4{0, 8, -2, 1e-310});
    EXPECT_EQ(mixed[0], -INFINITY);
    EXPECT_EQ(mixed[1], 3);
    EXPECT_TRUE(std::isnan(mixed[2]));
    EXPECT_EQ(mixed[3], PortableMath::log2(1e-310));
}

// The settings' functions round once from double-double precision: against long double they are
// off by at most the half ulp of rounding plus long double's own error.
TEST(PortableMath, SettingFunctionsGiveTheNearestDouble) {
    double worst = 0;
    for (int cents = -99; cents <= 99; ++cents) {
        double y = cents * 0.0008333333333333334;
        worst = std::max(worst, ulpsOff(PortableMath::exp2(y), exp2l(y)));
    }
    for (int tenths = -1200; tenths <= 240; ++tenths) {
        double y = 0.05 * (tenths / 10.0);
        worst = std::max(worst, ulpsOff(PortableMath::exp10(y), powl(10.0L, y)));
    }
    const double exponent = -PortableMath::log(0.6) / PortableMath::log(2.0);
    EXPECT_EQ(exponent, 0.7369655941662062);
    for (int span = 1; span < 20000; span += 7)
        worst = std::max(worst, ulpsOff(PortableMath::pow(span / 2.0, exponent),
                                        powl(span / 2.0L, static_cast<long double>(exponent))));
    for (int hz = 15; hz <= 3300; ++hz) {
        for (double rate : {22050.0, 44100.0, 48000.0, 96000.0}) {
            double w = 2 * 3.141592653589793 * std::min(1.5 * hz, rate / 2) / rate;
            double s = 0, c = 0;
            PortableMath::sinCos(w, s, c);
            worst = std::max(worst, ulpsOff(s, sinl(w)));
            if (std::fabs(c) > 1e-3) worst = std::max(worst, ulpsOff(c, cosl(w)));
        }
    }
    for (double x : {1e-300, 0.001, 0.6, 1.0, 2.0, 10.0, 12345.678, 1e300})
        worst = std::max(worst, ulpsOff(PortableMath::log(x), logl(x)));
    EXPECT_LE(worst, 0.51); // long double itself is a little off on some libraries
    EXPECT_EQ(PortableMath::exp2(10), 1024);
    EXPECT_EQ(PortableMath::exp10(-2), 0.01);
    // -Inf dB is silence, not a number that is none.
    EXPECT_EQ(PortableMath::exp10(-INFINITY), 0);
    EXPECT_EQ(PortableMath::exp2(-INFINITY), 0);
    EXPECT_EQ(PortableMath::exp10(INFINITY), INFINITY);
    EXPECT_TRUE(std::isnan(PortableMath::exp10(NAN)));
    EXPECT_EQ(PortableMath::pow(2, 0.5), std::sqrt(2.0));
}

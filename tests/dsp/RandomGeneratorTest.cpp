#include "dsp/RandomGenerator.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace Korvel;

namespace {
// Keeps the process-wide generator's state around a test, so test order does not matter.
struct SavedGenerator {
    RandomGenerator::State saved = RandomGenerator::shared().state();
    ~SavedGenerator() { RandomGenerator::shared().setState(saved.z, saved.w); }
};
} // namespace

TEST(RandomGenerator, SequenceFromTheInitialWords) {
    SavedGenerator keep;
    RandomGenerator& g = RandomGenerator::shared();
    g.setState(RandomGenerator::kInitialZ, RandomGenerator::kInitialW);
    EXPECT_EQ(g.next(), 220164560u);
    EXPECT_EQ(g.state().z, 2624799u);
    EXPECT_EQ(g.state().w, 1602000u);
    EXPECT_EQ(g.next(), 3521081624u);
    EXPECT_EQ(g.next(), 2346518210u);

    g.setState(RandomGenerator::kInitialZ, RandomGenerator::kInitialW);
    EXPECT_EQ(g.uniform(), 220164560u * 2.3283064370807974e-10);
    // 3521081624 read as a signed word.
    EXPECT_EQ(g.bipolar(), -773885672 * 4.656612875245797e-10);
}

TEST(RandomGenerator, FormsStayInTheirRanges) {
    SavedGenerator keep;
    RandomGenerator& g = RandomGenerator::shared();
    g.setState(RandomGenerator::kInitialZ, RandomGenerator::kInitialW);
    double lowU = 1, highU = 0, lowB = 1, highB = -1, sumB = 0;
    const int n = 200000;
    for (int i = 0; i < n; ++i) {
        double u = g.uniform();
        double b = g.bipolar();
        lowU = std::min(lowU, u);
        highU = std::max(highU, u);
        lowB = std::min(lowB, b);
        highB = std::max(highB, b);
        sumB += b;
    }
    EXPECT_GE(lowU, 0);
    EXPECT_LE(highU, 1);
    EXPECT_LT(lowU, 0.001);
    EXPECT_GT(highU, 0.999);
    // The most negative signed word gives -1 - 2^-31.
    EXPECT_GE(lowB, -1.0000000005);
    EXPECT_LE(highB, 1);
    EXPECT_LT(lowB, -0.999);
    EXPECT_GT(highB, 0.999);
    EXPECT_NEAR(sumB / n, 0, 0.01);
}

TEST(RandomGenerator, ExtremeWordsMapToTheEnds) {
    SavedGenerator keep;
    RandomGenerator& g = RandomGenerator::shared();
    // Words with a zero low half step to 65535, so the next draw is all ones.
    g.setState(65535u << 16, 65535u << 16);
    std::uint32_t r = g.next();
    EXPECT_EQ(r, (65535u << 16) + 65535u);
    g.setState(65535u << 16, 65535u << 16);
    EXPECT_EQ(g.uniform(), 4294967295.0 * 2.3283064370807974e-10);
    EXPECT_LE(g.uniform(), 1.0);
    g.setState(65535u << 16, 65535u << 16);
    EXPECT_EQ(g.bipolar(), -1 * 4.656612875245797e-10);
}

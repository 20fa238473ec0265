#include "dsp/RandomGenerator.h"
#include "dsp/EngineKernels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

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

// The noise floor's draws taken sixteen steps at a time give the draws of stepping one by one,
// on every instruction set: from any words (0 and the moduli, which stand still, included), and
// through the states whose residue leaves two candidates, which the run below passes many times.
TEST(RandomGenerator, FloorDrawsJumpingAheadMatchStepping) {
    std::vector<const EngineKernels*> sets = {&baselineKernels()};
    if (wideKernels() && &engineKernels() == wideKernels()) sets.push_back(wideKernels());
    const std::uint32_t mz = 36969u * 65536u - 1, mw = 18000u * 65536u - 1;
    std::uint32_t seedZ = 12345, seedW = 678910;
    int unsure = 0;
    for (int run = 0; run < 3000; ++run) {
        RandomGenerator::State start = {seedZ, seedW};
        if (run == 0) start = {0, 0};
        if (run == 1) start = {mz, mw};
        if (run == 2) start = {mz + 5, 3};
        const int frames = run < 3 ? 64 : 1 + run % 128; // the special words through the lanes too
        double expected[128];
        RandomGenerator::State s = start;
        for (int i = 0; i < frames; ++i) {
            for (int k = 0; k < 3; ++k)
                RandomGenerator::advance(s);
            expected[i] = RandomGenerator::uniformOf(RandomGenerator::step(s)) * 5e-6;
            unsure += s.z % mz <= 28567 || s.w % mw <= 47536;
        }
        for (const EngineKernels* set : sets) {
            double floor[128];
            RandomGenerator::State t = start;
            set->floorDraws(&t.z, &t.w, frames, floor);
            ASSERT_EQ(t.z, s.z) << set->name << ", run " << run;
            ASSERT_EQ(t.w, s.w) << set->name << ", run " << run;
            for (int i = 0; i < frames; ++i)
                ASSERT_EQ(floor[i], expected[i]) << set->name << ", run " << run << ", " << i;
        }
        seedZ = s.z;
        seedW = s.w * 2654435761u + static_cast<std::uint32_t>(run);
    }
    EXPECT_GT(unsure, 3);
}

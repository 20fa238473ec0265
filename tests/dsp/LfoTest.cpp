#include "dsp/Lfo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

using namespace Korvel;

namespace {
double run(Lfo& lfo, int n) {
    for (int i = 0; i < n; ++i)
        lfo.process();
    return lfo.output();
}
} // namespace

TEST(Lfo, IncrementFollowsTempoAndCyclesPerBar) {
    Lfo lfo;
    lfo.setCyclesPerBar(4);
    lfo.sync(0, 120, false, true);
    EXPECT_EQ(lfo.increment(), 120 * 0.004166666666666667 * 4 / 44100);
    EXPECT_NEAR(lfo.increment() * 44100, 2, 1e-12); // 2 Hz
    lfo.setSampleRate(48000);
    EXPECT_EQ(lfo.increment(), 0);
    lfo.setCyclesPerBar(4);
    lfo.sync(0, 120, false, true);
    EXPECT_NEAR(lfo.increment() * 48000, 2, 1e-12);
}

TEST(Lfo, PhaseLocksToTheSongPositionOnlyWhilePlaying) {
    Lfo lfo;
    lfo.setCyclesPerBar(1);
    lfo.setPhaseOffset(90 * 0.002777777777777778);
    lfo.sync(2.0, 120, true, true); // half a bar
    EXPECT_NEAR(lfo.phase(), 0.75, 1e-15);
    run(lfo, 1000);
    double running = lfo.phase();
    EXPECT_NEAR(running, 0.75 + 1000 * lfo.increment(), 1e-12);
    // Stopped: the phase runs on freely, at the new tempo.
    lfo.sync(2.0, 60, false, true);
    EXPECT_EQ(lfo.phase(), running);
    EXPECT_EQ(lfo.increment(), 60 * 0.004166666666666667 * 1 / 44100);
    lfo.sync(2.0, 60, true, false);
    EXPECT_EQ(lfo.phase(), running);
    // Before the song start the phase still lands in one cycle.
    lfo.sync(-3.3, 60, true, true);
    EXPECT_GE(lfo.phase(), 0);
    EXPECT_LE(lfo.phase(), 1);
}

TEST(Lfo, WithoutTempoTheShapeStaysAtPhaseZero) {
    for (int wave = 0; wave < 7; ++wave) {
        Lfo lfo;
        lfo.setWaveform(wave);
        lfo.setCyclesPerBar(8);
        double out = run(lfo, 200);
        EXPECT_EQ(lfo.phase(), 0);
        switch (wave) {
        case Lfo::Sine:
            EXPECT_NEAR(out, 0, 1e-3);
            break;
        case Lfo::Triangle:
            EXPECT_EQ(out, 0);
            break;
        case Lfo::Square:
            EXPECT_EQ(out, 1);
            break;
        case Lfo::Rising:
            EXPECT_EQ(out, -1);
            break;
        case Lfo::Falling:
            EXPECT_EQ(out, 1);
            break;
        case Lfo::Random:
            EXPECT_EQ(out, lfo.held());
            break;
        default:
            EXPECT_EQ(out, 0);
        }
    }
}

TEST(Lfo, ShapesOverOneCycle) {
    Lfo lfo;
    lfo.setWaveform(Lfo::Sine);
    lfo.setCyclesPerBar(1);
    lfo.sync(0, 60, true, true); // 0.25 Hz: slow enough for the slew to follow
    double highest = -2, lowest = 2;
    for (int i = 0; i < 4 * 44100; ++i) {
        double v = lfo.process();
        highest = std::max(highest, v);
        lowest = std::min(lowest, v);
        if (i == 44100 - 1) {
            EXPECT_NEAR(v, 1, 1e-3); // a quarter cycle: sine at its top
        }
    }
    EXPECT_NEAR(highest, 1, 1e-3);
    EXPECT_NEAR(lowest, -1, 1e-3);

    lfo.setWaveform(Lfo::Square);
    lfo.sync(1.0, 60, true, true);
    EXPECT_EQ(run(lfo, 100), 1);
    lfo.sync(2.0 - 4e-5, 60, true, true); // just before the half cycle
    // The jump to -1 is spread over 1 ms.
    int between = 0;
    for (int i = 0; i < 200; ++i) {
        double v = lfo.process();
        if (v > -1 && v < 1) ++between;
    }
    EXPECT_EQ(lfo.output(), -1);
    EXPECT_NEAR(between, 44, 1);
}

TEST(Lfo, RandomShapeDrawsOncePerCycleAndGlidesOverOneMillisecond) {
    Lfo lfo;
    lfo.setWaveform(Lfo::Random);
    lfo.setCyclesPerBar(32);
    lfo.sync(0, 240, false, true); // 32 Hz: a cycle every 1378 samples
    double step = 2 / (0.001 * 44100);
    int changes = 0;
    double held = lfo.held();
    double last = lfo.output();
    int sinceChange = 0;
    for (int i = 0; i < 44100 + 100; ++i) {
        double v = lfo.process();
        ASSERT_LE(std::fabs(v - last), step * (1 + 1e-12));
        last = v;
        ++sinceChange;
        if (lfo.held() != held) {
            ++changes;
            held = lfo.held();
            sinceChange = 0;
        }
        // Within 1 ms of a change the output has reached the new level.
        if (sinceChange == 45) {
            ASSERT_EQ(v, held);
        }
    }
    EXPECT_EQ(changes, 32);
}

TEST(Lfo, BadTempoOrRateStopsInsteadOfRunningAway) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Lfo lfo;
    lfo.setWaveform(Lfo::Rising);
    lfo.setCyclesPerBar(4);
    lfo.sync(1, 120, true, true);
    double phase = lfo.phase();
    for (double tempo : {-120.0, nan, std::numeric_limits<double>::infinity()}) {
        lfo.sync(nan, tempo, true, true);
        EXPECT_EQ(lfo.increment(), 0);
        EXPECT_EQ(lfo.phase(), phase);
        run(lfo, 100);
        EXPECT_TRUE(std::isfinite(lfo.output()));
    }
    // An absurd tempo still keeps the phase within a cycle.
    lfo.sync(0, 1e9, false, true);
    for (int i = 0; i < 1000; ++i) {
        double v = lfo.process();
        ASSERT_GE(lfo.phase(), 0);
        ASSERT_LT(lfo.phase(), 1);
        ASSERT_LE(std::fabs(v), 1);
    }
    lfo.setSampleRate(0);
    lfo.setCyclesPerBar(4);
    lfo.sync(0, 120, false, true);
    EXPECT_NEAR(lfo.increment() * 44100, 2, 1e-12);
}

// Skipped steps land on the bits of steps taken one by one: phases in every binade and next to the
// cycle's end, increments from below half a unit of the phase to above a cycle, ties included.
TEST(Lfo, SkippedStepsGiveTheBitsOfSingleSteps) {
    std::uint64_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(seed >> 11) / 9007199254740992.0;
    };
    for (int trial = 0; trial < 20000; ++trial) {
        double phase = trial % 7 == 0 ? 0 : std::ldexp(next(), -static_cast<int>(next() * 60));
        if (trial % 11 == 0) phase = 1 - std::ldexp(next(), -30);
        double increment = std::ldexp(next(), -static_cast<int>(next() * 62));
        if (trial % 5 == 0) {
            // Halfway between two multiples of the phase's unit.
            const double unit = std::ldexp(1.0, std::ilogb(phase > 0 ? phase : 0.5) - 52);
            increment = (std::floor(next() * 1e6) + 0.5) * unit;
        }
        if (trial % 97 == 0) increment = 1 + next();
        const int n = 1 + static_cast<int>(next() * 700);
        double stepped = phase;
        int steppedCycles = 0;
        for (int i = 0; i < n; ++i) {
            stepped += increment;
            if (stepped >= 1) {
                stepped -= 1;
                if (stepped >= 1) stepped -= std::floor(stepped);
                ++steppedCycles;
            }
        }
        double skipped = phase;
        int skippedCycles = 0;
        Lfo::skipSteps(skipped, increment, n, skippedCycles);
        ASSERT_EQ(std::memcmp(&skipped, &stepped, sizeof skipped), 0)
            << "phase " << phase << " increment " << increment << " steps " << n;
        ASSERT_EQ(skippedCycles, steppedCycles);
    }
}

// A chunk taken whole (wholeRun, then takeRun) must be the steps process() takes, bit for bit, up
// to the edges of the phase's binades and of the cycle.
TEST(Lfo, WholeRunsGiveTheBitsOfSingleSteps) {
    std::uint64_t seed = 777;
    auto next = [&seed] {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(seed >> 11) / 9007199254740992.0;
    };
    auto bits = [](double v) {
        std::uint64_t b;
        std::memcpy(&b, &v, sizeof b);
        return b;
    };
    int runs = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const double edge = trial % 3 == 0 ? 0.25 : trial % 3 == 1 ? 0.5 : 1.0;
        const double tempo = 60 + next() * 120, cycles = 1 + std::floor(next() * 8);
        const double increment = tempo * 0.004166666666666667 * cycles / 44100;
        // 200 samples for the slew to settle, then a chunk that may reach the edge.
        const double start = edge - (200 + next() * 80) * increment;
        Lfo a, b;
        for (Lfo* lfo : {&a, &b}) {
            lfo->setWaveform(trial % 2 ? Lfo::Triangle : Lfo::Sine);
            lfo->setCyclesPerBar(cycles);
            lfo->sync(start * 4 / cycles, tempo, true, true);
            run(*lfo, 200);
        }
        double d = 0;
        if (!b.wholeRun(64, d)) continue;
        ++runs;
        const double first = b.phase();
        for (int i = 0; i < 64; ++i) {
            a.process();
            ASSERT_EQ(bits(a.phase()), bits(first + (i + 1) * d)) << "trial " << trial;
        }
        b.takeRun(64, d);
        ASSERT_EQ(bits(b.phase()), bits(a.phase()));
        ASSERT_EQ(bits(b.output()), bits(a.output()));
    }
    EXPECT_GT(runs, 400);
}

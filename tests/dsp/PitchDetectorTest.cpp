#include "dsp/PitchDetector.h"
#include "dsp/Biquad.h"
#include "tests/dsp/DetectorSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace Korvel;
using TestSignals::Builder;

namespace {

constexpr double kRate = 44100;

// What the detector reported at each sample.
struct Trace {
    std::vector<double> period;
    std::vector<int> evidence;
    std::vector<double> confirmed;

    int firstDetection(std::size_t from = 0) const {
        for (std::size_t i = from; i < period.size(); ++i)
            if (period[i] > 0) return static_cast<int>(i);
        return -1;
    }
    int lastDetection(std::size_t before) const {
        for (std::size_t i = before; i-- > 0;)
            if (period[i] > 0) return static_cast<int>(i);
        return -1;
    }
    int firstConfirmed(std::size_t from = 0) const {
        for (std::size_t i = from; i < confirmed.size(); ++i)
            if (confirmed[i] > 0) return static_cast<int>(i);
        return -1;
    }
};

Trace run(PitchDetector& d, const std::vector<double>& input) {
    Trace t;
    for (double s : input) {
        d.process(s);
        t.period.push_back(d.period());
        t.evidence.push_back(d.evidence());
        t.confirmed.push_back(d.confirmedPeriod());
    }
    return t;
}

// The effect's defaults: 70 Hz to 1200 Hz, -40 dB, speed 3.
void applyDefaults(PitchDetector& d) {
    d.setMinFreq(70);
    d.setMaxFreq(1200);
    d.setGate(-40);
    d.setSpeed(3);
}

} // namespace

TEST(PitchDetector, CleanSineIsConfirmedAtItsFirstDetection) {
    PitchDetector d;
    Trace t = run(d, Builder(kRate).tone(0.5, 441).samples());
    int first = t.firstDetection();
    ASSERT_GE(first, 0);
    EXPECT_LT(first, 441) << "within ten milliseconds";
    EXPECT_NEAR(t.period[first], 100, 0.5);
    EXPECT_EQ(t.evidence[first], 321);
    EXPECT_EQ(t.firstConfirmed(), first);
    EXPECT_EQ(t.confirmed[first], t.period[first]);
    for (std::size_t i = first; i < t.confirmed.size(); ++i)
        ASSERT_NEAR(t.confirmed[i], 100, 0.05) << "sample " << i;
}

TEST(PitchDetector, SilenceAndSignalsBelowTheGateNeverReport) {
    PitchDetector d;
    applyDefaults(d);
    Builder b(kRate);
    b.silence(1).tone(1, 441, 0.005).noise(1, 0.005).silence(0.5);
    Trace t = run(d, b.samples());
    EXPECT_EQ(t.firstDetection(), -1);
    EXPECT_EQ(t.firstConfirmed(), -1);
}

TEST(PitchDetector, OutputFallsToZeroTwoSpeedPeriodsAfterTheLastDetection) {
    for (int speed : {1, 3, 20}) {
        PitchDetector d;
        applyDefaults(d);
        d.setSpeed(speed);
        Builder b(kRate);
        b.tone(1, 441).silence(1);
        Trace t = run(d, b.samples());
        int last = t.lastDetection(t.period.size());
        ASSERT_GT(last, 0);
        int hold = static_cast<int>(t.period[last] * 2 * speed * 1.0028922878693671 + 0.5);
        EXPECT_GT(t.confirmed[last + hold - 1], 0) << "speed " << speed;
        EXPECT_EQ(t.confirmed[last + hold], 0) << "speed " << speed;
        EXPECT_NEAR(hold, 200 * speed, 1 + speed);
    }
}

TEST(PitchDetector, SpeedSetsHowManyPeriodsConfirmAPitch) {
    // A 110.25 Hz tone, period 400: its first detection covers about two periods.
    std::vector<int> covered;
    for (int speed : {1, 2, 4, 20}) {
        PitchDetector d;
        applyDefaults(d);
        d.setSpeed(speed);
        Trace t = run(d, Builder(kRate).tone(2, 110.25).samples());
        int first = t.firstDetection();
        int confirmedAt = t.firstConfirmed();
        ASSERT_GE(first, 0);
        ASSERT_GE(confirmedAt, first) << "speed " << speed;
        EXPECT_NEAR(t.confirmed[confirmedAt], 400, 3);
        // The samples seen before the pitch was reported: those the first analysis covered and
        // those since.
        covered.push_back(t.evidence[first] + confirmedAt - first);
        double periods = speed < 2 ? 2 : speed;
        EXPECT_NEAR(covered.back(), 400 * periods, 4 * periods) << "speed " << speed;
    }
    EXPECT_EQ(covered[0], covered[1]) << "speeds 1 and 2 both need two periods";
}

TEST(PitchDetector, NoteStepOfASemitoneRestartsConfirmation) {
    for (double semitones : {1.0, 0.2}) {
        PitchDetector d;
        applyDefaults(d);
        d.setSpeed(20);
        Builder b(kRate);
        // A re-articulated note: a short break, then the new pitch.
        b.tone(1, 441).silence(0.005);
        std::size_t stepAt = b.samples().size();
        double hz = 441 * std::pow(2.0, semitones / 12);
        b.tone(1, hz);
        Trace t = run(d, b.samples());
        int first = -1;
        for (std::size_t i = stepAt; i < t.period.size() && first < 0; ++i)
            if (std::fabs(t.period[i] - kRate / hz) < 0.1) first = static_cast<int>(i);
        ASSERT_GT(first, 0);
        double oldPeriod = t.confirmed[stepAt];
        EXPECT_NEAR(oldPeriod, 100, 0.05);
        if (semitones < 0.25) {
            EXPECT_EQ(t.confirmed[first], t.period[first]) << "a small change is followed at once";
            continue;
        }
        int switched = -1;
        for (std::size_t i = first; i < t.confirmed.size() && switched < 0; ++i)
            if (t.confirmed[i] != oldPeriod) switched = static_cast<int>(i);
        ASSERT_GT(switched, 0);
        EXPECT_NEAR(t.confirmed[switched], kRate / hz, 0.05);
        EXPECT_NEAR(t.evidence[first] + switched - first, 20 * kRate / hz, 2);
    }
}

TEST(PitchDetector, DriftBelowAQuarterSemitoneIsFollowedAtOnce) {
    PitchDetector d;
    applyDefaults(d);
    d.setSpeed(20);
    double up = 441 * std::pow(2.0, 0.2 / 12);
    Builder b(kRate);
    b.tone(1, 441).glide(0.5, 441, up).glide(0.5, up, 441 / std::pow(2.0, 0.2 / 12));
    Trace t = run(d, b.samples());
    int confirmedAt = t.firstConfirmed();
    ASSERT_GT(confirmedAt, 0);
    for (std::size_t i = confirmedAt; i < t.period.size(); ++i) {
        if (t.period[i] > 0) {
            ASSERT_EQ(t.confirmed[i], t.period[i]) << "sample " << i;
        }
    }
    EXPECT_NEAR(t.confirmed.back(), 100 * std::pow(2.0, 0.2 / 12), 0.1);
}

TEST(PitchDetector, RangeLimitsBoundTheProposedSpans) {
    {
        // Above MaxFreq: at most an octave below whose span fits.
        PitchDetector d;
        applyDefaults(d);
        d.setMaxFreq(300);
        Trace t = run(d, Builder(kRate).tone(1, 441).samples());
        for (std::size_t i = 0; i < t.period.size(); ++i)
            if (t.period[i] > 0) {
                ASSERT_NEAR(t.period[i], 200, 1) << "sample " << i;
            }
    }
    {
        // Below MinFreq: nothing.
        PitchDetector d;
        applyDefaults(d);
        d.setMinFreq(200);
        Trace t = run(d, Builder(kRate).tone(1, 90).samples());
        EXPECT_EQ(t.firstDetection(), -1);
    }
}

TEST(PitchDetector, NonFiniteSamplesCountAsSilence) {
    PitchDetector d;
    applyDefaults(d);
    Builder b(kRate);
    b.tone(0.5, 441);
    std::size_t burstAt = b.samples().size();
    b.badSamples(300);
    std::size_t resumeAt = b.samples().size();
    b.tone(0.5, 441).constant(50, 1e308).tone(0.5, 441);
    Trace t = run(d, b.samples());
    for (std::size_t i = 0; i < t.period.size(); ++i) {
        ASSERT_TRUE(std::isfinite(t.period[i])) << "sample " << i;
        ASSERT_TRUE(std::isfinite(t.confirmed[i])) << "sample " << i;
    }
    // The filter rings out within a few samples; after that the burst is silence.
    EXPECT_GE(t.firstDetection(burstAt + 50), static_cast<int>(resumeAt));
    int again = t.firstDetection(resumeAt);
    ASSERT_GE(again, 0);
    EXPECT_LT(again - static_cast<int>(resumeAt), 882);
    EXPECT_NEAR(t.period[again], 100, 0.5);
    EXPECT_NEAR(t.confirmed.back(), 100, 0.05) << "and after absurdly large samples";
}

TEST(PitchDetector, ResetForgetsTheSignalAndTheConfirmationSeparately) {
    PitchDetector d;
    run(d, Builder(kRate).tone(0.2, 441).samples());
    ASSERT_GT(d.confirmedPeriod(), 0);
    d.reset();
    EXPECT_GT(d.confirmedPeriod(), 0);
    d.resetConfirmation();
    EXPECT_EQ(d.confirmedPeriod(), 0);
    // Nothing of the earlier tone is left to match against.
    Trace t = run(d, Builder(kRate).silence(0.1).samples());
    EXPECT_EQ(t.firstDetection(), -1);
}

TEST(PitchDetector, SampleRateChangeGrowsTheHistoryAndKeepsTracking) {
    PitchDetector d;
    std::size_t atStart = d.memoryBytes();
    d.setSampleRate(96000);
    std::size_t at96k = d.memoryBytes();
    EXPECT_GE(at96k, atStart + (12801 - 5881) * sizeof(double));
    applyDefaults(d);
    Trace t = run(d, Builder(96000).tone(0.5, 441).samples());
    EXPECT_NEAR(t.confirmed.back(), 96000 / 441.0, 0.1);

    d.setSampleRate(44100);
    EXPECT_GE(d.memoryBytes(), at96k) << "the history never shrinks";
    applyDefaults(d);
    t = run(d, Builder(kRate).tone(0.5, 441).samples());
    EXPECT_NEAR(t.confirmed.back(), 100, 0.05);
}

TEST(Biquad, LowPassPassesLowFrequenciesAndCutsHighOnes) {
    auto gainAt = [](double hz, double cutoff) {
        Biquad f;
        f.setSampleRate(kRate);
        f.designLowPass(cutoff, 0.7079457843841379);
        double peak = 0;
        for (int i = 0; i < 44100; ++i) {
            double y = f.process(std::sin(2 * TestSignals::kPi * hz * i / kRate));
            if (i > 22050) peak = std::max(peak, std::fabs(y));
        }
        return peak;
    };
    EXPECT_NEAR(gainAt(50, 3300), 1, 0.01);
    EXPECT_NEAR(gainAt(3300, 3300), 0.708, 0.01) << "-3 dB at the cutoff";
    EXPECT_LT(gainAt(15000, 3300), 0.05);
    // A cutoff above Nyquist is held at Nyquist and still gives a usable filter.
    EXPECT_NEAR(gainAt(50, 40000), 1, 0.01);

    Biquad f;
    f.setSampleRate(kRate);
    f.designLowPass(1000, 0.7079457843841379);
    EXPECT_NEAR(f.b0() + f.b1() + f.b2(), 1 + f.a1() + f.a2(), 1e-15) << "unity at DC";
    EXPECT_EQ(f.process(0), 1e-20) << "the offset that keeps silence out of denormals";
}

#include "dsp/Oscillator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Korvel;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A sounding oscillator at full level, as the block routine drives it: setFrequency every sample.
struct Held {
    Oscillator osc;
    explicit Held(int waveform = Oscillator::Sine) {
        osc.setWaveform(waveform);
        osc.setLevel(1);
    }
    // Largest |output| over n samples at hz.
    double peak(double hz, int n) {
        double p = 0;
        for (int i = 0; i < n; ++i) {
            osc.setFrequency(hz);
            osc.process();
            p = std::max(p, std::fabs(osc.output()));
        }
        return p;
    }
    int upwardZeroCrossings(double hz, int n) {
        int count = 0;
        double last = osc.output();
        for (int i = 0; i < n; ++i) {
            osc.setFrequency(hz);
            osc.process();
            if (last < 0 && osc.output() >= 0) ++count;
            last = osc.output();
        }
        return count;
    }
};

} // namespace

TEST(Oscillator, SilentUntilTheFirstNote) {
    Oscillator osc;
    osc.setLevel(1);
    osc.setNoise(1);
    for (int i = 0; i < 1000; ++i) {
        osc.process();
        ASSERT_EQ(osc.output(), 0);
    }
    EXPECT_EQ(osc.envelope().state(), Envelope::Idle);
}

TEST(Oscillator, SineAt441HzPeaksAtTheSquaredFrequencyGain) {
    Held h;
    h.peak(441, 4410); // attack and gain slew settle
    double g = 1 - 411 * 3.009027081243731e-05;
    EXPECT_NEAR(h.peak(441, 4410), g * g, 1e-3);
    EXPECT_NEAR(g * g, 0.975, 1e-3);
    EXPECT_EQ(h.osc.gain(), g * g);
    EXPECT_EQ(h.upwardZeroCrossings(441, 44100), 441);
}

TEST(Oscillator, FrequencyGainFadesTheEnds) {
    EXPECT_EQ(Oscillator::frequencyGain(5), 0);
    EXPECT_EQ(Oscillator::frequencyGain(20), 0.5);
    EXPECT_EQ(Oscillator::frequencyGain(30), 1);
    EXPECT_NEAR(Oscillator::frequencyGain(10000), 0.7, 1e-12);
    EXPECT_NEAR(Oscillator::frequencyGain(17499.999), 0, 1e-6);
    EXPECT_EQ(Oscillator::frequencyGain(20000), 0);
    EXPECT_EQ(Oscillator::frequencyGain(kNaN), 0);

    for (int waveform = 0; waveform < 4; ++waveform) {
        Held low(waveform), high(waveform), twenty(waveform);
        low.peak(5, 441);
        high.peak(20000, 441);
        EXPECT_EQ(low.peak(5, 44100), 0) << waveform;
        EXPECT_EQ(high.peak(20000, 4410), 0) << waveform;
        twenty.peak(20, 4410);
        EXPECT_EQ(twenty.osc.gain(), 0.25);
    }
    Held twenty;
    twenty.peak(20, 4410);
    EXPECT_NEAR(twenty.peak(20, 4410), 0.25, 1e-3);
}

TEST(Oscillator, AttackIsParabolicAndReachesFullLevel) {
    Oscillator osc;
    osc.setAttack(0.5);
    osc.setFrequency(440);
    int samples = 0;
    while (osc.envelope().state() == Envelope::Attacking && samples < 100000) {
        osc.process();
        ++samples;
        if (samples == 11025) {
            EXPECT_NEAR(osc.envelope().level(), 0.25, 1e-3);
        }
    }
    EXPECT_NEAR(samples, 22050, 1);
    EXPECT_EQ(osc.envelope().state(), Envelope::Sustaining);
    EXPECT_EQ(osc.envelope().level(), 1);
    // Further notes are ignored in sustain.
    osc.setAttack(0.1);
    osc.setFrequency(220);
    EXPECT_EQ(osc.envelope().state(), Envelope::Sustaining);
}

TEST(Oscillator, ReleaseFallsFastFirstAndRetriggersFromWhereItGot) {
    Oscillator osc;
    osc.setAttack(0.01);
    osc.setRelease(0.1);
    osc.setFrequency(440);
    for (int i = 0; i < 1000; ++i)
        osc.process();
    ASSERT_EQ(osc.envelope().level(), 1);
    osc.release();
    for (int i = 0; i < 2205; ++i) {
        osc.process();
        osc.release(); // repeated calls are ignored
    }
    // start * (1 - p)^2 at p = 0.5.
    EXPECT_NEAR(osc.envelope().level(), 0.25, 1e-3);
    EXPECT_EQ(osc.envelope().state(), Envelope::Releasing);

    osc.setAttack(0.2);
    osc.setFrequency(440);
    EXPECT_EQ(osc.envelope().state(), Envelope::Attacking);
    EXPECT_NEAR(osc.envelope().span(), 0.75, 1e-3);
    EXPECT_DOUBLE_EQ(osc.envelope().increment(), 1 / (44100 * 0.2));
    osc.process();
    EXPECT_GT(osc.envelope().level(), 0.25 - 1e-3);

    osc.release();
    int samples = 0;
    while (osc.envelope().state() == Envelope::Releasing) {
        osc.process();
        ++samples;
    }
    EXPECT_NEAR(samples, 4410, 1);
    EXPECT_EQ(osc.envelope().level(), 0);
    EXPECT_EQ(osc.frequency(), 440); // kept through the release
    // From idle a release starts again, at level 0.
    osc.release();
    EXPECT_EQ(osc.envelope().state(), Envelope::Releasing);
    EXPECT_EQ(osc.envelope().span(), 0);
}

TEST(Oscillator, PartialAndDetuneRetuneWithoutRestartingTheEnvelope) {
    Held h;
    h.peak(200, 4410);
    ASSERT_EQ(h.osc.envelope().state(), Envelope::Sustaining);
    EXPECT_EQ(h.upwardZeroCrossings(200, 44100), 200);
    h.osc.setPartial(3);
    EXPECT_EQ(h.osc.envelope().state(), Envelope::Sustaining);
    EXPECT_EQ(h.osc.envelope().level(), 1);
    EXPECT_EQ(h.upwardZeroCrossings(200, 44100), 600);
    h.osc.setDetune(-1200.0 * std::log2(1.5)); // down a fifth: 400 Hz
    EXPECT_NEAR(h.osc.ratio(), 2, 1e-12);
    EXPECT_NEAR(h.upwardZeroCrossings(200, 44100), 400, 1);
    EXPECT_EQ(h.osc.envelope().state(), Envelope::Sustaining);
}

TEST(Oscillator, NoiseIsEnvelopedAndDrawnOncePerSample) {
    RandomGenerator& g = RandomGenerator::shared();
    RandomGenerator::State saved = g.state();
    Oscillator osc;
    osc.setLevel(0.5);
    osc.setNoise(0.25);
    osc.setFrequency(3); // below the audible range: noise only, through a zero gain
    for (int i = 0; i < 1000; ++i)
        osc.process();
    EXPECT_EQ(osc.output(), 0);

    Oscillator noisy;
    noisy.setLevel(0.5);
    noisy.setNoise(0.25);
    noisy.setWaveform(Oscillator::Square);
    noisy.setFrequency(1000);
    for (int i = 0; i < 1000; ++i)
        noisy.process();
    g.setState(1234, 5678);
    double draw = RandomGenerator::shared().bipolar();
    g.setState(1234, 5678);
    noisy.process();
    double wave = WaveTables::shared().lookup(WaveTables::Square, noisy.phase(), 1000);
    EXPECT_EQ(noisy.output(), 0.5 * noisy.gain() * (0.25 * draw + wave) * 1.0);
    RandomGenerator::State after = g.state();
    g.setState(1234, 5678);
    g.next();
    EXPECT_EQ(g.state().z, after.z);
    EXPECT_EQ(g.state().w, after.w);
    g.setState(saved.z, saved.w);
}

TEST(Oscillator, BadTimesRatesAndGainsStayHarmless) {
    for (double t : {0.0, -1.0, 1e-9, kNaN, kInf}) {
        Oscillator osc;
        osc.setLevel(1);
        osc.setAttack(t);
        osc.setRelease(t);
        osc.setFrequency(440);
        EXPECT_EQ(osc.envelope().increment(), 1) << t;
        osc.process();
        EXPECT_EQ(osc.envelope().level(), 1) << t;
        osc.release();
        osc.process();
        EXPECT_EQ(osc.envelope().level(), 0) << t;
        EXPECT_EQ(osc.envelope().state(), Envelope::Idle) << t;
    }

    for (double rate : {0.0, -48000.0, kNaN, kInf}) {
        Oscillator osc;
        osc.setSampleRate(48000);
        osc.setSampleRate(rate);
        osc.setLevel(1);
        osc.setFrequency(480);
        osc.process();
        EXPECT_DOUBLE_EQ(osc.phase(), 2 * 3.141592653589793 * 480 / 48000) << rate;
        EXPECT_EQ(osc.envelope().sampleRate(), 48000) << rate;
    }

    Oscillator osc;
    osc.setLevel(kInf);
    osc.setNoise(kNaN);
    osc.setFrequency(440);
    for (int i = 0; i < 100; ++i) {
        osc.process();
        ASSERT_EQ(osc.output(), 0);
    }
    EXPECT_EQ(Oscillator().output(), 0);
}

TEST(Oscillator, PhaseStaysInOneCycleForTonesAboveTheSampleRate) {
    for (int waveform = 0; waveform < 4; ++waveform) {
        for (double hz : {30000.0, 1e7, kInf, kNaN, -440.0}) {
            Oscillator osc;
            osc.setSampleRate(8000);
            osc.setWaveform(waveform);
            osc.setLevel(1);
            for (int i = 0; i < 1000; ++i) {
                osc.setFrequency(hz);
                osc.process();
                ASSERT_GE(osc.phase(), 0);
                ASSERT_LT(osc.phase(), 2 * 3.141592653589793);
                ASSERT_TRUE(std::isfinite(osc.output()));
                ASSERT_LE(std::fabs(osc.output()), 1.5);
            }
        }
    }
}

TEST(Oscillator, WaveformIndicesAreClamped) {
    Oscillator osc;
    osc.setWaveform(-3);
    EXPECT_EQ(osc.waveform(), Oscillator::Sine);
    osc.setWaveform(9);
    EXPECT_EQ(osc.waveform(), Oscillator::Sawtooth);
}

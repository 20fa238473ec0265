// The sound through the real binary, driven as a host drives it.
#include "tests/host/TestHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace OmbrelTest;

namespace {

const double kPi = 3.141592653589793;

// The default program: three sines at 0 dB, Main Level -12.5 dB, each sine at 441 Hz in sustain
// peaking at (1 - 411 * 3.009e-5)^2.
const double kDefaultPeak = 3 * 0.97534 * std::pow(10.0, 0.05 * -12.5);
// The engine's own noise floor (5e-6 before the Main Level) makes runs of two instances differ.
const double kNoiseFloor = 1.5e-6;

std::vector<float> sine(double hz, double seconds, double amplitude = 0.5, double rate = 44100) {
    std::vector<float> out(static_cast<std::size_t>(seconds * rate));
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<float>(amplitude * std::sin(2 * kPi * hz * i / rate));
    return out;
}

void append(std::vector<float>& to, const std::vector<float>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

// Mono in, mono out, in blocks of the given size.
std::vector<float> render(AEffect* e, const std::vector<float>& in, int block = 512) {
    std::vector<float> out(in.size());
    for (std::size_t pos = 0; pos < in.size(); pos += block) {
        int frames = static_cast<int>(std::min<std::size_t>(block, in.size() - pos));
        float* ins[1] = {const_cast<float*>(in.data() + pos)};
        float* outs[1] = {out.data() + pos};
        e->processReplacing(e, ins, outs, frames);
    }
    return out;
}

void setMono(TestHost& host, int inputs = 1, int outputs = 1) {
    VstSpeakerArrangement in{}, out{};
    in.numChannels = inputs;
    out.numChannels = outputs;
    ASSERT_EQ(host.dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out),
              1);
}

// Mean frequency from the rising zero crossings of [from, to), interpolated between samples.
double frequencyOf(const std::vector<float>& x, std::size_t from, std::size_t to,
                   double rate = 44100) {
    double first = -1, last = -1;
    int crossings = 0;
    for (std::size_t i = from + 1; i < to; ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            double at = (i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings > 1 ? rate * (crossings - 1) / (last - first) : 0;
}

double peakOf(const std::vector<float>& x, std::size_t from, std::size_t to) {
    double peak = 0;
    for (std::size_t i = from; i < to; ++i)
        peak = std::max(peak, std::fabs(double(x[i])));
    return peak;
}

struct Effect {
    TestHost host;
    AEffect* e = nullptr;
    explicit Effect(const HostAnswers& answers = HostAnswers()) {
        e = host.create(answers);
        if (e) {
            setMono(host);
            host.dispatch(effMainsChanged, 0, 1);
        }
    }
};

} // namespace

TEST(EngineHost, ToneInGivesTheTrackedToneAtTheProgramLevel) {
    Effect fx;
    ASSERT_NE(fx.e, nullptr);
    std::vector<float> out = render(fx.e, sine(441, 1.0));
    EXPECT_NEAR(frequencyOf(out, 22050, 44100), 441, 0.5);
    EXPECT_NEAR(peakOf(out, 22050, 44100), kDefaultPeak, 0.01 * kDefaultPeak);
    // Before the detector confirms anything the output is only the noise floor.
    EXPECT_LT(peakOf(out, 0, 200), kNoiseFloor);
}

TEST(EngineHost, OneBlockEqualsTheSameInputInTwoBlocks) {
    std::vector<float> in = sine(330, 0.25);
    Effect one, two;
    ASSERT_NE(one.e, nullptr);
    ASSERT_NE(two.e, nullptr);
    std::vector<float> whole = render(one.e, in, static_cast<int>(in.size()));
    std::vector<float> split = render(two.e, in, 4000);
    for (std::size_t i = 0; i < in.size(); ++i)
        ASSERT_NEAR(whole[i], split[i], kNoiseFloor) << i;
    // And the synth is one sample late: the first output sample of every block was computed at
    // the end of the block before, so blocks of one frame give the same.
    Effect single;
    std::vector<float> frames = render(single.e, in, 1);
    for (std::size_t i = 0; i < in.size(); ++i)
        ASSERT_NEAR(whole[i], frames[i], kNoiseFloor) << i;
}

TEST(EngineHost, BypassIsExactAndTheSoundContinuesAfterwards) {
    Effect fx;
    ASSERT_NE(fx.e, nullptr);
    std::vector<float> in = sine(441, 1.0);
    std::vector<float> head(in.begin(), in.begin() + 22050), tail(in.begin() + 22050, in.end());
    render(fx.e, head);
    fx.host.dispatch(effSetBypass, 0, 1);
    std::vector<float> bypassed = render(fx.e, tail);
    for (std::size_t i = 0; i < tail.size(); ++i)
        ASSERT_EQ(bypassed[i], tail[i]);
    fx.host.dispatch(effSetBypass, 0, 0);
    std::vector<float> after = render(fx.e, tail, 256);
    // No new attack: the tone is at full level from the first block on.
    EXPECT_NEAR(peakOf(after, 0, 256), kDefaultPeak, 0.02 * kDefaultPeak);
    EXPECT_NEAR(frequencyOf(after, 0, tail.size()), 441, 0.5);
}

TEST(EngineHost, ChannelRoutingBetweenMonoAndStereo) {
    std::vector<float> in = sine(220, 0.5);
    Effect mono;
    ASSERT_NE(mono.e, nullptr);
    std::vector<float> reference = render(mono.e, in);

    // Stereo in (the same signal twice), mono out: the detector hears the same sum.
    Effect stereoIn;
    setMono(stereoIn.host, 2, 1);
    std::vector<float> out(in.size());
    for (std::size_t pos = 0; pos < in.size(); pos += 512) {
        int frames = static_cast<int>(std::min<std::size_t>(512, in.size() - pos));
        float* ins[2] = {in.data() + pos, in.data() + pos};
        float* outs[1] = {out.data() + pos};
        stereoIn.e->processReplacing(stereoIn.e, ins, outs, frames);
    }
    for (std::size_t i = 0; i < in.size(); ++i)
        ASSERT_NEAR(out[i], reference[i], kNoiseFloor);

    // Mono in, stereo out: both outputs carry the same signal, in double precision too.
    Effect stereoOut;
    setMono(stereoOut.host, 1, 2);
    std::vector<double> din(in.begin(), in.end()), left(in.size()), right(in.size());
    for (std::size_t pos = 0; pos < in.size(); pos += 512) {
        int frames = static_cast<int>(std::min<std::size_t>(512, in.size() - pos));
        double* ins[1] = {din.data() + pos};
        double* outs[2] = {left.data() + pos, right.data() + pos};
        stereoOut.e->processDoubleReplacing(stereoOut.e, ins, outs, frames);
    }
    for (std::size_t i = 0; i < in.size(); ++i) {
        ASSERT_EQ(left[i], right[i]);
        ASSERT_NEAR(left[i], reference[i], kNoiseFloor);
    }
}

TEST(EngineHost, PitchJumpGlidesAndLostPitchReleases) {
    Effect fx;
    ASSERT_NE(fx.e, nullptr);
    std::vector<float> in = sine(100, 0.5);
    append(in, sine(200, 0.5));
    append(in, std::vector<float>(22050, 0.0f));
    std::vector<float> out = render(fx.e, in);

    EXPECT_NEAR(frequencyOf(out, 11025, 22050), 100, 0.5);
    EXPECT_NEAR(frequencyOf(out, 33075, 44100), 200, 0.5);
    // Around the jump some periods lie strictly between the two notes' periods.
    int between = 0;
    double lastCrossing = -1;
    for (std::size_t i = 22050; i < 22050 + 4410; ++i) {
        if (out[i - 1] < 0 && out[i] >= 0) {
            double at = (i - 1) + out[i - 1] / (out[i - 1] - out[i]);
            if (lastCrossing >= 0) {
                double period = at - lastCrossing;
                if (period > 230 && period < 430) ++between;
            }
            lastCrossing = at;
        }
    }
    EXPECT_GE(between, 1);

    // After the input stops the tone fades with the 10 ms release instead of stopping dead, and
    // is gone well within a tenth of a second.
    std::size_t stop = 44100;
    EXPECT_GT(peakOf(out, stop, stop + 2205), 0.05);
    EXPECT_LT(peakOf(out, stop + 4410, out.size()), kNoiseFloor);
}

TEST(EngineHost, TrackingSurvivesRateChangesBadRatesAndNonFiniteInput) {
    HostAnswers answers;
    answers.sampleRate = 48000;
    Effect fx(answers);
    ASSERT_NE(fx.e, nullptr);
    EXPECT_NEAR(frequencyOf(render(fx.e, sine(441, 0.5, 0.5, 48000)), 12000, 24000, 48000), 441,
                0.5);

    for (float rate : {96000.0f, 0.0f, -1.0f, 2e6f, std::numeric_limits<float>::infinity(),
                       std::numeric_limits<float>::quiet_NaN()}) {
        fx.host.dispatch(effMainsChanged, 0, 0);
        fx.host.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        fx.host.dispatch(effMainsChanged, 0, 1);
        // The bad rates leave 96 kHz in place.
        std::vector<float> out = render(fx.e, sine(441, 0.5, 0.5, 96000));
        EXPECT_NEAR(frequencyOf(out, 24000, 48000, 96000), 441, 0.5) << rate;
    }

    // A burst of NaNs and infinities is heard as silence; the tone comes back right after.
    std::vector<float> in = sine(441, 0.3, 0.5, 96000);
    for (std::size_t i = 10000; i < 11000; ++i)
        in[i] = i % 2 ? std::numeric_limits<float>::quiet_NaN()
                      : std::numeric_limits<float>::infinity();
    std::vector<float> out = render(fx.e, in);
    for (float v : out)
        ASSERT_TRUE(std::isfinite(v));
    EXPECT_NEAR(frequencyOf(out, 20000, in.size(), 96000), 441, 0.5);
}

TEST(EngineHost, EmptyAndHugeBlocks) {
    Effect fx;
    ASSERT_NE(fx.e, nullptr);
    fx.host.dispatch(effSetBlockSize, 0, 65536);
    std::vector<float> in = sine(441, 65536.0 / 44100);
    std::vector<float> out = render(fx.e, in, 65536);
    EXPECT_NEAR(frequencyOf(out, 22050, 65536), 441, 0.5);
    float* ins[1] = {in.data()};
    float* outs[1] = {out.data()};
    fx.e->processReplacing(fx.e, ins, outs, 0);
    std::vector<double> d(1);
    double* dins[1] = {d.data()};
    fx.e->processDoubleReplacing(fx.e, dins, dins, 0);
}

TEST(EngineHost, TempoSyncedTremoloFollowsTheTransport) {
    VstTimeInfo time{};
    time.sampleRate = 44100;
    time.tempo = 120;
    time.ppqPos = 0;
    time.flags = kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying;
    HostAnswers answers;
    answers.timeInfo = &time;
    Effect fx(answers);
    ASSERT_NE(fx.e, nullptr);
    // Square tremolo, full depth, 4 per bar at 120 BPM: 2 Hz, the tone gated every 250 ms.
    char text[32];
    auto setText = [&](int index, const char* value) {
        std::snprintf(text, sizeof text, "%s", value);
        fx.host.dispatch(effString2Parameter, index, 0, text);
    };
    setText(24, "Square");
    setText(27, "100");
    std::vector<float> in = sine(441, 1.5), out(in.size());
    for (std::size_t pos = 0; pos < in.size(); pos += 512) {
        time.ppqPos = pos * 2.0 / 44100;
        int frames = static_cast<int>(std::min<std::size_t>(512, in.size() - pos));
        float* ins[1] = {in.data() + pos};
        float* outs[1] = {out.data() + pos};
        fx.e->processReplacing(fx.e, ins, outs, frames);
    }
    // From 0.5 s: phase 0..0.5 of each cycle is loud, 0.5..1 silent.
    EXPECT_NEAR(peakOf(out, 22050 + 500, 22050 + 10500), kDefaultPeak, 0.02 * kDefaultPeak);
    EXPECT_LT(peakOf(out, 33075 + 500, 33075 + 10500), 0.01);
}

TEST(EngineHost, OutOfRangeValuesFromHostAndChunkAreClampedSoOutputStaysBounded) {
    Effect fx;
    ASSERT_NE(fx.e, nullptr);
    auto display = [&](int index) {
        char text[64] = {};
        fx.host.dispatch(effGetParamDisplay, index, 0, text);
        return std::string(text);
    };
    // Host values: what the host reads back and what the display shows are the clamped value.
    fx.e->setParameter(fx.e, 28, 1.0f);
    const std::string loudest = display(28);
    fx.e->setParameter(fx.e, 28, 1e30f);
    EXPECT_EQ(fx.e->getParameter(fx.e, 28), 1.0f);
    EXPECT_EQ(display(28), loudest);
    fx.e->setParameter(fx.e, 8, -1e9f);
    EXPECT_EQ(fx.e->getParameter(fx.e, 8), 0.0f);

    // A program chunk with huge cells: MainLvl, Noise1 (shown as "-Inf" when clamped), Speed and
    // Wave1; NaN keeps its mend, the default.
    void* data = nullptr;
    ASSERT_EQ(fx.host.dispatch(effGetChunk, 1, 0, &data), 257);
    std::vector<unsigned char> chunk(static_cast<unsigned char*>(data),
                                     static_cast<unsigned char*>(data) + 257);
    auto poke = [&](int index, double v) { std::memcpy(&chunk[25 + 8 * index], &v, 8); };
    poke(28, 1e300);
    poke(8, -1e9);
    poke(3, 1e300);
    poke(4, -1e300);
    poke(9, std::numeric_limits<double>::quiet_NaN());
    ASSERT_EQ(fx.host.dispatch(effSetChunk, 1, 257, chunk.data()), 257);
    EXPECT_EQ(fx.e->getParameter(fx.e, 28), 1.0f);
    EXPECT_EQ(display(28), loudest);
    EXPECT_EQ(fx.e->getParameter(fx.e, 8), 0.0f);
    EXPECT_EQ(display(8), "-Inf");
    EXPECT_EQ(fx.e->getParameter(fx.e, 3), 1.0f);
    EXPECT_EQ(fx.e->getParameter(fx.e, 4), 0.0f);
    EXPECT_EQ(display(9), "0.0");
    fx.host.dispatch(effGetChunk, 1, 0, &data);
    for (int j = 0; j < 29; ++j) {
        double v;
        std::memcpy(&v, static_cast<unsigned char*>(data) + 25 + 8 * j, 8);
        EXPECT_TRUE(v >= 0 && v <= 1) << j;
    }
    // Three oscillators at full level: the output never exceeds their sum.
    std::vector<float> out = render(fx.e, sine(441, 1.0));
    EXPECT_LT(peakOf(out, 0, out.size()), 3.5);
    EXPECT_GT(peakOf(out, 22050, out.size()), 0.5);
}

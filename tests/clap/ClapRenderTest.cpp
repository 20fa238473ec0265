// The CLAP build renders exactly the VST build's samples: the same phrase, the same parameters set
// by name and text (some changed half way), a playing transport that the tempo-synced LFO
// follows, single and double precision, stereo and mono. The shared random generator of each
// library makes the output depend on every instance and sample before it, so both libraries go
// through the same sequence, alone in this process.
#include "tests/clap/ClapTestKit.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace OmbrelTest {
namespace {

constexpr double kRate = 44100;
constexpr double kTempo = 132;
constexpr int kBlock = 512;
constexpr int kFrames = 60000;
constexpr int kChangeBlock = 60;

using Settings = std::vector<std::pair<const char*, const char*>>;
const Settings kStart = {{"MinFreq", "80"},       {"Wave1", "Square"}, {"Partial2", "2"},
                         {"Detune2", "7"},        {"Level2", "-6"},    {"Noise1", "-30"},
                         {"LFOWave", "Triangle"}, {"LFOFreq", "2"},    {"LFOPhase", "90"},
                         {"LFODepth", "60"},      {"MainLvl", "-6"},   {"Attk1", "0.05"}};
const Settings kHalfWay = {{"Wave3", "Sawtooth"}, {"Gate", "-50"}, {"LFODepth", "100"}};

// A sung-like glide with two harmonics, a little different on the right.
std::vector<double> phrase(int channel) {
    std::vector<double> out(kFrames);
    double phase = 0, hz = 196;
    for (int i = 0; i < kFrames; ++i) {
        hz += ((i < kFrames / 2 ? 220.0 : 330.0) - hz) * 0.001;
        phase += 6.283185307179586 * hz / kRate;
        out[i] = 0.3 * std::sin(phase) + 0.1 * std::sin(2 * phase + channel);
    }
    return out;
}

// The transport's song position as the CLAP host hands it over (fixed point), so that both
// builds see the same position.
double beatsAt(int frame) {
    double beats = frame * kTempo / (60.0 * kRate);
    return std::llround(beats * static_cast<double>(CLAP_BEATTIME_FACTOR)) /
           static_cast<double>(CLAP_BEATTIME_FACTOR);
}

template <typename T> struct Buffers {
    std::vector<std::vector<T>> in{2, std::vector<T>(kBlock)}, out{2, std::vector<T>(kBlock)};
    T* ins[2] = {};
    T* outs[2] = {};
    void load(const std::vector<double>* input, int at, int frames) {
        for (int c = 0; c < 2; ++c) {
            for (int i = 0; i < frames; ++i)
                in[c][i] = static_cast<T>(input[c][at + i]);
            ins[c] = in[c].data();
            outs[c] = out[c].data();
        }
    }
};

template <typename T> std::vector<T> renderVst(int channels) {
    VstTimeInfo time{};
    HostAnswers answers;
    answers.timeInfo = &time;
    TestHost vst;
    AEffect* e = vst.create(answers);
    if (!e) return {};
    vst.dispatch(effOpen);
    vst.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
    vst.dispatch(effSetBlockSize, 0, kBlock);
    VstSpeakerArrangement in{}, out{};
    in.numChannels = out.numChannels = channels;
    vst.dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out);
    vst.dispatch(effMainsChanged, 0, 1);
    auto set = [&](const Settings& settings) {
        for (auto [name, text] : settings) {
            char copy[32];
            std::strcpy(copy, text);
            vst.dispatch(effString2Parameter, vstParam(vst, name), 0, copy);
        }
    };
    set(kStart);
    const std::vector<double> input[2] = {phrase(0), phrase(1)};
    Buffers<T> b;
    std::vector<T> rendered;
    for (int at = 0, block = 0; at < kFrames; at += kBlock, ++block) {
        if (block == kChangeBlock) set(kHalfWay);
        int n = std::min(kBlock, kFrames - at);
        time.sampleRate = kRate;
        time.tempo = kTempo;
        time.ppqPos = beatsAt(at);
        time.flags = kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying;
        b.load(input, at, n);
        if constexpr (sizeof(T) == sizeof(double))
            e->processDoubleReplacing(e, b.ins, b.outs, n);
        else
            e->processReplacing(e, b.ins, b.outs, n);
        for (int c = 0; c < channels; ++c)
            rendered.insert(rendered.end(), b.out[c].begin(), b.out[c].begin() + n);
    }
    vst.close();
    return rendered;
}

template <typename T> std::vector<T> renderClap(int channels) {
    OmbrelHost::ClapPlugin clap;
    std::string error;
    if (!clap.load(clapPath(), error) || !clap.selectLayout(channels, channels) ||
        !clap.activate(kRate, 1, kBlock) || !clap.startProcessing())
        return {};
    clap.transport().setTempo(kTempo);
    clap.transport().setPlaying(true);
    auto set = [&](const Settings& settings) {
        for (auto [name, text] : settings)
            EXPECT_TRUE(clap.setText(clap.findParam(name), text)) << name;
    };
    set(kStart);
    const std::vector<double> input[2] = {phrase(0), phrase(1)};
    Buffers<T> b;
    std::vector<T> rendered;
    for (int at = 0, block = 0; at < kFrames; at += kBlock, ++block) {
        if (block == kChangeBlock) set(kHalfWay);
        int n = std::min(kBlock, kFrames - at);
        b.load(input, at, n);
        if (clap.process(b.ins, b.outs, static_cast<std::uint32_t>(n)) != CLAP_PROCESS_CONTINUE)
            return {};
        for (int c = 0; c < channels; ++c)
            rendered.insert(rendered.end(), b.out[c].begin(), b.out[c].begin() + n);
    }
    return rendered;
}

template <typename T> double rms(const std::vector<T>& x) {
    double sum = 0;
    for (T v : x)
        sum += static_cast<double>(v) * v;
    return x.empty() ? 0 : std::sqrt(sum / static_cast<double>(x.size()));
}

template <typename T>
std::size_t firstDifference(const std::vector<T>& a, const std::vector<T>& b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(T)) != 0) return i;
    return a.size() == b.size() ? a.size() : std::min(a.size(), b.size());
}

TEST(ClapRender, SameSamplesAsTheVstBuildInBothPrecisionsAndLayouts) {
    // One instance of each kept alive throughout, so neither library unloads and restarts its
    // random generator between renders.
    TestHost vstKeeper;
    ASSERT_NE(nullptr, vstKeeper.create());
    OmbrelHost::ClapPlugin clapKeeper;
    loadClap(clapKeeper);

    for (int channels : {2, 1}) {
        std::vector<float> vstFloat = renderVst<float>(channels);
        std::vector<float> clapFloat = renderClap<float>(channels);
        ASSERT_EQ(static_cast<std::size_t>(kFrames * channels), vstFloat.size());
        EXPECT_GT(rms(vstFloat), 0.01) << "the synth plays";
        EXPECT_EQ(vstFloat.size(), firstDifference(vstFloat, clapFloat))
            << channels << " channels, single precision";

        std::vector<double> vstDouble = renderVst<double>(channels);
        std::vector<double> clapDouble = renderClap<double>(channels);
        ASSERT_EQ(vstDouble.size(), clapDouble.size());
        EXPECT_EQ(vstDouble.size(), firstDifference(vstDouble, clapDouble))
            << channels << " channels, double precision";
    }
}

TEST(ClapRender, TheLfoFollowsTheHostsTransport) {
    // A square LFO at full depth, one cycle per bar: the level halves when the transport stops
    // being played past the cycle's first half, so playing and stopped runs part ways.
    auto render = [](bool playing, double startBeat) {
        OmbrelHost::ClapPlugin clap;
        std::string error;
        EXPECT_TRUE(clap.load(clapPath(), error)) << error;
        clap.activate(kRate, 1, kBlock);
        clap.startProcessing();
        for (auto [name, text] :
             Settings{{"LFOWave", "Square"}, {"LFOFreq", "1"}, {"LFODepth", "100"}})
            clap.setText(clap.findParam(name), text);
        clap.transport().setTempo(120);
        clap.transport().setPlaying(playing);
        clap.transport().setBeats(startBeat);
        const std::vector<double> input[2] = {phrase(0), phrase(1)};
        Buffers<float> b;
        double late = 0;
        for (int at = 0; at + kBlock <= 22050; at += kBlock) {
            b.load(input, at, kBlock);
            clap.process(b.ins, b.outs, kBlock);
            if (at >= 11025)
                for (float v : b.out[0])
                    late += static_cast<double>(v) * v;
        }
        return late;
    };
    // At 120 BPM a bar lasts 2 s: from beat 2 the square is in its silent half at once.
    double fromStart = render(true, 0), fromHalfBar = render(true, 2), stopped = render(false, 2);
    EXPECT_GT(fromStart, 100 * fromHalfBar) << "the position sets the phase";
    EXPECT_GT(stopped, 100 * fromHalfBar) << "a stopped transport does not lock the phase";
}

} // namespace
} // namespace OmbrelTest

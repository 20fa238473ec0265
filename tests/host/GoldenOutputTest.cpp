// A fixed phrase through three fixed programs must give exactly the stored output: any change to
// the sound, however small, shows here. The shared random generator makes the output depend on
// everything drawn before in the process, so this runs alone in its own executable, in one order.
#include "tests/host/TestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

using namespace OmbrelTest;

namespace {

const double kTwoPi = 6.283185307179586;

// Only + and * (and no library sine), so the input is the same bits on every platform.
double polySine(double phase) {
    double m = phase - 3.141592653589793;
    double m2 = m * m;
    return m *
           (((0.16562123457123723 - (0.007956574006381783 - 0.000145039006054745 * m2) * m2) * m2) -
            0.9990123569996505);
}

double wrap(double phase) {
    return phase >= kTwoPi ? phase - kTwoPi : phase;
}

// A sung-like phrase: five notes with glides between them, three harmonics, a little vibrato,
// then silence for the releases.
std::vector<float> phrase() {
    const double notes[] = {196.0, 246.94, 293.66, 392.0, 293.66};
    const double rate = 44100;
    std::vector<float> out;
    double p1 = 0, p2 = 0, p3 = 0, vibratoPhase = 0, hz = notes[0];
    for (double target : notes) {
        for (int i = 0; i < 15435; ++i) {
            hz += (target - hz) * 0.002;
            vibratoPhase = wrap(vibratoPhase + kTwoPi * 5.5 / rate);
            double step = kTwoPi * hz * (1 + 0.004 * polySine(vibratoPhase)) / rate;
            p1 = wrap(p1 + step);
            p2 = wrap(wrap(p2 + 2 * step));
            p3 = wrap(wrap(wrap(p3 + 3 * step)));
            double v = polySine(p1) + 0.5 * polySine(p2) + 0.25 * polySine(p3);
            out.push_back(static_cast<float>(0.3 * v));
        }
    }
    out.resize(out.size() + 13230, 0.0f);
    return out;
}

template <class T> std::uint64_t fnv1a(const std::vector<T>& samples) {
    std::uint64_t hash = 1469598103934665603ull;
    for (T s : samples) {
        unsigned char bytes[sizeof s];
        std::memcpy(bytes, &s, sizeof s);
        for (unsigned char b : bytes)
            hash = (hash ^ b) * 1099511628211ull;
    }
    return hash;
}

// The phrase through a program in single precision, or in double (widened from the same floats).
std::uint64_t renderProgram(const std::vector<std::pair<int, const char*>>& settings,
                            bool doublePrecision = false) {
    VstTimeInfo time{};
    time.sampleRate = 44100;
    time.tempo = 132;
    time.flags = kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying;
    HostAnswers answers;
    answers.timeInfo = &time;
    TestHost host;
    AEffect* e = host.create(answers);
    if (!e) return 0;
    VstSpeakerArrangement in{}, out{};
    in.numChannels = out.numChannels = 1;
    host.dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out);
    for (const auto& s : settings) {
        char text[32];
        std::snprintf(text, sizeof text, "%s", s.second);
        host.dispatch(effString2Parameter, s.first, 0, text);
    }
    host.dispatch(effMainsChanged, 0, 1);

    std::vector<float> input = phrase(), output(input.size());
    std::vector<double> wide(input.begin(), input.end()), wideOutput(input.size());
    for (std::size_t pos = 0; pos < input.size(); pos += 480) {
        time.ppqPos = pos * (132.0 / 60) / 44100;
        int frames = static_cast<int>(std::min<std::size_t>(480, input.size() - pos));
        if (doublePrecision) {
            double* ins[1] = {wide.data() + pos};
            double* outs[1] = {wideOutput.data() + pos};
            e->processDoubleReplacing(e, ins, outs, frames);
        } else {
            float* ins[1] = {input.data() + pos};
            float* outs[1] = {output.data() + pos};
            e->processReplacing(e, ins, outs, frames);
        }
    }
    return doublePrecision ? fnv1a(wideOutput) : fnv1a(output);
}

} // namespace

TEST(GoldenOutput, ThreeProgramsMatchTheirStoredChecksums) {
    const std::vector<std::pair<int, const char*>> plainProgram = {};
    const std::vector<std::pair<int, const char*>> brightProgram = {
        {4, "Sawtooth"},  {10, "Square"}, {11, "2"},  {12, "7"},   {17, "Triangle"},
        {18, "3"},        {19, "-5"},     {8, "-30"}, {6, "0.05"}, {7, "0.2"},
        {24, "Triangle"}, {25, "8"},      {27, "50"}, {28, "-15"}};
    const std::vector<std::pair<int, const char*>> restlessProgram = {
        {0, "100"}, {1, "800"},  {2, "-60"},  {3, "1"},   {10, "Sawtooth"},
        {11, "5"},  {15, "-20"}, {22, "-12"}, {23, "-6"}, {24, "Random"},
        {25, "3"},  {26, "90"},  {27, "80"}};
    std::uint64_t plain = renderProgram(plainProgram);
    std::uint64_t bright = renderProgram(brightProgram);
    std::uint64_t restless = renderProgram(restlessProgram);
    std::printf("checksums: %016llx %016llx %016llx\n", static_cast<unsigned long long>(plain),
                static_cast<unsigned long long>(bright), static_cast<unsigned long long>(restless));
    EXPECT_EQ(plain, 0xed2bd9be47ed377bull);
    EXPECT_EQ(bright, 0x1327f73208f5e4aeull);
    EXPECT_EQ(restless, 0x94b376edf2c2ba35ull);

    // In double precision too, with the same checksums on every platform: the engine computes
    // the same bits with any compiler, C library and instruction set.
    std::uint64_t plainDouble = renderProgram(plainProgram, true);
    std::uint64_t brightDouble = renderProgram(brightProgram, true);
    std::uint64_t restlessDouble = renderProgram(restlessProgram, true);
    std::printf("double precision: %016llx %016llx %016llx\n",
                static_cast<unsigned long long>(plainDouble),
                static_cast<unsigned long long>(brightDouble),
                static_cast<unsigned long long>(restlessDouble));
    EXPECT_EQ(plainDouble, 0xf33f8e4cbb93a458ull);
    EXPECT_EQ(brightDouble, 0x8bfa7835fbfee2bbull);
    EXPECT_EQ(restlessDouble, 0xadb7ce0cc93d9668ull);
}

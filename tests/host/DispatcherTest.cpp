#include "tests/host/TestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace OmbrelTest;

namespace {
std::string display(TestHost& host, int index) {
    char text[64] = {};
    host.dispatch(effGetParamDisplay, index, 0, text);
    return text;
}
} // namespace

TEST(Dispatcher, BypassReturnsTheInputInMonoAndStereo) {
    TestHost host;
    AEffect* e = host.create();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(host.dispatch(effSetBypass, 0, 1), 1);
    for (int frames : {512, 256, 1024, 0}) {
        std::vector<float> l(frames + 1), r(frames + 1), ol(frames + 1), orr(frames + 1);
        for (int i = 0; i < frames; ++i) {
            l[i] = std::sin(i * 0.01f);
            r[i] = std::cos(i * 0.02f);
        }
        float* in[2] = {l.data(), r.data()};
        float* out[2] = {ol.data(), orr.data()};
        e->processReplacing(e, in, out, frames);
        for (int i = 0; i < frames; ++i) {
            ASSERT_EQ(ol[i], l[i]);
            ASSERT_EQ(orr[i], r[i]);
        }
    }
    std::vector<double> dl(64, 0.25), dr(64, -0.5), dol(64), dor(64);
    double* din[2] = {dl.data(), dr.data()};
    double* dout[2] = {dol.data(), dor.data()};
    e->processDoubleReplacing(e, din, dout, 64);
    EXPECT_EQ(dol[10], 0.25);
    EXPECT_EQ(dor[10], -0.5);
}

TEST(Dispatcher, SpeakerArrangementsAcceptedAndRefused) {
    TestHost host;
    AEffect* e = host.create();
    ASSERT_NE(e, nullptr);
    VstSpeakerArrangement in{}, out{};
    in.numChannels = 2;
    out.numChannels = 4;
    EXPECT_EQ(host.dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out),
              0);
    EXPECT_EQ(host.dispatch(effSetSpeakerArrangement, 0, 0, &out), 0);
    in.numChannels = 2;
    out.numChannels = 1;
    EXPECT_EQ(host.dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out),
              1);
    VstSpeakerArrangement* gotIn = nullptr;
    VstSpeakerArrangement* gotOut = nullptr;
    EXPECT_EQ(
        host.dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&gotIn), &gotOut),
        1);
    ASSERT_NE(gotIn, nullptr);
    EXPECT_EQ(gotIn->numChannels, 2);
    EXPECT_EQ(gotOut->numChannels, 1);
    // Stereo in, mono out, bypassed: the average of both inputs.
    host.dispatch(effSetBypass, 0, 1);
    float l[4] = {1, 1, 1, 1}, r[4] = {0, 0, 0, 0}, o[4] = {};
    float* ins[2] = {l, r};
    float* outs[1] = {o};
    e->processReplacing(e, ins, outs, 4);
    EXPECT_EQ(o[3], 0.5f);
}

TEST(Dispatcher, ParametersProgramsAndOutOfRangeIndexes) {
    TestHost host;
    AEffect* e = host.create();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(display(host, 8), "-Inf");
    EXPECT_EQ(display(host, 9), "0.0");
    EXPECT_EQ(display(host, 6), "0.01");
    EXPECT_EQ(display(host, 25), "4");
    char unit[16] = {};
    host.dispatch(effGetParamLabel, 25, 0, unit);
    EXPECT_STREQ(unit, "per bar");
    e->setParameter(e, 99, 0.5f);
    e->setParameter(e, -1, 0.5f);
    EXPECT_EQ(e->getParameter(e, 99), 0.0f);
    e->setParameter(e, 5, NAN);
    EXPECT_EQ(display(host, 5), "0");
    char typed[] = "1500";
    EXPECT_EQ(host.dispatch(effString2Parameter, 0, 0, typed), 1);
    EXPECT_EQ(display(host, 0), "1500");
    EXPECT_EQ(display(host, 1), "1500");
    char name[40] = {};
    host.dispatch(effGetProgramNameIndexed, 12, 0, name);
    EXPECT_STREQ(name, "");
    host.dispatch(effGetProgramNameIndexed, 9, 0, name);
    EXPECT_STREQ(name, "Defaults");
    char longName[] = "abcdefghijklmnopqrstuvwxyz0123";
    host.dispatch(effSetProgramName, 0, 0, longName);
    host.dispatch(effGetProgramName, 0, 0, name);
    EXPECT_EQ(std::string(name), std::string(longName, 24));
    host.dispatch(effSetProgram, 0, 12);
    EXPECT_EQ(host.dispatch(effGetProgram), 0);
    EXPECT_EQ(host.dispatch(effGetParamName, 0, 0, nullptr), 0);
}

TEST(Dispatcher, ChunksByteForByteAndShortChunksRefused) {
    TestHost host;
    ASSERT_NE(host.create(), nullptr);
    void* data = nullptr;
    ASSERT_EQ(host.dispatch(effGetChunk, 0, 0, &data), 2570);
    const unsigned char* bank = static_cast<const unsigned char*>(data);
    EXPECT_EQ(std::memcmp(bank, "Defaults\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 25), 0);
    std::vector<unsigned char> saved(bank, bank + 2570);
    EXPECT_EQ(host.dispatch(effGetChunk, 1, 0, &data), 257);

    TestHost other;
    ASSERT_NE(other.create(), nullptr);
    saved[0] = 'X';
    EXPECT_EQ(other.dispatch(effSetChunk, 0, 100, saved.data()), 0);
    EXPECT_EQ(other.dispatch(effSetChunk, 0, 2570, saved.data()), 2570);
    char name[40] = {};
    other.dispatch(effGetProgramName, 0, 0, name);
    EXPECT_STREQ(name, "Xefaults");
}

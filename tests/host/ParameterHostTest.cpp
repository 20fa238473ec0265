// Parameters, typed text, programs and chunks as a host sees them.
#include "tests/host/TestHost.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

using namespace OmbrelTest;

namespace {
std::string text(TestHost& host, VstInt32 opcode, int index) {
    char buffer[64] = {};
    host.dispatch(opcode, index, 0, buffer);
    return buffer;
}
std::string display(TestHost& host, int index) {
    return text(host, effGetParamDisplay, index);
}
bool type(TestHost& host, int index, const char* typed) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s", typed);
    return host.dispatch(effString2Parameter, index, 0, buffer) != 0;
}
} // namespace

TEST(ParameterHost, DefaultsNamesAndUnits) {
    TestHost host;
    ASSERT_NE(host.create(), nullptr);
    const char* const names[29] = {
        "MinFreq", "MaxFreq", "Gate",     "Speed",    "Wave1",   "Detune1", "Attk1",  "Rel1",
        "Noise1",  "Level1",  "Wave2",    "Partial2", "Detune2", "Attk2",   "Rel2",   "Noise2",
        "Level2",  "Wave3",   "Partial3", "Detune3",  "Attk3",   "Rel3",    "Noise3", "Level3",
        "LFOWave", "LFOFreq", "LFOPhase", "LFODepth", "MainLvl"};
    const char* const units[29] = {"Hz", "Hz",      "dB",  "",      "",      "cents", "s",  "s",
                                   "dB", "dB",      "",    "",      "cents", "s",     "s",  "dB",
                                   "dB", "",        "",    "cents", "s",     "s",     "dB", "dB",
                                   "",   "per bar", "deg", "%",     "dB"};
    for (int i = 0; i < 29; ++i) {
        EXPECT_EQ(text(host, effGetParamName, i), names[i]) << i;
        EXPECT_EQ(text(host, effGetParamLabel, i), units[i]) << i;
    }
    EXPECT_EQ(display(host, 4), "Sine");
    EXPECT_EQ(display(host, 8), "-Inf");
    EXPECT_EQ(display(host, 9), "0.0");
    EXPECT_EQ(display(host, 28), "-12.5");
    EXPECT_EQ(display(host, 6), "0.01");
    EXPECT_EQ(display(host, 25), "4");
    EXPECT_EQ(display(host, 24), "Sine");
}

TEST(ParameterHost, TypedTextForEachKindAndTheFrequencyCoupling) {
    TestHost host;
    ASSERT_NE(host.create(), nullptr);
    EXPECT_TRUE(type(host, 10, "Square"));
    EXPECT_EQ(display(host, 10), "Square");
    EXPECT_TRUE(type(host, 24, "random"));
    EXPECT_EQ(display(host, 24), "Random");
    EXPECT_TRUE(type(host, 9, "-6"));
    EXPECT_EQ(display(host, 9), "-6.0");
    EXPECT_TRUE(type(host, 11, "3.4"));
    EXPECT_EQ(display(host, 11), "3");
    EXPECT_TRUE(type(host, 5, "150"));
    EXPECT_EQ(display(host, 5), "99");
    // Lowering MaxFreq below MinFreq drags MinFreq along, and the other way round.
    EXPECT_TRUE(type(host, 1, "50"));
    EXPECT_EQ(display(host, 0), display(host, 1));
    EXPECT_TRUE(type(host, 0, "900"));
    EXPECT_EQ(display(host, 1), display(host, 0));
    // Out-of-range cells from a host keep their value but never index outside the items.
    host.effect()->setParameter(host.effect(), 4, 7.0f);
    EXPECT_EQ(display(host, 4), "Sawtooth");
    host.effect()->setParameter(host.effect(), 4, -3.0f);
    EXPECT_EQ(display(host, 4), "Sine");
}

TEST(ParameterHost, ProgramsNamesAndChunksAcrossProgramsAndInstances) {
    TestHost host;
    AEffect* e = host.create();
    ASSERT_NE(e, nullptr);
    char empty[] = "";
    char name[] = "Lead";
    host.dispatch(effSetProgramName, 0, 0, name);
    host.dispatch(effSetProgramName, 0, 0, empty);
    EXPECT_EQ(text(host, effGetProgramName, 0), "Lead");
    type(host, 28, "-3");
    type(host, 4, "Triangle");

    // A program chunk of exactly its size, restored into another program and another instance.
    void* data = nullptr;
    ASSERT_EQ(host.dispatch(effGetChunk, 1, 0, &data), 257);
    std::unique_ptr<unsigned char[]> program(new unsigned char[257]);
    std::memcpy(program.get(), data, 257);
    host.dispatch(effSetProgram, 0, 3);
    EXPECT_EQ(host.dispatch(effSetChunk, 1, 257, program.get()), 257);
    EXPECT_EQ(text(host, effGetProgramName, 3), "Lead");
    EXPECT_EQ(display(host, 28), "-3.0");
    EXPECT_EQ(display(host, 4), "Triangle");

    TestHost other;
    ASSERT_NE(other.create(), nullptr);
    EXPECT_EQ(other.dispatch(effSetChunk, 1, 256, program.get()), 0);
    EXPECT_EQ(other.dispatch(effSetChunk, 1, 257, program.get()), 257);
    EXPECT_EQ(display(other, 28), "-3.0");

    // The whole bank, byte for byte, from one instance to the other.
    ASSERT_EQ(host.dispatch(effGetChunk, 0, 0, &data), 2570);
    std::unique_ptr<unsigned char[]> bank(new unsigned char[2570]);
    std::memcpy(bank.get(), data, 2570);
    EXPECT_EQ(other.dispatch(effSetChunk, 0, 2570, bank.get()), 2570);
    void* copy = nullptr;
    ASSERT_EQ(other.dispatch(effGetChunk, 0, 0, &copy), 2570);
    EXPECT_EQ(std::memcmp(copy, bank.get(), 2570), 0);
    EXPECT_EQ(text(other, effGetProgramNameIndexed, 3), "Lead");
}

// What a careless or unusual host may do through the record: null pointers, indexes outside the
// lists, odd lifecycle orders, both precisions with any supported layout and changing block sizes.
#include "tests/host/TestHost.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace OmbrelTest;

namespace {

const unsigned char kCanary = 0xA5;
const std::size_t kBufferBytes = 512;

struct Canary {
    unsigned char bytes[kBufferBytes];
    Canary() { std::memset(bytes, kCanary, sizeof bytes); }
    char* text() { return reinterpret_cast<char*>(bytes); }
    // A terminated text of at most limit characters, with nothing written past its terminator slot.
    ::testing::AssertionResult holdsTextWithin(std::size_t limit) const {
        std::size_t length = 0;
        while (length <= limit && bytes[length] != 0)
            ++length;
        if (length > limit)
            return ::testing::AssertionFailure() << "no terminator within " << limit + 1;
        for (std::size_t i = limit + 1; i < kBufferBytes; ++i)
            if (bytes[i] != kCanary)
                return ::testing::AssertionFailure() << "byte " << i << " written";
        return ::testing::AssertionSuccess();
    }
    bool untouched() const {
        for (unsigned char b : bytes)
            if (b != kCanary) return false;
        return true;
    }
};

// The opcodes that act on ptr, excluding effClose and effEditOpen (which opens a window).
const VstInt32 kPointerOpcodes[] = {effSetProgramName,
                                    effGetProgramName,
                                    effGetParamLabel,
                                    effGetParamDisplay,
                                    effGetParamName,
                                    effEditGetRect,
                                    effGetChunk,
                                    effSetChunk,
                                    effProcessEvents,
                                    effString2Parameter,
                                    effGetProgramNameIndexed,
                                    effGetInputProperties,
                                    effGetOutputProperties,
                                    effOfflineNotify,
                                    effOfflinePrepare,
                                    effOfflineRun,
                                    effProcessVarIo,
                                    effSetSpeakerArrangement,
                                    effGetEffectName,
                                    effGetVendorString,
                                    effGetProductString,
                                    effVendorSpecific,
                                    effCanDo,
                                    effGetParameterProperties,
                                    effGetMidiProgramName,
                                    effGetCurrentMidiProgram,
                                    effGetMidiProgramCategory,
                                    effGetMidiKeyName,
                                    effGetSpeakerArrangement,
                                    effShellGetNextPlugin,
                                    effBeginLoadBank,
                                    effBeginLoadProgram};

// Outside both the 29 parameters and the 10 programs.
const int kIndexes[] = {-1, 29, 1000, INT_MAX, INT_MIN};

// The bypassed output of one frame, as the effect maps channels.
double dryOut(int inputs, int outputs, int channel, double left, double right) {
    if (inputs == 2 && outputs == 1) return (left + right) * 0.5;
    return channel == 1 && inputs == 2 ? right : left;
}

void setLayout(TestHost& host, int inputs, int outputs) {
    VstSpeakerArrangement in{}, out{};
    in.numChannels = inputs;
    out.numChannels = outputs;
    ASSERT_EQ(host.dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out),
              1);
}

// Runs blocks of growing and shrinking sizes in one precision and layout, in place or not, and
// checks every output sample: equal to the dry mapping when bypassed, finite otherwise.
template <typename Sample>
void runBlocks(AEffect* e, int inputs, int outputs, bool inPlace, bool bypassed) {
    const int sizes[] = {1, 7, 512, 4096, 33, 1024, 2, 8192, 64, 3000};
    long position = 0;
    for (int frames : sizes) {
        std::vector<std::vector<Sample>> in(2, std::vector<Sample>(frames));
        std::vector<std::vector<Sample>> out(2, std::vector<Sample>(frames, Sample(7)));
        for (int i = 0; i < frames; ++i) {
            double t = static_cast<double>(position + i);
            in[0][i] = static_cast<Sample>(0.5 * std::sin(t * 0.0628));
            in[1][i] = static_cast<Sample>(0.25 * std::cos(t * 0.0314) + 1e-3);
        }
        std::vector<std::vector<Sample>> dry = in;
        Sample* ins[2] = {in[0].data(), in[1].data()};
        Sample* outs[2] = {out[0].data(), out[1].data()};
        if (inPlace) {
            outs[0] = ins[0];
            outs[1] = ins[1];
        }
        if constexpr (sizeof(Sample) == sizeof(float))
            e->processReplacing(e, ins, outs, frames);
        else
            e->processDoubleReplacing(e, ins, outs, frames);
        for (int k = 0; k < outputs; ++k) {
            for (int i = 0; i < frames; ++i) {
                Sample got = outs[k][i];
                ASSERT_TRUE(std::isfinite(static_cast<double>(got))) << frames << " " << i;
                if (!bypassed) continue;
                Sample want = static_cast<Sample>(
                    dryOut(inputs, outputs, k, dry[0][i], inputs == 2 ? dry[1][i] : 0));
                ASSERT_EQ(got, want) << "channel " << k << " frame " << i << " of " << frames;
            }
        }
        position += frames;
    }
}

} // namespace

TEST(Robustness, NullPointersOnEveryOpcodeThatTakesOne) {
    TestHost host;
    AEffect* e = host.create();
    ASSERT_NE(e, nullptr);
    for (VstInt32 opcode : kPointerOpcodes) {
        for (int index : {0, 5, -1})
            host.dispatch(opcode, index, 0, nullptr, 0);
    }
    // Both speaker arrangement pointers, one at a time.
    VstSpeakerArrangement arrangement{};
    arrangement.numChannels = 1;
    EXPECT_EQ(host.dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&arrangement),
                            nullptr),
              0);
    VstSpeakerArrangement* got = nullptr;
    EXPECT_EQ(host.dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&got)), 0);
    EXPECT_EQ(host.dispatch(effGetSpeakerArrangement, 0, 0, &got), 0);
    // Processing with missing buffers or missing channels.
    e->processReplacing(e, nullptr, nullptr, 64);
    e->processDoubleReplacing(e, nullptr, nullptr, 64);
    std::vector<float> buffer(64, 0.5f);
    float* none[2] = {nullptr, nullptr};
    float* some[2] = {buffer.data(), buffer.data()};
    e->processReplacing(e, none, some, 64);
    e->processReplacing(e, some, none, 64);
    e->process(e, some, some, 64);
    // The record's entry points with a null record, and the effect still answers afterwards.
    EXPECT_EQ(e->dispatcher(nullptr, effGetVendorVersion, 0, 0, nullptr, 0), 0);
    e->setParameter(nullptr, 0, 0.5f);
    EXPECT_EQ(e->getParameter(nullptr, 0), 0.0f);
    e->processReplacing(nullptr, some, some, 64);
    e->processDoubleReplacing(nullptr, nullptr, nullptr, 64);
    EXPECT_EQ(host.dispatch(effGetVendorVersion), 3100);
    EXPECT_EQ(host.close(), 1);
}

TEST(Robustness, IndexesOutsideTheListsReadAndWriteNothing) {
    TestHost host;
    AEffect* e = host.create();
    ASSERT_NE(e, nullptr);
    void* data = nullptr;
    ASSERT_EQ(host.dispatch(effGetChunk, 0, 0, &data), 2570);
    std::vector<unsigned char> before(static_cast<unsigned char*>(data),
                                      static_cast<unsigned char*>(data) + 2570);
    for (int index : kIndexes) {
        for (VstInt32 opcode : {effGetParamLabel, effGetParamDisplay, effGetParamName}) {
            Canary buffer;
            host.dispatch(opcode, index, 0, buffer.text());
            EXPECT_TRUE(buffer.holdsTextWithin(0)) << opcode << " " << index;
        }
        Canary name;
        host.dispatch(effGetProgramNameIndexed, index, 0, name.text());
        EXPECT_TRUE(name.holdsTextWithin(0)) << index;
        char typed[] = "0.5";
        host.dispatch(effString2Parameter, index, 0, typed);
        EXPECT_EQ(host.dispatch(effCanBeAutomated, index), 1);
        e->setParameter(e, index, 0.75f);
        EXPECT_EQ(e->getParameter(e, index), 0.0f);
        // Program numbers of 10 and more are ignored; negative ones keep the current program.
        host.dispatch(effSetProgram, 0, index);
        EXPECT_EQ(host.dispatch(effGetProgram), 0) << index;
        for (VstInt32 opcode :
             {effGetInputProperties, effGetOutputProperties, effGetParameterProperties,
              effGetMidiProgramName, effGetMidiProgramCategory, effGetMidiKeyName}) {
            Canary buffer;
            EXPECT_EQ(host.dispatch(opcode, index, 0, buffer.text()), 0) << opcode;
            EXPECT_TRUE(buffer.untouched()) << opcode;
        }
    }
    Canary eleventh;
    host.dispatch(effGetProgramNameIndexed, 10, 0, eleventh.text());
    EXPECT_TRUE(eleventh.holdsTextWithin(0));
    host.dispatch(effSetProgram, 0, 10);
    host.dispatch(effSetProgram, 0, static_cast<VstIntPtr>(LLONG_MAX));
    host.dispatch(effSetProgram, 0, static_cast<VstIntPtr>(LLONG_MIN));
    EXPECT_EQ(host.dispatch(effGetProgram), 0);
    ASSERT_EQ(host.dispatch(effGetChunk, 0, 0, &data), 2570);
    EXPECT_EQ(std::memcmp(before.data(), data, 2570), 0);
}

TEST(Robustness, TextsNeverExceedThePublishedLimits) {
    TestHost host;
    AEffect* e = host.create();
    ASSERT_NE(e, nullptr);
    // Programs with names of every length up to far beyond the limit, values at both ends.
    std::string longName(200, 'n');
    for (int program = 0; program < 10; ++program) {
        host.dispatch(effSetProgram, 0, program);
        std::string name = longName.substr(0, static_cast<std::size_t>(program * 5));
        host.dispatch(effSetProgramName, 0, 0, &name[0]);
        for (int i = 0; i < 29; ++i)
            e->setParameter(e, i, program % 2 ? 1.0f : 0.0f);
    }
    host.dispatch(effSetProgramName, 0, 0, &longName[0]);
    for (int program = 0; program < 10; ++program) {
        host.dispatch(effSetProgram, 0, program);
        for (int i = 0; i < 29; ++i) {
            for (VstInt32 opcode : {effGetParamLabel, effGetParamName}) {
                Canary buffer;
                host.dispatch(opcode, i, 0, buffer.text());
                EXPECT_TRUE(buffer.holdsTextWithin(kVstMaxParamStrLen)) << opcode << " " << i;
            }
            Canary display;
            host.dispatch(effGetParamDisplay, i, 0, display.text());
            EXPECT_TRUE(display.holdsTextWithin(32)) << i;
        }
        Canary current, indexed;
        host.dispatch(effGetProgramName, 0, 0, current.text());
        EXPECT_TRUE(current.holdsTextWithin(kVstMaxProgNameLen)) << program;
        host.dispatch(effGetProgramNameIndexed, program, 0, indexed.text());
        EXPECT_TRUE(indexed.holdsTextWithin(kVstMaxProgNameLen)) << program;
        EXPECT_STREQ(current.text(), indexed.text());
    }
    Canary name24;
    host.dispatch(effGetProgramName, 0, 0, name24.text());
    EXPECT_EQ(std::string(name24.text()), longName.substr(0, 24));
    const std::pair<VstInt32, std::size_t> identity[] = {
        {effGetEffectName, kVstMaxEffectNameLen},
        {effGetVendorString, kVstMaxVendorStrLen},
        {effGetProductString, kVstMaxProductStrLen}};
    for (const auto& [opcode, limit] : identity) {
        Canary buffer;
        EXPECT_EQ(host.dispatch(opcode, 0, 0, buffer.text()), 1);
        EXPECT_TRUE(buffer.holdsTextWithin(limit)) << opcode;
    }
    // Opcodes this effect does not serve leave the host's buffer alone.
    const VstInt32 unserved[] = {effShellGetNextPlugin, effGetErrorText, effGetVu};
    for (VstInt32 opcode : unserved) {
        Canary buffer;
        EXPECT_EQ(host.dispatch(opcode, 0, 0, buffer.text()), 0) << opcode;
        EXPECT_TRUE(buffer.untouched()) << opcode;
    }
}

TEST(Robustness, OddLifecycleOrdersAreHarmless) {
    TestHost host;
    AEffect* e = host.create();
    ASSERT_NE(e, nullptr);
    host.dispatch(effOpen);
    host.dispatch(effOpen);
    // Processing before any resume, after a suspend without resume, after two resumes.
    runBlocks<float>(e, 2, 2, false, false);
    host.dispatch(effMainsChanged, 0, 0);
    host.dispatch(effMainsChanged, 0, 0);
    runBlocks<float>(e, 2, 2, false, false);
    host.dispatch(effMainsChanged, 0, 1);
    host.dispatch(effMainsChanged, 0, 1);
    host.dispatch(effMainsChanged, 0, -1);
    runBlocks<double>(e, 2, 2, false, false);
    for (VstIntPtr size : {VstIntPtr(0), VstIntPtr(-5), VstIntPtr(1) << 30, VstIntPtr(64)})
        host.dispatch(effSetBlockSize, 0, size);
    host.dispatch(effStartProcess);
    host.dispatch(effStopProcess);
    host.dispatch(effStopProcess);
    EXPECT_EQ(host.dispatch(effSetTotalSampleToProcess, 0, 12345), 12345);
    host.dispatch(effEditClose);
    host.dispatch(effEditIdle);
    host.dispatch(effSetProcessPrecision, 0, 1);
    setLayout(host, 1, 2);
    runBlocks<float>(e, 1, 2, false, false);
    setLayout(host, 2, 2);

    // A session restore: parameters, resume, program, then the chunk, which wins.
    TestHost saved;
    AEffect* s = saved.create();
    ASSERT_NE(s, nullptr);
    saved.dispatch(effSetProgram, 0, 3);
    s->setParameter(s, 28, 0.3f);
    s->setParameter(s, 0, 0.2f);
    void* data = nullptr;
    VstIntPtr size = saved.dispatch(effGetChunk, 0, 0, &data);
    ASSERT_EQ(size, 2570);
    std::vector<unsigned char> chunk(static_cast<unsigned char*>(data),
                                     static_cast<unsigned char*>(data) + size);
    for (int i = 0; i < 29; ++i)
        e->setParameter(e, i, 0.9f);
    host.dispatch(effMainsChanged, 0, 1);
    host.dispatch(effSetProgram, 0, 3);
    EXPECT_EQ(host.dispatch(effSetChunk, 0, size, chunk.data()), size);
    host.dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(host.dispatch(effGetProgram), 3);
    for (int i = 0; i < 29; ++i)
        EXPECT_EQ(e->getParameter(e, i), s->getParameter(s, i)) << i;
    runBlocks<double>(e, 2, 2, false, false);
}

TEST(Robustness, BothPrecisionsEveryLayoutGrowingAndShrinkingBlocks) {
    const int layouts[4][2] = {{1, 1}, {1, 2}, {2, 1}, {2, 2}};
    for (const auto& layout : layouts) {
        for (bool inPlace : {false, true}) {
            if (inPlace && layout[0] != layout[1]) continue;
            SCOPED_TRACE(::testing::Message() << layout[0] << " in, " << layout[1] << " out"
                                              << (inPlace ? ", in place" : ""));
            TestHost host;
            AEffect* e = host.create();
            ASSERT_NE(e, nullptr);
            setLayout(host, layout[0], layout[1]);
            host.dispatch(effMainsChanged, 0, 1);
            runBlocks<float>(e, layout[0], layout[1], inPlace, false);
            runBlocks<double>(e, layout[0], layout[1], inPlace, false);
            host.dispatch(effSetBypass, 0, 1);
            runBlocks<float>(e, layout[0], layout[1], inPlace, true);
            runBlocks<double>(e, layout[0], layout[1], inPlace, true);
            host.dispatch(effSetBypass, 0, 0);
            runBlocks<double>(e, layout[0], layout[1], inPlace, false);
            runBlocks<float>(e, layout[0], layout[1], inPlace, false);
        }
    }
}

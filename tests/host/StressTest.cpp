// Threads as a host uses them: audio threads process blocks while a user-interface thread sets
// parameters, switches programs, reads texts and restores chunks; and automation on the audio
// thread while the user-interface thread reads, switches, restores and runs the commands. Built
// with OMBREL_TSAN this is the race check; elsewhere it still checks that the output stays finite
// and the state coherent.
#include "host/Ombrel.h"
#include "params/OmbrelParameters.h"
#include "tests/host/TestHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace OmbrelTest;

namespace {

const int kBlocks = 300;
const int kFrames = 256;

// Alternates single and double precision; counts the samples that were not finite.
void audioThread(AEffect* e, std::atomic<int>& bad, std::atomic<bool>& done) {
    std::vector<float> fl(kFrames), fr(kFrames), fol(kFrames), fori(kFrames);
    std::vector<double> dl(kFrames), dr(kFrames), dol(kFrames), dor(kFrames);
    long position = 0;
    for (int block = 0; block < kBlocks; ++block) {
        for (int i = 0; i < kFrames; ++i) {
            double t = static_cast<double>(position + i);
            dl[i] = 0.5 * std::sin(2 * 3.141592653589793 * 220 * t / 44100);
            dr[i] = 0.5 * std::sin(2 * 3.141592653589793 * 330 * t / 44100);
            fl[i] = static_cast<float>(dl[i]);
            fr[i] = static_cast<float>(dr[i]);
        }
        position += kFrames;
        int notFinite = 0;
        if (block % 2) {
            float* ins[2] = {fl.data(), fr.data()};
            float* outs[2] = {fol.data(), fori.data()};
            e->processReplacing(e, ins, outs, kFrames);
            for (int i = 0; i < kFrames; ++i)
                notFinite += !std::isfinite(fol[i]) + !std::isfinite(fori[i]);
        } else {
            double* ins[2] = {dl.data(), dr.data()};
            double* outs[2] = {dol.data(), dor.data()};
            e->processDoubleReplacing(e, ins, outs, kFrames);
            for (int i = 0; i < kFrames; ++i)
                notFinite += !std::isfinite(dol[i]) + !std::isfinite(dor[i]);
        }
        bad.fetch_add(notFinite, std::memory_order_relaxed);
    }
    done.store(true, std::memory_order_relaxed);
}

// One round of what an editor, an automation lane and a project restore do.
void userRound(TestHost& host, AEffect* e, int round, std::vector<unsigned char>& bank) {
    char text[64];
    int index = round % 29;
    e->setParameter(e, index, static_cast<float>((round * 37) % 101) / 100.0f);
    e->getParameter(e, (index + 7) % 29);
    host.dispatch(effGetParamDisplay, index, 0, text);
    host.dispatch(effGetParamName, index, 0, text);
    host.dispatch(effGetParamLabel, index, 0, text);
    std::snprintf(text, sizeof text, "%d", 100 + round % 900);
    host.dispatch(effString2Parameter, 0, 0, text);
    if (round % 5 == 0) host.dispatch(effSetProgram, 0, (round / 5) % 10);
    host.dispatch(effGetProgramName, 0, 0, text);
    host.dispatch(effGetProgramNameIndexed, round % 10, 0, text);
    if (round % 7 == 0) host.dispatch(effSetBypass, 0, (round / 7) % 2);
    if (round % 11 == 0) {
        void* data = nullptr;
        VstIntPtr size = host.dispatch(effGetChunk, 0, 0, &data);
        if (size > 0)
            bank.assign(static_cast<unsigned char*>(data),
                        static_cast<unsigned char*>(data) + size);
        host.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(bank.size()), bank.data());
        size = host.dispatch(effGetChunk, 1, 0, &data);
        std::vector<unsigned char> program(static_cast<unsigned char*>(data),
                                           static_cast<unsigned char*>(data) + size);
        host.dispatch(effSetChunk, 1, size, program.data());
    }
}

} // namespace

TEST(Stress, AudioThreadsRunWhileTheUserInterfaceChangesEverything) {
    TestHost hostA, hostB;
    AEffect* a = hostA.create();
    AEffect* b = hostB.create();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    for (TestHost* host : {&hostA, &hostB}) {
        host->dispatch(effSetBlockSize, 0, kFrames);
        host->dispatch(effMainsChanged, 0, 1);
    }

    std::atomic<int> badA{0}, badB{0};
    std::atomic<bool> doneA{false}, doneB{false};
    // Two instances on two audio threads share the random generator and the wave tables.
    std::thread audioA(audioThread, a, std::ref(badA), std::ref(doneA));
    std::thread audioB(audioThread, b, std::ref(badB), std::ref(doneB));
    std::vector<unsigned char> bank;
    int rounds = 0;
    while (!doneA.load(std::memory_order_relaxed) || rounds < 200)
        userRound(hostA, a, rounds++, bank);
    audioA.join();
    audioB.join();

    EXPECT_EQ(badA.load(), 0);
    EXPECT_EQ(badB.load(), 0);
    // The last changes stuck: the bank restored last reads back byte for byte.
    void* data = nullptr;
    ASSERT_EQ(hostA.dispatch(effGetChunk, 0, 0, &data), 2570);
    ASSERT_EQ(hostA.dispatch(effSetChunk, 0, 2570, bank.data()), 2570);
    ASSERT_EQ(hostA.dispatch(effGetChunk, 0, 0, &data), 2570);
    EXPECT_EQ(std::memcmp(data, bank.data(), 2570), 0);
}

namespace {

using Korvel::Ombrel;

VstIntPtr dispatch(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                   void* ptr = nullptr) {
    return e->dispatcher(e, opcode, index, value, ptr, 0);
}

// Every cell of a chunk is a value some writer set (all of them keep to 0..1) and every name is
// terminated within its field: a torn or half-copied record fails.
bool coherentRecords(const unsigned char* bytes, VstIntPtr size) {
    const int record = 25 + 8 * Korvel::kOmbrelParamCount;
    if (size <= 0 || size % record != 0) return false;
    for (VstIntPtr at = 0; at < size; at += record) {
        if (!std::memchr(bytes + at, 0, 25)) return false;
        for (int j = 0; j < Korvel::kOmbrelParamCount; ++j) {
            double v;
            std::memcpy(&v, bytes + at + 25 + 8 * j, sizeof v);
            if (!(v >= 0 && v <= 1)) return false;
        }
    }
    return true;
}

std::string displayText(AEffect* e, int index) {
    char text[64] = {};
    dispatch(e, effGetParamDisplay, index, 0, text);
    return text;
}

} // namespace

TEST(Stress, AutomationOnTheAudioThreadWhileTheUserInterfaceReadsSwitchesRestoresAndRuns) {
    std::unique_ptr<Ombrel> fx(Korvel::createEffect(nullptr, nullptr));
    ASSERT_NE(fx, nullptr);
    AEffect* e = fx->getAeffect();
    const int params = e->numParams;
    dispatch(e, effSetBlockSize, 0, kFrames);
    dispatch(e, effMainsChanged, 0, 1);

    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0}, blocks{0};
    // The host's audio thread: automation of every parameter before each block.
    std::thread audio([&] {
        std::vector<float> fl(kFrames), fr(kFrames), fol(kFrames), forr(kFrames);
        std::vector<double> dl(kFrames), dr(kFrames), dol(kFrames), dor(kFrames);
        for (int block = 0; !stop.load(std::memory_order_relaxed); ++block) {
            for (int j = 0; j < params; ++j)
                e->setParameter(e, j, static_cast<float>((block * 7 + j * 13) % 101) / 100.0f);
            for (int i = 0; i < kFrames; ++i) {
                dl[i] = 0.5 * std::sin(2 * 3.141592653589793 * 220 * (block * kFrames + i) / 44100);
                dr[i] = dl[i];
                fl[i] = fr[i] = static_cast<float>(dl[i]);
            }
            int notFinite = 0;
            if (block % 2) {
                float* ins[2] = {fl.data(), fr.data()};
                float* outs[2] = {fol.data(), forr.data()};
                e->processReplacing(e, ins, outs, kFrames);
                for (int i = 0; i < kFrames; ++i)
                    notFinite += !std::isfinite(fol[i]) + !std::isfinite(forr[i]);
            } else {
                double* ins[2] = {dl.data(), dr.data()};
                double* outs[2] = {dol.data(), dor.data()};
                e->processDoubleReplacing(e, ins, outs, kFrames);
                for (int i = 0; i < kFrames; ++i)
                    notFinite += !std::isfinite(dol[i]) + !std::isfinite(dor[i]);
            }
            bad.fetch_add(notFinite, std::memory_order_relaxed);
            blocks.fetch_add(1, std::memory_order_relaxed);
        }
    });

    // The host's user-interface thread, with an editor painting every control.
    int rounds = 0, incoherent = 0, outOfRange = 0;
    std::vector<unsigned char> bank, program;
    while (std::chrono::steady_clock::now() < end || rounds < 50 ||
           blocks.load(std::memory_order_relaxed) < 50) {
        char text[64], unitText[64];
        for (int j = 0; j < params; ++j) {
            dispatch(e, effGetParamDisplay, j, 0, text);
            dispatch(e, effGetParamName, j, 0, text);
            dispatch(e, effGetParamLabel, j, 0, text);
            fx->parameterDisplayWithUnit(j, unitText, sizeof unitText);
            double v = fx->parameterValue(j), q = fx->parameterQuantised(j);
            // The real value may be infinite (a level of 0 is -Inf dB), never NaN.
            outOfRange +=
                !(v >= 0 && v <= 1) + !(q >= 0 && q <= 1) + std::isnan(fx->parameterReal(j));
        }
        for (int p = 0; p < 10; ++p)
            dispatch(e, effGetProgramNameIndexed, p, 0, text);
        dispatch(e, effSetProgram, 0, rounds % 10);
        dispatch(e, effGetProgramName, 0, 0, text);
        if (rounds % 3 == 0) fx->runCommand(Korvel::kCommandRandom);
        if (rounds % 4 == 0) fx->runCommand(Korvel::kCommandAutoLevel);
        void* data = nullptr;
        VstIntPtr size = dispatch(e, effGetChunk, 0, 0, &data);
        incoherent += !coherentRecords(static_cast<unsigned char*>(data), size);
        bank.assign(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
        size = dispatch(e, effGetChunk, 1, 0, &data);
        incoherent += !coherentRecords(static_cast<unsigned char*>(data), size);
        program.assign(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
        dispatch(e, effSetChunk, 1, static_cast<VstIntPtr>(program.size()), program.data());
        if (rounds % 5 == 0)
            dispatch(e, effSetChunk, 0, static_cast<VstIntPtr>(bank.size()), bank.data());
        ++rounds;
    }
    stop.store(true, std::memory_order_relaxed);
    audio.join();

    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(incoherent, 0);
    EXPECT_EQ(outOfRange, 0);
    // Texts follow the values whatever interleaved: a fresh instance given the final bank shows
    // the same text for every parameter of every program.
    void* data = nullptr;
    ASSERT_EQ(dispatch(e, effGetChunk, 0, 0, &data), 2570);
    std::vector<unsigned char> last(static_cast<unsigned char*>(data),
                                    static_cast<unsigned char*>(data) + 2570);
    std::unique_ptr<Ombrel> fresh(Korvel::createEffect(nullptr, nullptr));
    ASSERT_NE(fresh, nullptr);
    AEffect* f = fresh->getAeffect();
    ASSERT_EQ(dispatch(f, effSetChunk, 0, 2570, last.data()), 2570);
    for (int p = 0; p < 10; ++p) {
        dispatch(e, effSetProgram, 0, p);
        dispatch(f, effSetProgram, 0, p);
        for (int j = 0; j < params; ++j)
            ASSERT_EQ(displayText(e, j), displayText(f, j)) << p << " " << j;
    }
}

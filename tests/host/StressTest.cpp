// Threads as a host uses them: audio threads process blocks while a user-interface thread sets
// parameters, switches programs, reads texts and restores chunks. Built with OMBREL_TSAN this is
// the race check; elsewhere it still checks that the output stays finite and the state coherent.
#include "tests/host/TestHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
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

// Once the host has announced its block size, processing allocates nothing: every operator new
// in the process is counted while the hook is armed (the plug-in's own calls bind to these). The
// hook can also fail one armed allocation, to drive every failure path of creation and set-up.
#include "params/OmbrelParameters.h"
#include "tests/host/TestHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

namespace {
std::atomic<bool> gArmed{false};
std::atomic<int> gAllocations{0};
std::atomic<int> gFailAt{0}; // the armed allocation that fails, counted from 1; 0 fails none
std::atomic<long> gLive{0};  // blocks allocated and not yet freed, armed or not

// Null when this armed allocation is the one to fail.
void* take(std::size_t size) {
    if (gArmed.load(std::memory_order_relaxed) &&
        gAllocations.fetch_add(1) + 1 == gFailAt.load(std::memory_order_relaxed))
        return nullptr;
    void* p = std::malloc(size ? size : 1);
    if (p) gLive.fetch_add(1);
    return p;
}

void* counted(std::size_t size) {
    if (void* p = take(size)) return p;
    throw std::bad_alloc();
}

void release(void* p) {
    if (p) gLive.fetch_sub(1);
    std::free(p);
}
} // namespace

void* operator new(std::size_t size) {
    return counted(size);
}
void* operator new[](std::size_t size) {
    return counted(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return take(size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept {
    release(p);
}
void operator delete[](void* p) noexcept {
    release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    release(p);
}

using namespace OmbrelTest;

TEST(Allocation, ProcessingAllocatesNothingAfterTheBlockSizeIsKnown) {
    TestHost host;
    AEffect* e = host.create();
    ASSERT_NE(e, nullptr);
    host.dispatch(effSetBlockSize, 0, 1024);
    host.dispatch(effMainsChanged, 0, 1);

    std::vector<float> l(1024), r(1024), ol(1024), orr(1024);
    std::vector<double> dl(1024), dr(1024), dol(1024), dor(1024);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    double* din[2] = {dl.data(), dr.data()};
    double* dout[2] = {dol.data(), dor.data()};
    gArmed = true;
    for (int block = 0; block < 200; ++block) {
        for (int i = 0; i < 1024; ++i) {
            double t = (block * 1024 + i) / 44100.0;
            l[i] = r[i] = static_cast<float>(0.5 * std::sin(2 * 3.141592653589793 * 220 * t));
            dl[i] = dr[i] = l[i];
        }
        int frames = 1024 - (block % 3) * 100;
        e->processReplacing(e, in, out, frames);
        e->processDoubleReplacing(e, din, dout, frames);
        host.dispatch(effSetBypass, 0, block % 50 == 0);
    }
    gArmed = false;
    EXPECT_EQ(gAllocations.load(), 0);
    // The tone was really played, so the engine's note paths ran too.
    EXPECT_GT(std::fabs(ol[500]) + std::fabs(ol[501]), 0.0f);
}

namespace {
// Creates an effect with armed allocation failAt failing (0: none); answers the entry's effect and,
// through allocations, how many allocations the creation asked for.
AEffect* createFailing(TestHost& host, int failAt, int* allocations = nullptr) {
    gAllocations = 0;
    gFailAt = failAt;
    gArmed = true;
    AEffect* e = host.create();
    gArmed = false;
    gFailAt = 0;
    if (allocations) *allocations = gAllocations.load();
    return e;
}
} // namespace

TEST(Allocation, EveryFailedAllocationOfCreationAnswersNullAndLeaksNothing) {
    TestHost host;
    // Cold: the first creations also build the tables every instance shares, which stay for the
    // process (LeakSanitizer checks these runs in the sanitizer build).
    int n = 1;
    while (createFailing(host, n) == nullptr) {
        ASSERT_LT(n, 100000) << "creation never succeeds";
        ++n;
    }
    host.close();
    ASSERT_GT(n, 1) << "the hook failed nothing: the plug-in does not use this operator new";

    // Warm: each failure must give back every block the attempt took.
    int total = 0;
    ASSERT_NE(createFailing(host, 0, &total), nullptr);
    host.close();
    for (int k = 1; k <= total; ++k) {
        long live = gLive.load();
        EXPECT_EQ(createFailing(host, k), nullptr) << "allocation " << k << " of " << total;
        EXPECT_EQ(gLive.load(), live) << "allocation " << k << " of " << total;
        host.close();
    }
}

// A failed allocation in a host call answers as a failure and changes nothing: the speaker
// arrangement stays, and a block longer than the scratch that could not grow goes through the
// old one in pieces, giving what one piece gives (the shared generator's noise floor aside), with
// the transport's LFO sync at the block's start only and without allocating.
TEST(Allocation, FailedGrowthLeavesAWorkingEffect) {
    constexpr int kFrames = 4096;
    constexpr double kRate = 44100;
    VstTimeInfo time{};
    time.sampleRate = kRate;
    time.tempo = 120;
    time.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid;
    HostAnswers answers;
    answers.timeInfo = &time;

    TestHost failed, grown;
    AEffect* a = failed.create(answers);
    AEffect* b = grown.create(answers);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    for (AEffect* e : {a, b}) {
        e->setParameter(e, Korvel::kLfoDepth, 1.0f);
        e->setParameter(e, Korvel::kLfoPhase, 0.3f);
    }

    VstSpeakerArrangement mono{}, stereo{};
    mono.numChannels = 1;
    stereo.numChannels = 2;
    gAllocations = 0;
    gFailAt = 1;
    gArmed = true;
    VstIntPtr accepted =
        failed.dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&mono), &stereo);
    gAllocations = 0;
    failed.dispatch(effSetBlockSize, 0, kFrames);
    int scratchAllocations = gAllocations.load();
    gArmed = false;
    gFailAt = 0;
    EXPECT_EQ(accepted, 0);
    EXPECT_EQ(scratchAllocations, 1);
    VstSpeakerArrangement* in = nullptr;
    VstSpeakerArrangement* out = nullptr;
    failed.dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(in->numChannels, 2);

    grown.dispatch(effSetBlockSize, 0, kFrames);
    failed.dispatch(effMainsChanged, 0, 1);
    grown.dispatch(effMainsChanged, 0, 1);

    std::vector<float> l(kFrames), r(kFrames), al(kFrames), ar(kFrames), bl(kFrames), br(kFrames);
    float* ins[2] = {l.data(), r.data()};
    float* aOut[2] = {al.data(), ar.data()};
    float* bOut[2] = {bl.data(), br.data()};
    double worst = 0, loudest = 0;
    for (int block = 0; block < 24; ++block) {
        for (int i = 0; i < kFrames; ++i) {
            double t = (block * kFrames + i) / kRate;
            l[i] = r[i] = static_cast<float>(0.5 * std::sin(2 * 3.141592653589793 * 220 * t));
        }
        time.samplePos = block * kFrames;
        time.ppqPos = time.samplePos / kRate * time.tempo / 60;
        gAllocations = 0;
        gArmed = true;
        a->processReplacing(a, ins, aOut, kFrames);
        gArmed = false;
        EXPECT_EQ(gAllocations.load(), 0) << "block " << block;
        b->processReplacing(b, ins, bOut, kFrames);
        for (int i = 0; i < kFrames; ++i) {
            worst = std::fmax(worst, std::fabs(al[i] - bl[i]) + std::fabs(ar[i] - br[i]));
            loudest = std::fmax(loudest, std::fabs(bl[i]));
        }
    }
    EXPECT_GT(loudest, 0.01);
    EXPECT_LT(worst, 1e-5);
}

// Once the host has announced its block size, processing allocates nothing: every operator new
// in the process is counted while the hook is armed (the plug-in's own calls bind to these).
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

void* counted(std::size_t size) {
    if (gArmed.load(std::memory_order_relaxed)) gAllocations.fetch_add(1);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
} // namespace

void* operator new(std::size_t size) {
    return counted(size);
}
void* operator new[](std::size_t size) {
    return counted(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (gArmed.load(std::memory_order_relaxed)) gAllocations.fetch_add(1);
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
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

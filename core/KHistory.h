// KHistory: a ring of minimum/maximum pairs of two signals, one entry per block of samples, the
// value type of history display sources. The effect adds samples on its audio thread; wave
// displays read entries on the user-interface thread, so every cell that both touch is a relaxed
// atomic (a display may show an entry that is being overwritten, never undefined behaviour).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace Korvel {

class KHistory {
public:
    struct Entry {
        double min1 = 0.0;
        double max1 = 0.0;
        double min2 = 0.0;
        double max2 = 0.0;
    };

    KHistory() = default;
    KHistory(const KHistory&) = delete;
    KHistory& operator=(const KHistory&) = delete;

    // [ui] Sizes the ring to n entries (reallocating only when n changes; n below 0 counts as 0)
    // spanning rate x seconds samples, and clears it. Allocates and frees: call it only while
    // nothing adds or reads entries (set-up, a sample-rate change with the audio stopped, the
    // editor closed or on the same thread as its paint).
    void setUp(double rate, double seconds, int n);
    // [ui] Clears the ring without reallocating; while nothing adds.
    void reset();
    // [audio] Feeds one sample of each signal; never allocates.
    void add(double first, double second);

    // [any] Capacity of the ring.
    int size() const { return n_; }
    // [any] Samples folded into one entry.
    int samplesPerEntry() const { return samplesPerEntry_; }
    // [any] Entries stored since set-up (wraps): changes whenever a new entry lands.
    std::uint32_t written() const { return written_.load(std::memory_order_acquire); }
    // [any] The i-th newest entry (0 = the latest stored); zeros for i outside 0..size()-1.
    Entry entry(int i) const;

private:
    struct Cell {
        std::atomic<double> value{0.0};
    };

    void clear();

    int n_ = 0;
    std::unique_ptr<Cell[]> min1_, max1_, min2_, max2_;
    std::atomic<int> position_{0};
    // Running block, touched only by add.
    double runMin1_ = 0.0, runMax1_ = 0.0, runMin2_ = 0.0, runMax2_ = 0.0;
    int samplesPerEntry_ = 1;
    int samplesInBlock_ = 0;
    std::atomic<std::uint32_t> written_{0};
};

} // namespace Korvel

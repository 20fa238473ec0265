#include "core/KHistory.h"

#include <cfloat>
#include <cmath>

namespace Korvel {

void KHistory::setUp(double rate, double seconds, int n) {
    if (n < 0) n = 0;
    if (n != n_) {
        n_ = n;
        if (n > 0) {
            min1_.reset(new Cell[static_cast<std::size_t>(n)]);
            max1_.reset(new Cell[static_cast<std::size_t>(n)]);
            min2_.reset(new Cell[static_cast<std::size_t>(n)]);
            max2_.reset(new Cell[static_cast<std::size_t>(n)]);
        } else {
            min1_.reset();
            max1_.reset();
            min2_.reset();
            max2_.reset();
        }
    }
    samplesPerEntry_ = 1;
    if (n > 0) {
        double span = rate * seconds / n;
        // A block shorter than one sample (or a nonsensical span) folds each sample alone.
        if (std::isfinite(span) && span >= 1.0 && span < 2147483647.0)
            samplesPerEntry_ = static_cast<int>(span);
    }
    clear();
}

void KHistory::reset() {
    clear();
}

void KHistory::clear() {
    for (int i = 0; i < n_; ++i) {
        min1_[i].value.store(0.0, std::memory_order_relaxed);
        max1_[i].value.store(0.0, std::memory_order_relaxed);
        min2_[i].value.store(0.0, std::memory_order_relaxed);
        max2_[i].value.store(0.0, std::memory_order_relaxed);
    }
    runMin1_ = runMin2_ = DBL_MAX;
    runMax1_ = runMax2_ = -DBL_MAX;
    position_.store(0, std::memory_order_relaxed);
    samplesInBlock_ = 0;
    written_.store(0, std::memory_order_release);
}

void KHistory::add(double first, double second) {
    if (n_ <= 0) return;
    if (first < runMin1_) runMin1_ = first;
    if (first > runMax1_) runMax1_ = first;
    if (second < runMin2_) runMin2_ = second;
    if (second > runMax2_) runMax2_ = second;
    if (++samplesInBlock_ < samplesPerEntry_) return;

    int at = position_.load(std::memory_order_relaxed);
    min1_[at].value.store(runMin1_, std::memory_order_relaxed);
    max1_[at].value.store(runMax1_, std::memory_order_relaxed);
    min2_[at].value.store(runMin2_, std::memory_order_relaxed);
    max2_[at].value.store(runMax2_, std::memory_order_relaxed);
    position_.store(at + 1 >= n_ ? 0 : at + 1, std::memory_order_relaxed);
    written_.fetch_add(1, std::memory_order_release);
    // Later blocks restart at the single-precision extremes, as the history always has.
    runMin1_ = runMin2_ = FLT_MAX;
    runMax1_ = runMax2_ = -static_cast<double>(FLT_MAX);
    samplesInBlock_ = 0;
}

KHistory::Entry KHistory::entry(int i) const {
    Entry e;
    if (i < 0 || i >= n_) return e;
    int index = position_.load(std::memory_order_relaxed) - i - 1;
    if (index < 0) index += n_;
    e.min1 = min1_[index].value.load(std::memory_order_relaxed);
    e.max1 = max1_[index].value.load(std::memory_order_relaxed);
    e.min2 = min2_[index].value.load(std::memory_order_relaxed);
    e.max2 = max2_[index].value.load(std::memory_order_relaxed);
    return e;
}

} // namespace Korvel

#include "dsp/PitchDetector.h"

#include <algorithm>
#include <cmath>

namespace Korvel {

namespace {

constexpr int kMaxCount = 23;
constexpr int kBurstIndex = 7;
constexpr double kFilterQ = 0.7079457843841379;
constexpr double kMaxAdmissible = 0.15;
constexpr double kInWindowWeight = 0.2;
// Counters that run while nothing happens (ages, silence, confirmation count) stop here instead
// of overflowing after hours; every length they are compared with is far smaller.
constexpr int kSaturation = 1 << 30;

int trunc32(double v) {
    return static_cast<int>(v);
}
int round32(double v) {
    return trunc32(v + 0.5);
}
int saturatingIncrement(int v) {
    return v < kSaturation ? v + 1 : v;
}

double clampFrequency(double hz) {
    if (!(hz >= 15)) hz = 15; // also catches NaN
    if (hz > 2200) hz = 2200;
    return hz;
}

} // namespace

PitchDetector::PitchDetector() {
    setSampleRate(44100);
}

void PitchDetector::setSampleRate(double sampleRate) {
    // Rates outside what any host uses would leave the filter unstable or the ring absurd.
    if (!std::isfinite(sampleRate)) sampleRate = 44100;
    sampleRate = std::clamp(sampleRate, 8000.0, 768000.0);
    sampleRate_ = sampleRate;
    int maxPeriod = round32(sampleRate / 15);
    auto length = static_cast<std::size_t>(trunc32(2 * maxPeriod + 1.5));
    if (length > history_.size()) history_.assign(length, 0.0);
    minSpan_ = round32(2 * sampleRate / 2200);
    maxSpan_ = round32(2 * sampleRate / 15);
    lowpass_.setSampleRate(sampleRate);
    lowpass_.designLowPass(3300, kFilterQ);
    gate_ = 0.001;
    burstAge_ = trunc32(7 * sampleRate / 2400);
    diffStep_ = trunc32(sampleRate * 0.0001) + 1;
    diffWindow_ = round32(sampleRate * 0.005);
    weightExponent_ = -std::log(0.6) / std::log(2.0);
    confirmPeriods_ = 2;
    holdPeriods_ = 2;
    reset();
    resetConfirmation();
}

void PitchDetector::setMinFreq(double hz) {
    maxSpan_ = round32(2 * sampleRate_ / clampFrequency(hz));
}

void PitchDetector::setMaxFreq(double hz) {
    hz = clampFrequency(hz);
    minSpan_ = round32(2 * sampleRate_ / hz);
    lowpass_.designLowPass(1.5 * hz, kFilterQ);
}

void PitchDetector::setGate(double dB) {
    gate_ = std::pow(10.0, 0.05 * dB);
}

void PitchDetector::setSpeed(int periods) {
    // Far beyond any useful count, and small enough that no period product overflows.
    periods = std::clamp(periods, -10000, 10000);
    confirmPeriods_ = periods < 3 ? 2 : periods;
    holdPeriods_ = 2 * periods <= 0 ? 1 : 2 * periods;
}

void PitchDetector::reset() {
    std::fill(history_.begin(), history_.end(), 0.0);
    lowpass_.clear();
    previous_ = 0;
    period_ = 0;
    evidence_ = 0;
    lastSpan_ = windowHold_ = windowLo_ = windowHi_ = 0;
    for (CrossingList* list : {&rising_, &falling_}) {
        for (int k = 0; k < kListSize; ++k)
            list->age[k] = burstAge_ + k;
        list->count = 0;
    }
    silence_ = 0;
}

void PitchDetector::resetConfirmation() {
    pending_ = 0;
    confirmed_ = 0;
    counter_ = 0;
    countdown_ = 0;
}

std::size_t PitchDetector::memoryBytes() const {
    return sizeof(*this) + history_.capacity() * sizeof(double);
}

double PitchDetector::x(long k) const {
    long n = static_cast<long>(history_.size());
    return history_[static_cast<std::size_t>(((writePos_ - k) % n + n) % n)];
}

double PitchDetector::difference(int span) const {
    int h = span / 2;
    int n = std::max(diffWindow_, h) / diffStep_;
    double s = 0, pu = 0, pv = 0;
    for (int t = 0; t < n; ++t) {
        int k = t * diffStep_;
        double u = x(k);
        double v = (span % 2 == 0) ? x(h + k) : (x(h + k) + x(h + k + 1)) / 2;
        s += std::fabs(u - v);
        pu = std::max(pu, std::fabs(u));
        pv = std::max(pv, std::fabs(v));
    }
    if (pu >= gate_ && pv >= gate_) return s / (std::max(pu, pv) * n);
    return 999;
}

void PitchDetector::consider(int span, int& best, double& bestScore, bool& bestInWindow) const {
    double d = difference(span);
    if (!(d <= kMaxAdmissible)) return;
    bool inWindow = windowLo_ <= span && span <= windowHi_;
    double w = inWindow ? kInWindowWeight : 1.0;
    double score = d * w * std::pow(span / 2.0, weightExponent_);
    if (score < bestScore) {
        best = span;
        bestScore = score;
        bestInWindow = inWindow;
    }
}

void PitchDetector::analyse(CrossingList& list) {
    int* age = list.age;
    for (int k = kListSize - 1; k >= 1; --k)
        age[k] = age[k - 1];
    age[0] = 0;
    if (list.count < kMaxCount) ++list.count;
    int m = list.count;

    int best = 0;
    double bestScore = 999;
    bool bestInWindow = false;
    for (int i = 2; i <= m - 1; ++i) {
        int a = age[i];
        if (a > maxSpan_) break;
        if (!(a >= minSpan_ && a > silence_)) continue;
        // A crossing of the same direction near the midpoint: within a quarter semitone.
        int lo = round32(0.9715319411536059 * a / 2);
        int hi = round32(1.029302236643492 * a / 2);
        for (int j = 1; j <= i - 1; ++j) {
            if (lo <= age[j] && age[j] <= hi) {
                consider(a, best, bestScore, bestInWindow);
                break;
            }
        }
    }
    if (!bestInWindow && silence_ < lastSpan_) {
        int to = std::min(lastSpan_ + 3, windowHi_);
        for (int a = std::max(lastSpan_ - 3, windowLo_); a <= to; ++a)
            consider(a, best, bestScore, bestInWindow);
    }
    if (!bestInWindow) {
        int h = best / 2;
        if (silence_ < h && minSpan_ <= h) {
            for (int a = std::max(h - 2, minSpan_); a <= h + 2; ++a)
                consider(a, best, bestScore, bestInWindow);
        }
    }
    if (best <= 0) return;

    // Locate both crossings between their samples; two zero samples give no slope to follow.
    double g = x(best);
    double g1 = x(best + 1);
    double l = best;
    if (!(g * g1 > 0 || g == g1)) l = best + g / (g - g1) - x(0) / (x(0) - x(1));
    lastSpan_ = best;
    period_ = l / 2;
    evidence_ = best / 2 + std::max(diffWindow_, best / 2);
    windowLo_ = round32(0.9857659705768029 * l);
    windowHi_ = round32(1.014651118321746 * l);
    windowHold_ = windowHi_;
    int keep = 0;
    while (keep < m && age[keep] < best)
        ++keep;
    list.count = keep;
}

void PitchDetector::process(double sample) {
    if (pending_ > 0) {
        counter_ = saturatingIncrement(counter_);
        if (--countdown_ < 1) {
            pending_ = confirmed_ = 0;
            counter_ = countdown_ = 0;
        }
    }
    // A non-finite sample would stay in the filter and the history for good: take it as silence.
    if (!std::isfinite(sample)) sample = 0;
    double y = lowpass_.process(sample);
    if (!std::isfinite(y)) { // only from inputs near the largest double
        lowpass_.clear();
        y = 0;
    }
    writePos_ = (writePos_ + 1) % static_cast<long>(history_.size());
    history_[static_cast<std::size_t>(writePos_)] = y;
    for (CrossingList* list : {&rising_, &falling_})
        for (int k = 0; k < kListSize; ++k)
            list->age[k] = saturatingIncrement(list->age[k]);
    if (windowHold_ > 0 && --windowHold_ == 0) lastSpan_ = windowLo_ = windowHi_ = 0;
    // Crossings denser than eight per burst age are noise, not pitch.
    if (rising_.age[kBurstIndex] <= burstAge_ || falling_.age[kBurstIndex] <= burstAge_)
        rising_.count = falling_.count = 0;
    if (-gate_ < y && y < gate_)
        silence_ = saturatingIncrement(silence_);
    else
        silence_ = 0;
    period_ = 0;
    evidence_ = 0;
    if (previous_ <= 0 && y > 0)
        analyse(rising_);
    else if (previous_ >= 0 && y < 0)
        analyse(falling_);
    previous_ = y;

    if (period_ > 0) {
        double p = period_;
        int hold = round32(p * holdPeriods_ * 1.0028922878693671);
        if (pending_ == 0) {
            pending_ = p;
            countdown_ = hold;
            counter_ = evidence_;
        } else {
            double r = std::max(p / pending_, pending_ / p);
            pending_ = p;
            countdown_ = hold;
            if (r >= 1.029302236643492) counter_ = evidence_; // a quarter semitone: a new note
        }
    }
    if (pending_ > 0 && trunc32(pending_ * confirmPeriods_) <= counter_) confirmed_ = pending_;
}

} // namespace Korvel

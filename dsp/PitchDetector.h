// Follows the pitch of a monophonic signal one sample at a time and reports a confirmed period.
//
// Zero crossings of a low-passed copy of the input propose candidate spans (two periods); an
// average magnitude difference between the signal and itself one period earlier tests them, a
// weighting prefers short spans and the one tracked recently, and a confirmation stage reports a
// pitch only once it has stayed stable for "Speed" periods.
//
// Threads: setSampleRate runs on the set-up thread while no audio runs (it may allocate). Every
// other call runs on the audio thread, or is otherwise serialised with process() by the caller,
// and never allocates.
#pragma once

#include "dsp/Biquad.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Korvel {

class PitchDetector {
public:
    PitchDetector();

    void setSampleRate(double sampleRate);
    void setMinFreq(double hz);
    void setMaxFreq(double hz);
    void setGate(double dB);
    void setSpeed(int periods);
    // Analysis state: history, filter, crossings, tracking window.
    void reset();
    // Pending and confirmed pitch with their clocks.
    void resetConfirmation();
    inline void process(double sample);

    // In samples; 0 when no pitch is confirmed.
    double confirmedPeriod() const { return confirmed_; }
    // This sample's analysis result, 0 when it found nothing, and the samples it covered.
    double period() const { return period_; }
    int evidence() const { return evidence_; }
    std::size_t memoryBytes() const;

private:
    static constexpr int kListSize = 24;
    static constexpr int kBlockShift = 5; // peak blocks of 32 samples
    static constexpr int kScoreCacheSize = 64;

    // Crossings of one direction, newest first, kept as sample times so that they age for free.
    struct CrossingList {
        std::int64_t time[kListSize];
        int count;
    };
    struct Candidate;

    double x(std::int64_t k) const;
    double difference(int span);
    double slowDifference(int span) const;
    double scoreWeight(int span);
    void consider(int span, Candidate& best);
    void analyse(CrossingList& list);
    void prepareAnalysis();
    void updateBurstEnd();
    void resetRing();

    // Touched every sample.
    Biquad lowpass_;
    double* ring_ = nullptr; // history, each sample stored twice: ring_[pos] and ring_[pos + len]
    int ringLength_ = 0;
    int ringPos_ = 0;
    std::int64_t now_ = 0; // samples processed since construction
    double gate_ = 0;
    double previous_ = 0;
    double period_ = 0;
    int evidence_ = 0;
    int silence_ = 0;
    double pending_ = 0;
    double confirmed_ = 0;
    int counter_ = 0;
    int countdown_ = 0;
    int confirmThreshold_ = 0; // trunc(pending * confirmPeriods)
    std::int64_t windowExpiry_ = 0;
    std::int64_t burstEnd_ = 0; // crossings are too dense up to this sample
    double blockPeak_ = 0;      // peak of the current block so far
    double* blockPeaks_ = nullptr;
    int blockMask_ = 0;

    // Settings and tracking.
    double sampleRate_ = 0;
    double weightExponent_ = 0;
    int minSpan_ = 0;
    int maxSpan_ = 0;
    int lastSpan_ = 0;
    int windowLo_ = 0;
    int windowHi_ = 0;
    int burstAge_ = 0;
    int diffStep_ = 0;
    int diffWindow_ = 0;
    int confirmPeriods_ = 2;
    int holdPeriods_ = 2;
    CrossingList rising_{};
    CrossingList falling_{};

    // Per analysis: the newest sample, prefix peaks of the difference's first operand and of the
    // history by blocks, each filled only as far as a candidate needs.
    const double* newest_ = nullptr;
    int firstPeaksDone_ = 0;
    int blockBoundsDone_ = 0;

    int scoreSpan_[kScoreCacheSize];
    double scorePower_[kScoreCacheSize];

    std::vector<double> ringStore_;
    std::vector<double> blockStore_;
    std::vector<double> firstPeaks_;
    std::vector<double> blockBounds_;
};

inline void PitchDetector::process(double sample) {
    if (pending_ > 0) {
        counter_ += counter_ < (1 << 30); // saturates instead of overflowing after hours
        if (--countdown_ < 1) {
            pending_ = confirmed_ = 0;
            counter_ = countdown_ = confirmThreshold_ = 0;
        }
    }
    // A non-finite sample would stay in the filter and the history for good: take it as silence.
    // Beyond 1e300 the filter's sums could overflow; no audio comes near.
    if (!(std::fabs(sample) <= 1e300))
        sample = std::isfinite(sample) ? std::copysign(1e300, sample) : 0;
    double y = lowpass_.process(sample);

    ++now_;
    if (++ringPos_ == ringLength_) ringPos_ = 0;
    ring_[ringPos_] = y;
    ring_[ringPos_ + ringLength_] = y;
    double magnitude = std::fabs(y);
    if (magnitude > blockPeak_) blockPeak_ = magnitude;
    if ((now_ & ((1 << kBlockShift) - 1)) == (1 << kBlockShift) - 1) {
        blockPeaks_[(now_ >> kBlockShift) & blockMask_] = blockPeak_;
        blockPeak_ = 0;
    }

    if (now_ == windowExpiry_) {
        lastSpan_ = windowLo_ = windowHi_ = 0;
        windowExpiry_ = INT64_MAX;
    }
    // Crossings denser than eight per burst age are noise, not pitch.
    if (now_ <= burstEnd_) rising_.count = falling_.count = 0;
    if (magnitude < gate_)
        silence_ += silence_ < (1 << 30);
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
        int hold = static_cast<int>(p * holdPeriods_ * 1.0028922878693671 + 0.5);
        if (pending_ == 0) {
            counter_ = evidence_;
        } else {
            double r = std::max(p / pending_, pending_ / p);
            if (r >= 1.029302236643492) counter_ = evidence_; // a quarter semitone: a new note
        }
        pending_ = p;
        countdown_ = hold;
        confirmThreshold_ = static_cast<int>(pending_ * confirmPeriods_);
    }
    if (pending_ > 0 && confirmThreshold_ <= counter_) confirmed_ = pending_;
}

} // namespace Korvel

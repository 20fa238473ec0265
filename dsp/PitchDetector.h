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
#include "dsp/EngineKernels.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Korvel {

class PitchDetector {
public:
    PitchDetector();
    // Its pointers lead into its own storage.
    PitchDetector(const PitchDetector&) = delete;
    PitchDetector& operator=(const PitchDetector&) = delete;

    void setSampleRate(double sampleRate);
    void setMinFreq(double hz);
    void setMaxFreq(double hz);
    void setGate(double dB);
    void setSpeed(int periods);
    // Analysis state: history, filter, crossings, tracking window.
    void reset();
    // Pending and confirmed pitch with their clocks.
    void resetConfirmation();
    void process(double sample);
    // n samples, as n calls of process(); confirmed[i] is confirmedPeriod() after sample i.
    // Returns whether that stayed what it was before the block throughout.
    // marks, when not -1, are the kernels' inputMarks of the whole block, taken with the samples.
    bool processBlock(const double* samples, int n, double* confirmed, int marks = -1);

    // In samples; 0 when no pitch is confirmed.
    double confirmedPeriod() const { return confirmed_; }
    // This sample's analysis result, 0 when it found nothing, and the samples it covered.
    double period() const { return publishedAt_ == now_ ? period_ : 0; }
    int evidence() const { return publishedAt_ == now_ ? evidence_ : 0; }
    std::size_t memoryBytes() const;
    // The kernels of the difference measure and the piece (engineKernels() to begin with).
    void useKernels(const EngineKernels& kernels);

private:
    static constexpr int kListSize = 24;
    // Samples filtered ahead of the analyses in one piece of a block; the history holds this
    // many more than its length, so that writing ahead never reaches what an analysis reads.
    static constexpr int kPiece = 128;
    static constexpr int kListStore = 128;
    static constexpr int kScoreCacheSize = 256;
    // Peak blocks of 128 samples: coarser blocks bound a span's samples a little less tightly,
    // but an analysis reaches its spans' ends in a quarter of the steps it takes with 32.
    static constexpr int kBlockShift = 7;
    static constexpr int kBlockSize = 1 << kBlockShift;
    static constexpr std::int64_t kNever = INT64_MAX;
    // Terms of one difference measure: max(5 ms, span / 2) over a step above 0.1 ms, under 670
    // at any rate (more would take the plain measure).
    static constexpr int kMaxTerms = 700;

    // Crossings of one direction as sample times, newest first, so that they age for free. The
    // list moves down a longer store instead of shifting its entries at every crossing.
    struct CrossingList {
        std::int64_t store[kListStore];
        int start;
        int count;
        std::int64_t* entries() { return store + start; }
    };
    struct Candidate;

    static double tameSample(double sample);
    bool processPiece(const double* samples, int n, double* confirmed, int marks);
    const double* safeInput(const double* x, int n, int marks, bool& zeros);
    void markPiece(const double* y, int n, bool standing, std::uint64_t* crossings,
                   std::uint64_t* loud) const;
    void writeAhead(const double* y, int n, bool standing);
    double x(std::int64_t k) const;
    double difference(int span);
    double historyBound(std::int64_t far);
    double boundBack(int back);
    double slowDifference(int span) const;
    double scoreWeight(int span);
    void consider(int span, Candidate& best);
    void analyse(CrossingList& list);
    void publish(int span, CrossingList& list);
    void expire();
    void confirm();
    void updateConfirmation();
    void updateExpiry() { nextExpiry_ = std::min(pendingExpiry_, windowExpiry_); }
    void resetList(CrossingList& list);
    void chooseScreen();
    void setSpanLimits(int longest);

    // Touched every sample.
    Biquad lowpass_;
    // History, each sample stored twice: ring_[pos] and ring_[pos + ringSpan_]. Reading wraps at
    // ringLength_; ringSpan_ is kPiece more.
    double* ring_ = nullptr;
    int ringLength_ = 0;
    int ringSpan_ = 0;
    int ringPos_ = 0;         // the current sample's entry
    float* narrow_ = nullptr; // the same history rounded to float, for the screen
    std::int64_t now_ = 0;    // samples processed since construction
    std::int64_t nextExpiry_ = kNever;
    std::int64_t confirmAt_ = kNever;
    std::int64_t lastLoud_ = 0; // last sample at or above the gate
    double gate_ = 0;
    double previous_ = 0;
    double confirmed_ = 0;

    // Analysis result.
    double period_ = 0;
    int evidence_ = 0;
    std::int64_t publishedAt_ = -1;

    // Confirmation: the count runs as now - countBase while a period is pending.
    double pending_ = 0;
    std::int64_t countBase_ = 0;
    std::int64_t pendingExpiry_ = kNever;
    int confirmThreshold_ = 0; // trunc(pending * confirmPeriods)
    int confirmPeriods_ = 2;
    int holdPeriods_ = 2;

    // Settings and tracking.
    double sampleRate_ = 0;
    double weightExponent_ = 0;
    int minSpan_ = 0;
    int maxSpan_ = 0;
    int spansTaken_ = 0; // the longest the analyses take: less only if the ring could not grow
    int lastSpan_ = 0;
    int windowLo_ = 0;
    int windowHi_ = 0;
    std::int64_t windowExpiry_ = kNever;
    int burstAge_ = 0;
    int diffStep_ = 0;
    int diffWindow_ = 0;
    // Terms of the difference measure for spans up to twice the window (25 or more at any rate),
    // and their reach.
    int windowTerms_ = 0;
    int windowReach_ = 0;
    int measuredSpans_ = 0;    // spans up to this are measured by the kernel
    int windowSpans_ = 0;      // and up to this with the window's terms
    double windowLimit_ = 0;   // 0.15 times the window's terms
    int termSteps_[9] = {};    // the step as the difference measure's kernel takes it
    int narrowSteps_[16] = {}; // and as its screen over the float copy does
    // The samples written last that all held uniformValue_ (bit for bit): once they cover the
    // whole history and every block, writing more of the same changes nothing.
    std::int64_t uniformRun_ = 0;
    double uniformValue_ = 0;
    std::int64_t burstEnd_ = 0;     // crossings are too dense up to this sample
    std::int64_t lastAnalysis_ = 0; // the burst end has not changed since
    CrossingList rising_{};
    CrossingList falling_{};

    // Per analysis: the newest sample, and prefix peaks of the difference's first operand and of
    // the history by blocks, each filled only as far as a candidate needs.
    DifferenceReads reads_{};
    // The difference measure's screen: the narrow one where the kernels have it and it serves.
    bool (*const* screen_)(const DifferenceReads&, int, int, double) = nullptr;
    int boundsDone_ = 0;
    std::int64_t boundsBlock_ = -1; // the newest block of those maxima; -1: none
    int blockMask_ = 0;
    int boundsBase_ = 0; // kBlockSize - 1 less the newest sample's place in its block
    int windowBase_ = 0; // that and the window's reach

    // The difference measure's sum and peaks, then its terms for the sum in order.
    double sums_[4 + kMaxTerms + 4];

    int scoreSpan_[kScoreCacheSize];
    double scorePower_[kScoreCacheSize];

    // One piece: its samples made safe, filtered, and the filter's work space.
    double tamed_[kPiece];
    double filtered_[kPiece + 4];

    std::vector<double> ringStore_;
    std::vector<float> narrowStore_;
    std::vector<double> blockStore_; // block peaks by time
    std::vector<double> bounds_;     // this analysis' running maxima of them
    // By span, the ends of the window near its midpoint where a crossing must lie.
    std::vector<std::uint16_t> windowLow_, windowHigh_;
    const EngineKernels* kernels_;
};

} // namespace Korvel

#include "dsp/PitchDetector.h"

#include "dsp/Lanes.h"
#include "dsp/PortableMath.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace Korvel {

namespace {

constexpr int kMaxCount = 23;
constexpr int kBurstIndex = 7;
constexpr double kFilterQ = 0.7079457843841379;
constexpr double kMaxAdmissible = 0.15;
constexpr double kInWindowWeight = 0.2;
constexpr double kNotAdmissible = 999;

int trunc32(double v) {
    return static_cast<int>(v);
}
int round32(double v) {
    return trunc32(v + 0.5);
}

// A crossing of the same direction must lie within a quarter semitone of a span's midpoint: at
// 2^(-1/24) to 2^(1/24) times half the span, rounded.
constexpr double kSpanWindowBelow = 0.9715319411536059;
constexpr double kSpanWindowAbove = 1.029302236643492;

double clampFrequency(double hz) {
    if (!(hz >= 15)) hz = 15; // also catches NaN
    if (hz > 2200) hz = 2200;
    return hz;
}

} // namespace

struct PitchDetector::Candidate {
    int span = 0;
    double score = 999;
    bool inWindow = false;
};

PitchDetector::PitchDetector() : kernels_(&engineKernels()) {
    setSampleRate(44100);
}

void PitchDetector::setSampleRate(double sampleRate) {
    // Rates outside what any host uses would leave the filter unstable or the ring absurd.
    if (!std::isfinite(sampleRate)) sampleRate = 44100;
    sampleRate = std::clamp(sampleRate, 8000.0, 768000.0);
    sampleRate_ = sampleRate;
    int maxPeriod = round32(sampleRate / 15);
    int length = trunc32(2 * maxPeriod + 1.5);
    if (length > ringLength_) {
        try {
            const std::size_t entries = 2 * static_cast<std::size_t>(length + kPiece);
            std::vector<double> ring(entries, 0.0);
            std::vector<float> narrow(entries, 0.0f);
            std::size_t blocks = 1;
            while (blocks < static_cast<std::size_t>((length + kPiece) / kBlockSize) + 4)
                blocks *= 2;
            std::vector<double> peaks(blocks, 0.0), bounds(blocks, 0.0);
            // The windows of every span up to the ring's length, which no rate's longest exceeds
            // (at 768 kHz their ends stay below 2^16).
            std::vector<std::uint16_t> low(static_cast<std::size_t>(length) + 1), high(low.size());
            for (int a = 0; a <= length; ++a) {
                const double span = a;
                low[a] = static_cast<std::uint16_t>(trunc32(kSpanWindowBelow * span / 2 + 0.5));
                high[a] = static_cast<std::uint16_t>(trunc32(kSpanWindowAbove * span / 2 + 0.5));
            }
            ringStore_.swap(ring);
            narrowStore_.swap(narrow);
            blockStore_.swap(peaks);
            bounds_.swap(bounds);
            windowLow_.swap(low);
            windowHigh_.swap(high);
            blockMask_ = static_cast<int>(blocks) - 1;
            ring_ = ringStore_.data();
            narrow_ = narrowStore_.data();
            ringLength_ = length;
            ringSpan_ = length + kPiece;
            ringPos_ = 0;
        } catch (const std::bad_alloc&) {
            // Keep the shorter ring: longer spans then wrap around it, as any span past its end.
            if (!ring_) throw; // the first one: the instance cannot be built
        }
    }
    minSpan_ = round32(2 * sampleRate / 2200);
    setSpanLimits(round32(2 * sampleRate / 15));
    lowpass_.setSampleRate(sampleRate);
    lowpass_.designLowPass(3300, kFilterQ);
    gate_ = 0.001;
    burstAge_ = trunc32(7 * sampleRate / 2400);
    diffStep_ = trunc32(sampleRate * 0.0001) + 1;
    chooseScreen(); // by the gate and the step
    diffWindow_ = round32(sampleRate * 0.005);
    windowTerms_ = diffWindow_ / diffStep_;
    windowReach_ = (windowTerms_ - 1) * diffStep_;
    // Every rate gives the kernel terms enough; were it not so, the plain measure would serve.
    const int reach = windowTerms_ >= kDifferenceFirstTerms ? ringLength_ : 0;
    // The spans the kernel measures: their terms and reach never shrink as the span grows, so
    // the longest is found by halving. Of those, the ones that take the window's terms: one test
    // for each.
    auto measured = [this, reach](int span) {
        const int h = span / 2;
        const int n = h <= diffWindow_ ? windowTerms_ : h / diffStep_;
        const std::int64_t far =
            h + (h <= diffWindow_ ? windowReach_ : std::int64_t{n - 1} * diffStep_) + span % 2;
        return n <= kMaxTerms && far < reach;
    };
    int fits = 0, fails = 2 * ringLength_ + 2; // a span that long reads past the ring
    while (fails - fits > 1) {
        const int mid = fits + (fails - fits) / 2;
        (measured(mid) ? fits : fails) = mid;
    }
    measuredSpans_ = fits;
    windowSpans_ = std::min(2 * diffWindow_ + 1, measuredSpans_);
    windowLimit_ = kMaxAdmissible * windowTerms_;
    for (int k = 0; k < 4; ++k) {
        termSteps_[k] = -k * diffStep_;
        termSteps_[4 + k] = 4 * diffStep_;
    }
    termSteps_[8] = diffStep_;
    for (int k = 0; k < 8; ++k) {
        narrowSteps_[k] = -k * diffStep_;
        narrowSteps_[8 + k] = 8 * diffStep_;
    }
    reads_.steps = termSteps_;
    reads_.narrowSteps = narrowSteps_;
    weightExponent_ = -PortableMath::log(0.6) / PortableMath::log(2.0);
    std::fill(std::begin(scoreSpan_), std::end(scoreSpan_), -1);
    confirmPeriods_ = 2;
    holdPeriods_ = 2;
    reset();
    resetConfirmation();
}

void PitchDetector::setMinFreq(double hz) {
    setSpanLimits(round32(2 * sampleRate_ / clampFrequency(hz)));
}

// The longest span, and the longest the analyses take: the same unless the ring could not grow
// for this rate, when the windows end with it too.
void PitchDetector::setSpanLimits(int longest) {
    maxSpan_ = longest;
    spansTaken_ = std::min(longest, ringLength_);
}

void PitchDetector::setMaxFreq(double hz) {
    hz = clampFrequency(hz);
    minSpan_ = round32(2 * sampleRate_ / hz);
    lowpass_.designLowPass(1.5 * hz, kFilterQ);
}

void PitchDetector::setGate(double dB) {
    gate_ = PortableMath::exp10(0.05 * dB);
    chooseScreen();
}

void PitchDetector::useKernels(const EngineKernels& kernels) {
    kernels_ = &kernels;
    chooseScreen();
}

// Every bound a screen is given is at least the gate: the float screen's margin holds for bounds
// of 1e-30 or more (the parameter's lowest is 1e-4).
void PitchDetector::chooseScreen() {
    const bool narrow = kernels_->narrowScreen[0] != nullptr && gate_ >= 1e-30;
    if (!narrow)
        screen_ = kernels_->differenceScreen;
    else
        screen_ = diffStep_ == 5 ? kernels_->narrowScreenStep5 : kernels_->narrowScreen;
}

void PitchDetector::setSpeed(int periods) {
    // Far beyond any useful count, and small enough that no period product overflows.
    periods = std::clamp(periods, -1000, 1000);
    confirmPeriods_ = periods < 3 ? 2 : periods;
    holdPeriods_ = 2 * periods <= 0 ? 1 : 2 * periods;
    updateConfirmation();
}

void PitchDetector::resetList(CrossingList& list) {
    // Made-up crossings just old enough not to count as a burst.
    list.start = kListStore - kListSize;
    for (int k = 0; k < kListSize; ++k)
        list.entries()[k] = now_ - burstAge_ - k;
    list.count = 0;
}

void PitchDetector::reset() {
    std::fill(ringStore_.begin(), ringStore_.end(), 0.0);
    std::fill(narrowStore_.begin(), narrowStore_.end(), 0.0f);
    std::fill(blockStore_.begin(), blockStore_.end(), 0.0);
    boundsBlock_ = -1;
    lowpass_.clear();
    uniformRun_ = 0;
    previous_ = 0;
    publishedAt_ = -1;
    lastSpan_ = windowLo_ = windowHi_ = 0;
    windowExpiry_ = kNever;
    updateExpiry();
    resetList(rising_);
    resetList(falling_);
    burstEnd_ = now_ - kBurstIndex;
    lastAnalysis_ = now_;
    lastLoud_ = now_;
}

void PitchDetector::resetConfirmation() {
    pending_ = 0;
    confirmed_ = 0;
    pendingExpiry_ = kNever;
    updateExpiry();
    updateConfirmation();
}

std::size_t PitchDetector::memoryBytes() const {
    return sizeof(*this) +
           (ringStore_.capacity() + blockStore_.capacity() + bounds_.capacity()) * sizeof(double) +
           narrowStore_.capacity() * sizeof(float) +
           (windowLow_.capacity() + windowHigh_.capacity()) * sizeof(std::uint16_t);
}

// The pending period's hold has run out, or the tracking window's.
void PitchDetector::expire() {
    if (now_ >= pendingExpiry_) {
        pending_ = confirmed_ = 0;
        pendingExpiry_ = kNever;
        updateConfirmation();
    }
    if (now_ >= windowExpiry_) {
        lastSpan_ = windowLo_ = windowHi_ = 0;
        windowExpiry_ = kNever;
    }
    updateExpiry();
}

// The count reaches the threshold at a known sample; from then on the pending period is reported.
void PitchDetector::updateConfirmation() {
    if (pending_ > 0) {
        confirmThreshold_ = trunc32(pending_ * confirmPeriods_);
        confirmAt_ = countBase_ + confirmThreshold_;
    } else {
        confirmAt_ = kNever;
    }
}

void PitchDetector::confirm() {
    confirmed_ = pending_;
    confirmAt_ = kNever;
}

void PitchDetector::process(double sample) {
    double confirmed;
    processPiece(&sample, 1, &confirmed, -1);
}

bool PitchDetector::processBlock(const double* samples, int n, double* confirmed, int marks) {
    bool steady = true;
    for (int done = 0; done < n;) {
        int piece = n - done < kPiece ? n - done : kPiece;
        steady &= processPiece(samples + done, piece, confirmed + done, marks);
        done += piece;
    }
    return steady;
}

// The history written for a whole piece at once: the analyses read only what lies behind their
// own sample, and the ring is kPiece longer than any of them reads.
void PitchDetector::writeAhead(const double* y, int n, bool standing) {
    boundsBlock_ = -1;
    if (!standing) {
        uniformRun_ = 0;
    } else if (uniformRun_ > 0 && std::memcmp(&uniformValue_, y, sizeof uniformValue_) == 0) {
        // Every entry of the ring and of the blocks has been rewritten within the run.
        const bool settled =
            uniformRun_ >= std::max<std::int64_t>(ringSpan_, (blockMask_ + 2) * kBlockSize);
        uniformRun_ += n;
        if (settled) return;
    } else {
        uniformValue_ = y[0];
        uniformRun_ = n;
    }
    // Each run ends where the ring wraps or a block does. The peak of every block of the history,
    // by time: a block's entry covers what is written of it so far, written-ahead samples included
    // (a bound need only be high enough).
    const int span = ringSpan_;
    double* ring = ring_;
    float* narrow = narrow_;
    int pos = ringPos_ + 1;
    const std::int64_t base = now_ + 1;
    for (int i = 0; i < n;) {
        if (pos == span) pos = 0;
        const std::int64_t t = base + i;
        const int inBlock = static_cast<int>(t & (kBlockSize - 1));
        const int run = std::min({n - i, span - pos, kBlockSize - inBlock});
        const double peak = kernels_->copyTwice(y + i, run, ring + pos, ring + pos + span,
                                                narrow + pos, narrow + pos + span);
        double& entry = blockStore_[static_cast<std::size_t>((t >> kBlockShift) & blockMask_)];
        entry = inBlock == 0 ? peak : std::max(entry, peak);
        pos += run;
        i += run;
    }
}

// A bound on |x[k]| for every k up to far: the peaks of the blocks those samples lie in, as a
// running maximum from the newest block back, extended as the analysis' candidates need.
// historyBound, difference and consider are inlined into analyse: in noise thousands of
// candidates a second end after a few terms, and the calls' own work was a fifth of theirs.
inline __attribute__((always_inline)) double PitchDetector::historyBound(std::int64_t far) {
    return boundBack(static_cast<int>((far + boundsBase_) >> kBlockShift));
}

// The same for the blocks up to back behind the newest.
inline __attribute__((always_inline)) double PitchDetector::boundBack(int back) {
    const std::int64_t current = boundsBlock_;
    for (; boundsDone_ <= back; ++boundsDone_)
        bounds_[boundsDone_] =
            std::max(bounds_[boundsDone_ - 1],
                     blockStore_[static_cast<std::size_t>((current - boundsDone_) & blockMask_)]);
    return bounds_[back];
}

namespace {

// Eight at a time first: a piece with no event fills all its 128 samples.
void fill(double* to, int n, double v) {
    int i = 0;
    const Base::D2 pair = {v, v};
    for (; i + 8 <= n; i += 8) {
        std::memcpy(to + i, &pair, sizeof pair);
        std::memcpy(to + i + 2, &pair, sizeof pair);
        std::memcpy(to + i + 4, &pair, sizeof pair);
        std::memcpy(to + i + 6, &pair, sizeof pair);
    }
    for (; i + 2 <= n; i += 2)
        std::memcpy(to + i, &pair, sizeof pair);
    for (; i < n; ++i)
        to[i] = v;
}

// The lowest set bit at or after i, or n.
int nextBit(const std::uint64_t* bits, int i, int n) {
    if (i < 64) {
        const std::uint64_t w = bits[0] & ~std::uint64_t{0} << i;
        if (w) return std::min(n, __builtin_ctzll(w));
        i = 64;
    }
    if (i < n) {
        const std::uint64_t w = bits[1] & ~std::uint64_t{0} << (i & 63);
        if (w) return std::min(n, 64 + __builtin_ctzll(w));
    }
    return n;
}

// The highest set bit at or before i, or -1.
int lastBit(const std::uint64_t* bits, int i) {
    if (i >= 64) {
        const std::uint64_t w = bits[1] & ~std::uint64_t{0} >> (63 - (i & 63));
        if (w) return 127 - __builtin_clzll(w);
        i = 63;
    }
    const std::uint64_t w = bits[0] & ~std::uint64_t{0} >> (63 - i);
    return w ? 63 - __builtin_clzll(w) : -1;
}

} // namespace

// The piece's input, made safe: a non-finite sample would stay in the filter and the history for
// good, so it counts as silence, and beyond 1e300 the filter's sums could overflow (no audio
// comes near). zeros tells digital silence, the usual input of a quiet track. A whole block's
// marks serve each of its pieces: all its samples 0 means all the piece's are, and where the block
// has a sample to tame, the piece's others pass through as they are.
const double* PitchDetector::safeInput(const double* x, int n, int marks, bool& zeros) {
    if (marks < 0) marks = kernels_->inputMarks(x, n);
    zeros = (marks & 1) != 0;
    if ((marks & 2) == 0) return x;
    for (int i = 0; i < n; ++i)
        tamed_[i] = std::fabs(x[i]) <= 1e300 ? x[i] : tameSample(x[i]);
    return tamed_;
}

// The samples that may cross zero and those at or above the gate, as bits.
void PitchDetector::markPiece(const double* y, int n, bool standing, std::uint64_t* crossings,
                              std::uint64_t* loud) const {
    if (!standing) {
        kernels_->crossingMarks(y, n, previous_, gate_, crossings, loud);
        return;
    }
    // One value throughout: only the first sample can cross (unless the value is 0), all are
    // loud or none.
    crossings[0] = !(previous_ * y[0] > 0);
    crossings[1] = 0;
    if (!(y[0] * y[0] > 0)) crossings[0] = crossings[1] = ~std::uint64_t{0};
    bool isLoud = !(std::fabs(y[0]) < gate_);
    loud[0] = isLoud ? 1 : 0;
    loud[1] = 0;
    // The last sample is the one that matters at the end; the first for the crossing.
    if (isLoud) loud[(n - 1) >> 6] |= std::uint64_t{1} << ((n - 1) & 63);
}

// One piece: the filter over all of it, then sample by sample only where something happens: a
// zero crossing, the end of a hold, a confirmation. Between those every sample reports the same.
bool PitchDetector::processPiece(const double* samples, int n, double* confirmed, int marks) {
    const double reported = confirmed_;
    bool steady = true;
    bool zeros = false;
    const double* x = safeInput(samples, n, marks, zeros);
    double* y = filtered_;
    const bool standing = lowpass_.processBlock(*kernels_, x, n, y, zeros);
    writeAhead(y, n, standing);

    std::uint64_t crossings[2], loud[2];
    markPiece(y, n, standing, crossings, loud);

    const std::int64_t base = now_ + 1; // the time of sample 0
    const int firstPos = ringPos_;
    // Samples before from are reported; those after it report confirmed_ until an expiry or a
    // confirmation may change it: only then are they written, up to the event's sample.
    int from = 0;
    for (int i = 0;;) {
        // The next sample where something happens.
        int e = nextBit(crossings, i, n);
        if (nextExpiry_ - base < e)
            e = static_cast<int>(std::max<std::int64_t>(nextExpiry_ - base, i));
        if (confirmAt_ - base < e)
            e = static_cast<int>(std::max<std::int64_t>(confirmAt_ - base, i));
        if (e >= n) break;
        const std::int64_t now = base + e;
        now_ = now;
        if (now >= nextExpiry_) {
            if (confirmed_ != 0) {
                fill(confirmed + from, e - from, confirmed_);
                steady &= e == from || confirmed_ == reported;
                from = e;
            }
            expire();
        }
        const double before = e > 0 ? y[e - 1] : previous_;
        const double v = y[e];
        if (!(before * v > 0)) {
            const bool rising = before <= 0 && v > 0;
            if (rising || (before >= 0 && v < 0)) {
                int pos = firstPos + 1 + e;
                ringPos_ = pos >= ringSpan_ ? pos - ringSpan_ : pos;
                int quiet = lastBit(loud, e);
                // A piece that stands is loud throughout or not at all.
                if (standing && loud[0]) quiet = e;
                if (quiet >= 0) lastLoud_ = base + quiet;
                analyse(rising ? rising_ : falling_);
            }
        }
        if (now >= confirmAt_) {
            fill(confirmed + from, e - from, confirmed_);
            steady &= e == from || confirmed_ == reported;
            from = e;
            confirm();
        }
        i = e + 1;
    }
    // The last run, to the piece's end. Every sample reported what was reported before the piece.
    steady &= confirmed_ == reported;
    fill(confirmed + from, n - from, confirmed_);
    now_ = base + n - 1;
    int pos = firstPos + n;
    ringPos_ = pos >= ringSpan_ ? pos - ringSpan_ : pos;
    int last = lastBit(loud, n - 1);
    if (last >= 0) lastLoud_ = base + last;
    previous_ = y[n - 1];
    return steady;
}

double PitchDetector::tameSample(double sample) {
    return std::isfinite(sample) ? std::copysign(1e300, sample) : 0;
}

// The filtered sample written k samples ago; reading past the ring's length wraps around it.
double PitchDetector::x(std::int64_t k) const {
    if (k >= ringLength_) k %= ringLength_;
    return ring_[ringPos_ + ringSpan_ - k];
}

// The difference measure for spans that read beyond the ring: rare, so kept plain.
double PitchDetector::slowDifference(int span) const {
    int h = span / 2;
    int n = std::max(diffWindow_, h) / diffStep_;
    double s = 0, pu = 0, pv = 0;
    for (int t = 0; t < n; ++t) {
        std::int64_t k = static_cast<std::int64_t>(t) * diffStep_;
        double u = x(k);
        double v = (span % 2 == 0) ? x(h + k) : (x(h + k) + x(h + k + 1)) / 2;
        s += std::fabs(u - v);
        pu = std::max(pu, std::fabs(u));
        pv = std::max(pv, std::fabs(v));
    }
    if (pu >= gate_ && pv >= gate_) return s / (std::max(pu, pv) * n);
    return kNotAdmissible;
}

// The sum runs in the stated order so the result is exact; what makes it cheap is knowing early
// that a candidate cannot be admissible. A screen sums in another order, within a few parts in
// 10^14 of the ordered sum (or in float, with a margin far wider), and stops once its partial sum,
// less the margin, passes 0.15 times n times a bound on every |v|: the measure must then exceed
// 0.15. The few candidates it keeps have their terms and exact peaks taken, are tested with those,
// and are summed again in order.
inline __attribute__((always_inline)) double PitchDetector::difference(int span) {
    // Spans are positive. Only span stays in hand across the screen: the rest is set again after
    // it, for the few candidates that pass.
    const int h = span >> 1, odd = span & 1;
    if (span <= windowSpans_) {
        // The usual case: the window's terms, within kMaxTerms at any rate.
        // Every |v| lies below the peaks of the blocks it is read from.
        const double bound = boundBack(((h + odd) + windowBase_) >> kBlockShift);
        if (!(bound >= gate_)) return kNotAdmissible; // pv could not reach the gate
        if (!screen_[odd](reads_, h, windowTerms_, bound * windowLimit_)) return kNotAdmissible;
    } else {
        // Beyond them the terms would not fit, or a read of the history's whole length would
        // find the sample written now, as the ring wraps.
        if (span > measuredSpans_) return slowDifference(span);
        // Longer than the window's.
        const int step = diffStep_;
        const int n = h / step;
        const double bound = historyBound(h + static_cast<std::int64_t>(n - 1) * step + odd);
        if (!(bound >= gate_)) return kNotAdmissible;
        // The limit rounds apart from 0.15 n times the bound by far less than the margin.
        if (!screen_[odd](reads_, h, n, bound * (kMaxAdmissible * n))) return kNotAdmissible;
    }
    const int n = span <= windowSpans_ ? windowTerms_ : span / 2 / diffStep_;
    double* sums = sums_;
    kernels_->differenceTerms[span & 1](reads_.newest, span >> 1, n, termSteps_, sums);
    const double pu = sums[1], pv = sums[2];
    if (!(pu >= gate_ && pv >= gate_)) return kNotAdmissible;
    const double scale = std::max(pu, pv) * n;
    if (sums[0] * (1 - 1e-9) > kMaxAdmissible * scale) return kNotAdmissible;

    // The terms, summed in order.
    const double* terms = sums + 4;
    double s = 0;
    int t = 0;
    for (; t + 4 <= n; t += 4)
        s = s + terms[t] + terms[t + 1] + terms[t + 2] + terms[t + 3];
    for (; t < n; ++t)
        s += terms[t];
    return s / scale;
}

double PitchDetector::scoreWeight(int span) {
    int slot = span & (kScoreCacheSize - 1);
    if (scoreSpan_[slot] != span) {
        scoreSpan_[slot] = span;
        scorePower_[slot] = PortableMath::pow(span / 2.0, weightExponent_);
    }
    return scorePower_[slot];
}

inline __attribute__((always_inline)) void PitchDetector::consider(int span, Candidate& best) {
    double d = difference(span);
    if (!(d <= kMaxAdmissible)) return;
    bool inWindow = windowLo_ <= span && span <= windowHi_;
    double w = inWindow ? kInWindowWeight : 1.0;
    double score = d * w * scoreWeight(span);
    if (score < best.score) {
        best.span = span;
        best.score = score;
        best.inWindow = inWindow;
    }
}

void PitchDetector::analyse(CrossingList& list) {
    // The burst guard for every sample since the last analysis: its limit has not moved since.
    if (burstEnd_ > lastAnalysis_) rising_.count = falling_.count = 0;
    lastAnalysis_ = now_;
    if (list.start == 0) {
        std::copy(list.store, list.store + kListSize - 1, list.store + kListStore - kListSize + 1);
        list.start = kListStore - kListSize + 1;
    }
    list.store[--list.start] = now_;
    if (list.count < kMaxCount) ++list.count;
    burstEnd_ =
        std::max(rising_.entries()[kBurstIndex], falling_.entries()[kBurstIndex]) + burstAge_;

    const std::int64_t* times = list.entries();
    const int m = list.count;
    const std::int64_t silence = now_ - lastLoud_;
    reads_.newest = ring_ + ringPos_ + ringSpan_;
    reads_.narrow = narrow_ + ringPos_ + ringSpan_;
    // The block peaks change only as a piece is written ahead: the running maxima serve every
    // analysis of the piece that starts from the same block.
    const std::int64_t block = now_ >> kBlockShift;
    if (block != boundsBlock_) {
        bounds_[0] = blockStore_[static_cast<std::size_t>(block & blockMask_)];
        boundsDone_ = 1;
        boundsBlock_ = block;
    }
    // The samples back to far lie in the blocks back to (far + boundsBase_) / kBlockSize.
    boundsBase_ = kBlockSize - 1 - static_cast<int>(now_ & (kBlockSize - 1));
    windowBase_ = boundsBase_ + windowReach_;

    Candidate best;
    // The entries' ages up to the first beyond the longest span; they never decrease along the
    // list, so the spans begin at the first entry long enough and older than the quiet.
    static_assert((kMaxCount + 7) / 8 * 8 <= kListSize, "the kernel reads m rounded up to eight");
    int ages[kListSize];
    const int count = kernels_->crossingAges(times, m, now_, spansTaken_, ages);
    int i = 2;
    while (i < count && !(ages[i] >= minSpan_ && ages[i] > silence))
        ++i;
    // A crossing of the same direction near the midpoint.
    if (i < count) {
        const std::uint16_t *low = windowLow_.data(), *high = windowHigh_.data();
        // The first entry that may lie near the midpoint, and its age: it moves on as the spans
        // grow. The window's low end lies below the span itself, so j stops at i at the latest,
        // and its high end too (a span is 7 or more), so that the span is never its own midpoint.
        std::ptrdiff_t j = 1, k = i;
        int near = ages[1];
        do {
            const int span = ages[k];
            while (near < low[span])
                near = ages[++j];
            if (near <= high[span]) consider(span, best);
        } while (++k < count);
    }
    // The quiet found again rather than kept in a register across the scan's kernel calls.
    const std::int64_t quiet = now_ - lastLoud_;
    if (!best.inWindow && quiet < lastSpan_) {
        int to = std::min(lastSpan_ + 3, windowHi_);
        for (int a = std::max(lastSpan_ - 3, windowLo_); a <= to; ++a)
            consider(a, best);
    }
    if (!best.inWindow) {
        int h = best.span / 2;
        if (quiet < h && minSpan_ <= h) {
            for (int a = std::max(h - 2, minSpan_); a <= h + 2; ++a)
                consider(a, best);
        }
    }
    if (best.span > 0) publish(best.span, list);
}

void PitchDetector::publish(int span, CrossingList& list) {
    // Locate both crossings between their samples; two zero samples give no slope to follow.
    double g = x(span);
    double g1 = x(span + 1);
    double l = span;
    if (!(g * g1 > 0 || g == g1)) l = span + g / (g - g1) - x(0) / (x(0) - x(1));
    lastSpan_ = span;
    period_ = l / 2;
    evidence_ = span / 2 + std::max(diffWindow_, span / 2);
    publishedAt_ = now_;
    windowLo_ = round32(0.9857659705768029 * l);
    windowHi_ = round32(1.014651118321746 * l);
    windowExpiry_ = windowHi_ > 0 ? now_ + windowHi_ : kNever;
    const std::int64_t* times = list.entries();
    int keep = 0;
    while (keep < list.count && now_ - times[keep] < span)
        ++keep;
    list.count = keep;

    const double p = period_;
    if (p > 0) {
        int hold = round32(p * holdPeriods_ * 1.0028922878693671);
        if (pending_ == 0) {
            countBase_ = now_ - evidence_;
        } else {
            double r = std::max(p / pending_, pending_ / p);
            if (r >= 1.029302236643492)
                countBase_ = now_ - evidence_; // a quarter semitone: a new note
        }
        pending_ = p;
        pendingExpiry_ = now_ + std::max(hold, 1);
        updateConfirmation();
    }
    updateExpiry();
}

} // namespace Korvel

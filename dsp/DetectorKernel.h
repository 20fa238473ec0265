// The pitch detector's kernels: what a piece of input holds (digital silence, samples it must
// tame), the marks of a filtered piece (where it may cross zero, where it is loud), and its
// difference measure: screens that rule candidates out from partial sums of |u - v| in another
// order than the measure's, then for the rest the terms and the exact peaks of |u| and |v|, which
// no order changes. Included once per instruction set (see dsp/Lanes.h).
#pragma once

#include "dsp/EngineKernels.h"
#include "dsp/Lanes.h"

namespace Korvel {
namespace KORVEL_LANES_NS {

// The marks of samples taken four at a time, then one by one: bit 0, every sample is a zero (of
// either sign); bit 1, some sample is not within 1e300 of 0 (NaN included).
class InputMarks {
public:
    KORVEL_LANE_INLINE void add(Wide v) {
        bits_ = bits_ | (bitsOf(v) << 1); // signs shifted out
        unusual_ = unusual_ | notLessEqual(absOf(v), splat<Wide>(1e300));
    }
    KORVEL_LANE_INLINE void add(double v) {
        std::uint64_t b;
        std::memcpy(&b, &v, sizeof b);
        any_ |= b << 1;
        odd_ |= !(__builtin_fabs(v) <= 1e300);
    }
    KORVEL_LANE_INLINE int marks() const {
        std::uint64_t words[8];
        std::memcpy(words, &bits_, sizeof bits_);
        std::memcpy(words + 4, &unusual_, sizeof unusual_);
        const std::uint64_t any = any_ | words[0] | words[1] | words[2] | words[3];
        const bool odd = odd_ || (words[4] | words[5] | words[6] | words[7]) != 0;
        return (any == 0 ? 1 : 0) | (odd ? 2 : 0);
    }

private:
    WideMask bits_ = splatBits<WideMask>(0), unusual_ = splatBits<WideMask>(0);
    std::uint64_t any_ = 0;
    bool odd_ = false;
};

inline int inputMarks(const double* x, int n) {
    InputMarks marks;
    int i = 0;
    for (; i + 4 <= n; i += 4)
        marks.add(loadWide(x + i));
    for (; i < n; ++i)
        marks.add(x[i]);
    return marks.marks();
}

// The detector's low-pass over n >= 1 samples, as that many steps of Biquad::process: the
// feed-forward sums four at a time, then the recursion in order. c holds b0, b1, b2, a1, a2;
// state x1, x2, y1, y2, left as after the last sample. y holds n rounded up to four.
inline void lowpassBlock(const double* x, int n, double* y, const double* c, double* state) {
    typedef Wide V;
    const double b0 = c[0], b1 = c[1], b2 = c[2], a1 = c[3], a2 = c[4];
    const double x1 = state[0], x2 = state[1];
    y[0] = b0 * x[0] + b1 * x1 + b2 * x2;
    if (n > 1) y[1] = b0 * x[1] + b1 * x[0] + b2 * x1;
    const V f0 = splat<V>(b0), f1 = splat<V>(b1), f2 = splat<V>(b2);
    int i = 2;
    for (; i + 4 <= n; i += 4)
        storeWide(y + i,
                  f0 * loadWide(x + i) + f1 * loadWide(x + i - 1) + f2 * loadWide(x + i - 2));
    for (; i < n; ++i)
        y[i] = b0 * x[i] + b1 * x[i - 1] + b2 * x[i - 2];
    double y1 = state[2], y2 = state[3];
    int k = 0;
    for (; k + 4 <= n; k += 4) {
        const double v0 = y[k] - a1 * y1 - a2 * y2 + 1e-20;
        const double v1 = y[k + 1] - a1 * v0 - a2 * y1 + 1e-20;
        const double v2 = y[k + 2] - a1 * v1 - a2 * v0 + 1e-20;
        const double v3 = y[k + 3] - a1 * v2 - a2 * v1 + 1e-20;
        y[k] = v0;
        y[k + 1] = v1;
        y[k + 2] = v2;
        y[k + 3] = v3;
        y2 = v2;
        y1 = v3;
    }
    for (; k < n; ++k) {
        const double v = y[k] - a1 * y1 - a2 * y2 + 1e-20;
        y[k] = v;
        y2 = y1;
        y1 = v;
    }
    state[0] = x[n - 1];
    state[1] = n > 1 ? x[n - 2] : x1;
    state[2] = y1;
    state[3] = y2;
}

KORVEL_LANE_INLINE float narrowed(double x) {
    const float f = static_cast<float>(x);
    return (f - f) + f; // infinities become NaN
}

// The history written ahead: n samples into a and b both (the ring holds each sample twice), and
// rounded to float into fa and fb, for the difference measure's screen. A sample beyond float's
// range is NaN there, which keeps any sum it meets from ruling a candidate out. Returns the
// largest |from[k]| (0 for none): the detector's filtered samples are finite, so the order of
// the comparisons does not matter.
inline double copyTwice(const double* from, int n, double* a, double* b, float* fa, float* fb) {
    typedef Wide V;
    V m = splat<V>(0.0);
    int k = 0;
    for (; k + 4 <= n; k += 4) {
        const V v = loadWide(from + k);
        storeWide(a + k, v);
        storeWide(b + k, v);
        const V magnitude = absOf(v);
        m = select(less(m, magnitude), magnitude, m);
#if defined(__AVX__)
        __m128 f = _mm256_cvtpd_ps((__m256d)v);
#elif defined(__SSE2__)
        __m128 f = _mm_movelh_ps(_mm_cvtpd_ps(v.lo), _mm_cvtpd_ps(v.hi));
#endif
#if defined(__SSE2__)
        f = _mm_add_ps(_mm_sub_ps(f, f), f);
        _mm_storeu_ps(fa + k, f);
        _mm_storeu_ps(fb + k, f);
#else
        for (int q = 0; q < 4; ++q)
            fa[k + q] = fb[k + q] = narrowed(lane(v, q));
#endif
    }
    double peak = 0;
    for (int q = 0; q < 4; ++q)
        peak = peak < lane(m, q) ? lane(m, q) : peak;
    for (; k < n; ++k) {
        a[k] = b[k] = from[k];
        fa[k] = fb[k] = narrowed(from[k]);
        const double magnitude = __builtin_fabs(from[k]);
        peak = peak < magnitude ? magnitude : peak;
    }
    return peak;
}

// The ages now - times[k] of a crossing list's entries (m <= 24 of them, newest first) up to the
// first beyond limit, as ints; returns their count. times and ages hold m rounded up to eight
// entries (those after the m-th are read and written, not counted).
inline int crossingAges(const std::int64_t* times, int m, std::int64_t now, int limit, int* ages) {
    int count = 0;
#if defined(__AVX2__)
    const __m256i at = _mm256_set1_epi64x(now), longest = _mm256_set1_epi64x(limit);
    const __m256i lowHalves = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    // Eight at a time, one test for both fours.
    for (; count < m; count += 8) {
        const __m256i age = _mm256_sub_epi64(
            at, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(times + count)));
        const __m256i next = _mm256_sub_epi64(
            at, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(times + count + 4)));
        const int beyond =
            _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_cmpgt_epi64(age, longest))) |
            _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_cmpgt_epi64(next, longest))) << 4;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(ages + count),
                         _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(age, lowHalves)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(ages + count + 4),
                         _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(next, lowHalves)));
        if (beyond) {
            count += __builtin_ctz(static_cast<unsigned>(beyond));
            return count < m ? count : m;
        }
    }
    return m;
#else
    for (; count < m; ++count) {
        const std::int64_t age = now - times[count];
        if (age > limit) break;
        ages[count] = static_cast<int>(age);
    }
    return count;
#endif
}

// Bit i of the masks (n <= 128 samples): sample i may cross zero (its product with the one before,
// previous for the first, is not positive); sample i is at or above the gate.
inline void crossingMarks(const double* y, int n, double previous, double gate,
                          std::uint64_t* crossings, std::uint64_t* loud) {
    typedef Wide V;
    std::uint64_t c[2] = {0, 0}, l[2] = {0, 0};
    const V limit = splat<V>(gate), zero = splat<V>(0.0);
    const int whole = n & ~3;
    auto mark = [&](V before, V v, int at, std::uint64_t& cw, std::uint64_t& lw) {
        cw |= static_cast<std::uint64_t>(maskBits(notLess(zero, before * v))) << at;
        lw |= static_cast<std::uint64_t>(maskBits(notLess(absOf(v), limit))) << at;
    };
    int i = 0;
    if (whole > 0) {
        // The first four against the sample before the piece; then four at a time, each group
        // within one word.
        V before = loadWide(y);
        V v = before;
        setLane(before, 3, lane(before, 2));
        setLane(before, 2, lane(before, 1));
        setLane(before, 1, lane(before, 0));
        setLane(before, 0, previous);
        mark(before, v, 0, c[0], l[0]);
        for (i = 4; i < whole && i < 64; i += 4)
            mark(loadWide(y + i - 1), loadWide(y + i), i, c[0], l[0]);
        for (; i < whole; i += 4)
            mark(loadWide(y + i - 1), loadWide(y + i), i - 64, c[1], l[1]);
    }
    for (; i < n; ++i) {
        const double before = i == 0 ? previous : y[i - 1];
        if (!(before * y[i] > 0)) c[i >> 6] |= std::uint64_t{1} << (i & 63);
        if (!(__builtin_fabs(y[i]) < gate)) l[i >> 6] |= std::uint64_t{1} << (i & 63);
    }
    crossings[0] = c[0];
    crossings[1] = c[1];
    loud[0] = l[0];
    loud[1] = l[1];
}

// The indices of four terms of the difference measure, 0, -step, -2 step and -3 step to begin
// with: in AVX2 four 32-bit lanes (cheaper to set up than 64-bit ones, for the many candidates
// whose screen ends after a few terms), the first four and the stride loaded from the table of
// steps (see DifferenceReads): two loads for what took seven instructions per candidate.
#if defined(__AVX2__)
typedef __m128i TermIndex;
KORVEL_LANE_INLINE TermIndex firstTerms(const int* steps) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(steps));
}
KORVEL_LANE_INLINE TermIndex termStride(const int* steps) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(steps + 4));
}
KORVEL_LANE_INLINE TermIndex nextTerms(TermIndex index, TermIndex stride) {
    return _mm_sub_epi32(index, stride);
}
KORVEL_LANE_INLINE Wide gatherTerms(const double* base, TermIndex index) {
    const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    return (Wide)_mm256_mask_i32gather_pd(_mm256_setzero_pd(), base, index, all, 8);
}
#else
typedef WideMask TermIndex;
// 64-bit lanes: built from the step itself.
KORVEL_LANE_INLINE TermIndex firstTerms(const int* steps) {
    const std::uint64_t s = static_cast<std::uint64_t>(steps[8]);
    return splatBits<WideMask>(0) - wideBits(0, s, 2 * s, 3 * s);
}
KORVEL_LANE_INLINE TermIndex termStride(const int* steps) {
    return splatBits<WideMask>(4 * static_cast<std::uint64_t>(steps[8]));
}
KORVEL_LANE_INLINE TermIndex nextTerms(TermIndex index, TermIndex stride) {
    return index - stride;
}
KORVEL_LANE_INLINE Wide gatherTerms(const double* base, TermIndex index) {
    return gatherWide(base, index);
}
#endif

// The sum of the lanes, in the order cheapest to reach: (0 + 2) + (1 + 3).
KORVEL_LANE_INLINE double laneSum(Wide v) {
#if defined(__AVX__)
    const __m128d pair =
        _mm_add_pd(_mm256_castpd256_pd128((__m256d)v), _mm256_extractf128_pd((__m256d)v, 1));
    return _mm_cvtsd_f64(_mm_add_sd(pair, _mm_unpackhi_pd(pair, pair)));
#else
    const D2 pair = v.lo + v.hi;
    return pair[0] + pair[1];
#endif
}

// The terms the screens sum before their first test (kDifferenceFirstTerms, in
// dsp/EngineKernels.h, where its callers see it).
constexpr int kFirstTerms = kDifferenceFirstTerms;

// u_t = newest[-t*step], v_t = newest[-h - t*step] or, for an odd span, the mean of that and the
// sample before it; t = 0 .. n-1. The screen's partial sums of |u - v|, in another order than the
// measure's (which they bound to a few parts in 10^14), tested after kFirstTerms terms and then
// every sixteen: returns false once one passes limit by a margin of 2e-9, true when none does.
template <bool odd>
bool screenWide(const double* newest, int h, int n, const int* steps, double limit) {
    typedef Wide V;
    const TermIndex stride = termStride(steps);
    const double* v0 = newest - h;
    const V half = splat<V>(0.5);
    const double stop = limit * (1 + 2e-9);
    TermIndex index = firstTerms(steps);
    V sum = splat<V>(0.0);
    auto add4 = [&] {
        V u = gatherTerms(newest, index);
        V v = gatherTerms(v0, index);
        if (odd) v = (v + gatherTerms(v0 - 1, index)) * half; // exact, as the division by 2
        sum = sum + absOf(u - v);
        index = nextTerms(index, stride);
    };
    for (int k = 0; k < kFirstTerms / 4; ++k)
        add4();
    if (laneSum(sum) > stop) return false;
    for (int blocks = (n - kFirstTerms) >> 4; blocks > 0; --blocks) {
        for (int k = 0; k < 4; ++k)
            add4();
        if (laneSum(sum) > stop) return false;
    }
    return true;
}

#if defined(__AVX2__)
// The same partial sums over the history rounded to float, eight terms a gather, tested after
// kFirstTerms terms and then every eight, which in noise ends most candidates at half the cost.
//
// The margin, for a bound B on every |u| and |v| within float's normal range (the limit is 0.15 n
// B): rounding u and v (or the mean of two) to float moves each |u - v| by at most 5 B 2^-24, 2e-6
// of the limit's share 0.15 B; each lane sums at most 88 terms and the lanes three more times,
// each addition within 2^-24 of its exact value, 6e-6 in all. Hence 1e-4, wide enough that
// rounding the limit to float does not matter either. The caller keeps to bounds of 1e-30 or
// more; samples beyond float's range are NaN in the copy (see copyTwice), and a sum that meets
// one never ends the candidate.
constexpr double kNarrowMargin = 1e-4;

// kStep, when not 0, is the step the caller's reads take (narrowSteps): the first terms' reads
// are then fixed offsets from the newest sample, and the index stays as it is until the rest.
template <bool odd, int kStep = 0>
bool narrowScreen(const DifferenceReads& reads, int h, int n, double limit) {
    const float* newest = reads.narrow;
    __m256i stride, index;
    if (kStep > 0) {
        stride = _mm256_set1_epi32(8 * kStep);
        index = _mm256_setr_epi32(0, -kStep, -2 * kStep, -3 * kStep, -4 * kStep, -5 * kStep,
                                  -6 * kStep, -7 * kStep);
    } else {
        stride = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(reads.narrowSteps + 8));
        index = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(reads.narrowSteps));
    }
    const float* v0 = newest - h;
    const __m256 magnitude = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
    const float stop = static_cast<float>(limit * (1 + kNarrowMargin));
    __m256 sum;
    // Eight terms from back samples further back than the index says.
    auto add8 = [&](int back, bool first = false) {
        const __m256 u = _mm256_i32gather_ps(newest - back, index, 4);
        __m256 v = _mm256_i32gather_ps(v0 - back, index, 4);
        if (odd)
            v = _mm256_mul_ps(_mm256_add_ps(v, _mm256_i32gather_ps(v0 - back - 1, index, 4)),
                              _mm256_set1_ps(0.5f));
        const __m256 d = _mm256_and_ps(_mm256_sub_ps(u, v), magnitude);
        sum = first ? d : _mm256_add_ps(sum, d);
    };
    auto passes = [&] {
        // Each half's sum in its lowest lane, then the two.
        const __m256 halves = _mm256_dp_ps(sum, _mm256_set1_ps(1.0f), 0xf1);
        return _mm_cvtss_f32(_mm_add_ss(_mm256_castps256_ps128(halves),
                                        _mm256_extractf128_ps(halves, 1))) > stop;
    };
    static_assert(kFirstTerms % 8 == 0, "the first test falls after whole gathers");
    for (int k = 0; k < kFirstTerms / 8; ++k) {
        if (kStep > 0) {
            add8(8 * kStep * k, k == 0);
        } else {
            add8(0, k == 0);
            index = _mm256_sub_epi32(index, stride);
        }
    }
    if (passes()) return false;
    if (kStep > 0) index = _mm256_sub_epi32(index, _mm256_set1_epi32(kFirstTerms * kStep));
    for (int blocks = (n - kFirstTerms) >> 3; blocks > 0; --blocks) {
        add8(0);
        if (passes()) return false;
        index = _mm256_sub_epi32(index, stride);
    }
    return true;
}
#endif

// The screen over the history itself, for every instruction set.
template <bool odd>
bool differenceScreen(const DifferenceReads& reads, int h, int n, double limit) {
    return screenWide<odd>(reads.newest, h, n, reads.steps, limit);
}

// For the candidates a screen keeps, in one pass: out[0] the sum of |u - v| in the screen's order,
// out[1] and out[2] the peaks of |u| and |v|, which no order changes, and from out + 4 each
// |u_t - v_t|, for the caller's sum in order (one buffer, so that every argument has a register).
template <bool odd>
void differenceTerms(const double* newest, int h, int n, const int* steps, double* out) {
    typedef Wide V;
    const TermIndex stride = termStride(steps);
    const double* v0 = newest - h;
    const V half = splat<V>(0.5);
    double* terms = out + 4;
    const int whole = n & ~3;
    TermIndex index = firstTerms(steps);
    V sum = splat<V>(0.0), pu = sum, pv = sum;
    for (int t = 0; t < whole; t += 4) {
        const V u = gatherTerms(newest, index);
        V v = gatherTerms(v0, index);
        if (odd) v = (v + gatherTerms(v0 - 1, index)) * half;
        const V d = absOf(u - v);
        storeWide(terms + t, d);
        sum = sum + d;
        const V au = absOf(u), av = absOf(v);
        pu = select(less(pu, au), au, pu);
        pv = select(less(pv, av), av, pv);
        index = nextTerms(index, stride);
    }
    double total = laneSum(sum), peakU = 0, peakV = 0;
    for (int k = 0; k < 4; ++k) {
        peakU = peakU < lane(pu, k) ? lane(pu, k) : peakU;
        peakV = peakV < lane(pv, k) ? lane(pv, k) : peakV;
    }
    const int step = steps[8];
    for (int t = whole; t < n; ++t) {
        const double u = newest[-static_cast<long>(t) * step];
        double v = v0[-static_cast<long>(t) * step];
        if (odd) v = (v + v0[-static_cast<long>(t) * step - 1]) / 2;
        terms[t] = __builtin_fabs(u - v);
        total += terms[t];
        peakU = peakU < __builtin_fabs(u) ? __builtin_fabs(u) : peakU;
        peakV = peakV < __builtin_fabs(v) ? __builtin_fabs(v) : peakV;
    }
    out[0] = total;
    out[1] = peakU;
    out[2] = peakV;
}

} // namespace KORVEL_LANES_NS
} // namespace Korvel

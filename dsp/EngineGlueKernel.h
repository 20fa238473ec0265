// The engine's work around the oscillators, four samples at a time: the mono sum of the input,
// the LFO's shapes and whether its slew merely follows them, the tremolo mix, and the outputs in
// the host's precision. Every lane computes what the per-sample code computes, in the same order.
// Arrays hold a multiple of four entries (the engine pads its chunks); entries past the frames
// are written with values nobody reads. Included once per instruction set (see dsp/Lanes.h).
#pragma once

#include "dsp/DetectorKernel.h"
#include "dsp/Lanes.h"

namespace Korvel {
namespace KORVEL_LANES_NS {

namespace Glue {

typedef Wide V;
typedef WideMask M;

KORVEL_LANE_INLINE V widen(const float* p) {
#if defined(__AVX__)
    return (V)_mm256_cvtps_pd(_mm_loadu_ps(p));
#else
    return V{D2{p[0], p[1]}, D2{p[2], p[3]}};
#endif
}
KORVEL_LANE_INLINE V widen(const double* p) {
    return loadWide(p);
}
KORVEL_LANE_INLINE void narrow(float* p, V v) {
#if defined(__AVX__)
    _mm_storeu_ps(p, _mm256_cvtpd_ps((__m256d)v));
#else
    for (int k = 0; k < 4; ++k)
        p[k] = static_cast<float>(lane(v, k));
#endif
}
KORVEL_LANE_INLINE void narrow(double* p, V v) {
    storeWide(p, v);
}

} // namespace Glue

// mono[i] = (right + left) * 0.5 of the input as doubles; the dry input kept for bypass. Returns
// the detector's marks of mono (see inputMarks), taken on the way.
template <class T>
inline int monoSum(const T* left, const T* right, int frames, double* mono, double* dryLeft,
                   double* dryRight) {
    using namespace Glue;
    const V half = splat<V>(0.5);
    InputMarks marks;
    int i = 0;
    for (; i + 4 <= frames; i += 4) {
        V l = widen(left + i), r = widen(right + i);
        const V m = (r + l) * half;
        storeWide(mono + i, m);
        marks.add(m);
        if (dryLeft) {
            storeWide(dryLeft + i, l);
            storeWide(dryRight + i, r);
        }
    }
    for (; i < frames; ++i) {
        double l = left[i], r = right[i];
        const double m = (r + l) * 0.5;
        mono[i] = m;
        marks.add(m);
        if (dryLeft) {
            dryLeft[i] = l;
            dryRight[i] = r;
        }
    }
    return marks.marks();
}

// The period glide over a chunk in which every confirmed period is positive, as a note holds it:
// smoothed moves towards each period in turn (from the first one when it is 0), as the engine's
// per-sample glide, and frequency[i] = rate / the smoothed period, the divisions four at a time.
// Returns false, smoothed untouched, when that glide is not what the per-sample one does: a period
// that is not positive, a smoothed period of 0 on the way, a frequency that is not positive.
inline bool glideFollows(const double* period, int frames, double coef, double rate,
                         double& smoothed, double* frequency) {
    using namespace Glue;
    if (frames <= 0) return false;
    // The periods are checked with the divisions, after the glide: until then only frequency, a
    // work row the caller fills anew when this glide is not its own, is written.
    double s = smoothed == 0 ? period[0] : smoothed + (period[0] - smoothed) * coef;
    frequency[0] = s;
    // s - (s - p) c is s + (p - s) c bit for bit (a negated product rounds to the negated value),
    // with the period read as an operand.
    int i = 1;
    for (; i + 4 <= frames; i += 4) {
        const double a = s - (s - period[i]) * coef;
        const double b = a - (a - period[i + 1]) * coef;
        const double c = b - (b - period[i + 2]) * coef;
        s = c - (c - period[i + 3]) * coef;
        frequency[i] = a;
        frequency[i + 1] = b;
        frequency[i + 2] = c;
        frequency[i + 3] = s;
    }
    for (; i < frames; ++i) {
        s = s - (s - period[i]) * coef;
        frequency[i] = s;
    }
    // Each step above took the smoothed period before it as not 0.
    const V zero = splat<V>(0.0), r = splat<V>(rate);
    M positive = ~splatBits<M>(0);
    for (i = 0; i + 4 <= frames; i += 4) {
        const V smooth = loadWide(frequency + i);
        const V f = r / smooth;
        positive = positive & less(zero, loadWide(period + i)) & less(zero, smooth) & less(zero, f);
        storeWide(frequency + i, f);
    }
    bool usual = maskBits(positive) == 15;
    for (; i < frames; ++i) {
        usual &= period[i] > 0 && frequency[i] > 0;
        frequency[i] = rate / frequency[i];
        usual &= frequency[i] > 0;
    }
    if (!usual) return false;
    smoothed = s;
    return true;
}

// phases[k] = phase + (k + 1) d for k < m, exact as the phase stays in one binade (see
// Lfo::binadeSteps): four at a time, each group the last plus 4 d.
inline void lfoRun(double phase, double d, int m, double* phases) {
    using namespace Glue;
    static constexpr double kCounts[4] = {1, 2, 3, 4};
    V p = splat<V>(phase) + splat<V>(d) * loadWide(kCounts);
    const V step = splat<V>(4 * d);
    int k = 0;
    for (; k + 4 <= m; k += 4) {
        storeWide(phases + k, p);
        p = p + step;
    }
    for (; k < m; ++k)
        phases[k] = phase + (k + 1) * d;
}

namespace Glue {

// Lfo::shape's sine and triangle.
KORVEL_LANE_INLINE V sineShape(V p) {
    V m = splat<V>(6.283185307179586) * p - splat<V>(3.141592653589793);
    V m2 = m * m;
    return m * (m2 * (splat<V>(0.16562123457123723) -
                      m2 * (splat<V>(0.007956574006381783) - m2 * splat<V>(0.000145039006054745))) -
                splat<V>(0.9990123569996505));
}
KORVEL_LANE_INLINE V triangleShape(V p) {
    const V four = splat<V>(4.0);
    return select(less(p, splat<V>(0.25)), four * p,
                  select(less(p, splat<V>(0.75)), splat<V>(2.0) - four * p, four * p - four));
}

} // namespace Glue

// The LFO's shapes (Lfo::shape) at the given phases, one loop for each.
inline void lfoShapes(int waveform, const double* phase, int frames, double* out) {
    using namespace Glue;
    const V one = splat<V>(1.0), two = splat<V>(2.0);
    auto each = [&](auto shape) {
        for (int i = 0; i < frames; i += 4)
            storeWide(out + i, shape(loadWide(phase + i)));
    };
    switch (waveform) {
    case 0:
        each([](V p) { return sineShape(p); });
        break;
    case 1:
        each([](V p) { return triangleShape(p); });
        break;
    case 2:
        each([&](V p) { return select(less(p, splat<V>(0.5)), one, -one); });
        break;
    case 3:
        each([&](V p) { return two * p - one; });
        break;
    case 4:
        each([&](V p) { return one - two * p; });
        break;
    default:
        each([](V) { return splat<V>(0.0); });
    }
}

// mixSynth with the tremolo the sine (waveform 0) or the triangle (1) at phase + (i + 1) d, the
// phases lfoRun gives: the LFO's outputs where its slew follows the shape exactly.
inline void mixTremolo(const double* voices, const double* floorNoise, int waveform, double phase,
                       double d, double mainGain, double depth, int frames, double* value) {
    using namespace Glue;
    static constexpr double kCounts[4] = {1, 2, 3, 4};
    const V gain = splat<V>(mainGain), halfDepth = splat<V>(depth * 0.5), one = splat<V>(1.0);
    const V step = splat<V>(4 * d);
    V p = splat<V>(phase) + splat<V>(d) * loadWide(kCounts);
    auto each = [&](auto shape) {
        for (int i = 0; i < frames; i += 4) {
            V synth =
                voices ? loadWide(voices + i) + loadWide(floorNoise + i) : loadWide(floorNoise + i);
            storeWide(value + i, synth * gain * (halfDepth * (shape(p) - one) + one));
            p = p + step;
        }
    };
    if (waveform == 0) {
        each([](V at) { return sineShape(at); });
        return;
    }
    // The phases rise: where the first and the last lie on one of the triangle's three lines, so
    // do all, and that line is the shape.
    const double first = phase + d, last = phase + frames * d;
    const V four = splat<V>(4.0);
    if (last < 0.25)
        each([&](V at) { return four * at; });
    else if (first >= 0.25 && last < 0.75)
        each([&](V at) { return splat<V>(2.0) - four * at; });
    else if (first >= 0.75)
        each([&](V at) { return four * at - four; });
    else
        each([](V at) { return triangleShape(at); });
}

// Whether a slew at current with the given step lands on every target in turn: no distance,
// from the current value and then from target to target, is more than one step.
inline bool slewFollows(const double* target, int frames, double current, double step) {
    using namespace Glue;
    if (__builtin_fabs(target[0] - current) > step) return false;
    M far = splatBits<M>(0);
    const V limit = splat<V>(step);
    int i = 1;
    for (; i + 4 <= frames; i += 4)
        far = far | less(limit, absOf(loadWide(target + i) - loadWide(target + i - 1)));
    bool follows = maskBits(far) == 0;
    for (; i < frames; ++i)
        follows &= !(__builtin_fabs(target[i] - target[i - 1]) > step);
    return follows;
}

// value[i] = (voices[i] + floor[i]) * mainGain * (depth * 0.5 * (tremolo[i] - 1) + 1); with a
// null tremolo, the constant one; null voices are silent (0 + floor is the floor).
inline void mixSynth(const double* voices, const double* floorNoise, const double* tremolo,
                     double still, double mainGain, double depth, int frames, double* value) {
    using namespace Glue;
    const V gain = splat<V>(mainGain), halfDepth = splat<V>(depth * 0.5), one = splat<V>(1.0);
    const V constant = splat<V>(depth * 0.5 * (still - 1) + 1);
    for (int i = 0; i < frames; i += 4) {
        V synth =
            voices ? loadWide(voices + i) + loadWide(floorNoise + i) : loadWide(floorNoise + i);
        V factor = tremolo ? halfDepth * (loadWide(tremolo + i) - one) + one : constant;
        storeWide(value + i, synth * gain * factor);
    }
}

// The frames out, each the synth value of the sample before (previous for the first), or the dry
// input in bypass, routed as routeFrame does.
template <class T>
inline void writeOutputs(const double* value, double previous, const double* dryLeft,
                         const double* dryRight, int frames, bool stereoIn, bool stereoOut,
                         T* outLeft, T* outRight) {
    using namespace Glue;
    const V half = splat<V>(0.5);
    // The value one sample late: shifted by one against the chunk.
    auto late = [&](int i) { return i == 0 ? previous : value[i - 1]; };
    int i = 0;
    if (!dryLeft) {
        // Both routes of a synth frame are the value itself, or (v + v) * 0.5 into one output.
        for (; i < frames && i < 1; ++i) {
            double v = late(i);
            outLeft[i] = static_cast<T>(stereoIn && !stereoOut ? (v + v) * 0.5 : v);
            if (stereoOut) outRight[i] = static_cast<T>(v);
        }
        for (; i + 4 <= frames; i += 4) {
            V v = loadWide(value + i - 1);
            if (stereoIn && !stereoOut) v = (v + v) * half;
            narrow(outLeft + i, v);
            if (stereoOut) narrow(outRight + i, v);
        }
        for (; i < frames; ++i) {
            double v = late(i);
            outLeft[i] = static_cast<T>(stereoIn && !stereoOut ? (v + v) * 0.5 : v);
            if (stereoOut) outRight[i] = static_cast<T>(v);
        }
        return;
    }
    for (; i < frames; ++i) {
        double a = dryLeft[i], b = dryRight[i];
        if (stereoIn && !stereoOut) {
            outLeft[i] = static_cast<T>((a + b) * 0.5);
            continue;
        }
        outLeft[i] = static_cast<T>(a);
        if (stereoOut) outRight[i] = static_cast<T>(stereoIn ? b : a);
    }
}

} // namespace KORVEL_LANES_NS
} // namespace Korvel

// The engine's three oscillators over a chunk, one voice at a time and four samples at a time:
// what follows from the frequency (phase increment, gain target, table levels) for every sample
// at once, then what must run sample after sample (envelope, gain slew, phase), then the waves and
// the outputs for every sample at once. The operations are those of dsp/Oscillator.h, in the same
// order, so each voice gives that oscillator's bits. Work that cannot change a result is left
// out: voices that cannot sound only move their phases on, a voice equal to one before it takes
// its outputs, envelopes in sustain and gains that have arrived do not step, a frequency that
// stands is tuned once. Included once per instruction set (see dsp/Lanes.h).
#pragma once

#include "dsp/LaneMath.h"
#include "dsp/OscillatorBankState.h"

namespace Korvel {
namespace KORVEL_LANES_NS {

namespace BankKernel {

typedef Wide V;
typedef WideMask M;
typedef OscillatorBankState S;

// The constants of the tuning and the waves.
struct Constants {
    Log2Constants<V> log2;
    V zero, one, half, oneAndHalf, twoPi, pi, entriesPerRadian, sine[4];
    V thirty, tenThousand, gainSlope, twentyThousand, eleven, harmless;
    M entryMask, stride;
};
KORVEL_LANE_INLINE void makeConstants(Constants& k) {
    fillLog2Constants(k.log2);
    k.zero = splat<V>(0.0);
    k.one = splat<V>(1.0);
    k.half = splat<V>(0.5);
    k.oneAndHalf = splat<V>(1.5);
    k.twoPi = splat<V>(6.283185307179586);
    k.pi = splat<V>(3.141592653589793);
    k.entriesPerRadian = splat<V>(325.94932345220167);
    k.sine[0] = splat<V>(0.16562123457123723);
    k.sine[1] = splat<V>(0.007956574006381783);
    k.sine[2] = splat<V>(0.000145039006054745);
    k.sine[3] = splat<V>(0.9990123569996505);
    k.thirty = splat<V>(30.0);
    k.tenThousand = splat<V>(10000.0);
    k.gainSlope = splat<V>(3.009027081243731e-05);
    k.twentyThousand = splat<V>(20000.0);
    k.eleven = splat<V>(11.0);
    k.harmless = splat<V>(1000.0);
    k.entryMask = splatBits<M>(2047);
    k.stride = splatBits<M>(S::kTableStride);
}

// One voice, scalar.
struct Voice {
    double ratio, level, noise, sampleRate, attackIncrement, releaseIncrement;
    bool table;
    std::uint64_t shapeBase;
    double phase, frequency, gain, gainTarget, gainStep;
    double envelope, progress, increment, span, state;
    double tuned, phaseIncrement, fade;
    std::uint64_t lowOffset, highOffset;
};

KORVEL_LANE_INLINE Voice voiceOf(const S& s, int k) {
    return Voice{s.ratio[k],
                 s.level[k],
                 s.noise[k],
                 s.sampleRate[k],
                 s.attackIncrement[k],
                 s.releaseIncrement[k],
                 s.isTable[k] != 0,
                 s.shapeBase[k],
                 s.phase[k],
                 s.frequency[k],
                 s.gain[k],
                 s.gainTarget[k],
                 s.gainStep[k],
                 s.envelope[k],
                 s.progress[k],
                 s.increment[k],
                 s.span[k],
                 s.state[k],
                 s.tuned[k],
                 s.phaseIncrement[k],
                 s.fade[k],
                 s.lowOffset[k],
                 s.highOffset[k]};
}
KORVEL_LANE_INLINE void keepVoice(S& s, int k, const Voice& v) {
    s.phase[k] = v.phase;
    s.frequency[k] = v.frequency;
    s.gain[k] = v.gain;
    s.gainTarget[k] = v.gainTarget;
    s.envelope[k] = v.envelope;
    s.progress[k] = v.progress;
    s.increment[k] = v.increment;
    s.span[k] = v.span;
    s.state[k] = v.state;
    s.tuned[k] = v.tuned;
    s.phaseIncrement[k] = v.phaseIncrement;
    s.fade[k] = v.fade;
    s.lowOffset[k] = v.lowOffset;
    s.highOffset[k] = v.highOffset;
}

// Voice k behaves as voice j from now on: every field that shapes the future is equal, bit for
// bit (the noise aside, which the caller rules out).
KORVEL_LANE_INLINE bool sameVoice(const S& s, int k, int j) {
    // Field by field, each a compare of its bits (no loop over the fields).
    auto same = [k, j](const auto& field) {
        return std::memcmp(&field[k], &field[j], sizeof field[k]) == 0;
    };
    return same(s.ratio) && same(s.level) && same(s.sampleRate) && same(s.attackIncrement) &&
           same(s.releaseIncrement) && same(s.phase) && same(s.frequency) && same(s.gain) &&
           same(s.gainTarget) && same(s.gainStep) && same(s.envelope) && same(s.progress) &&
           same(s.increment) && same(s.span) && same(s.state) && same(s.tuned) &&
           same(s.phaseIncrement) && same(s.fade) && same(s.isTable) && same(s.shapeBase) &&
           same(s.lowOffset) && same(s.highOffset);
}

// Catmull-Rom through four table entries at t in [0, 1), as WaveTables::interpolate.
KORVEL_LANE_INLINE V catmullRom(V ym, V y0, V y1, V y2, V t, const Constants& k) {
    V a = (y1 - ym) * k.half; // exact, as the division by 2
    V b = (y2 - ym) * k.half + k.oneAndHalf * (y0 - y1);
    return y0 + t * (a + t * (a + (ym - y0) - b + b * t));
}

KORVEL_LANE_INLINE V frequencyGain(V f, const Constants& k) {
    // As Oscillator::frequencyGain: the usual middle range first.
    V middle = k.one - (f - k.thirty) * k.gainSlope;
    M inMiddle = lessEqual(k.thirty, f) & less(f, k.tenThousand);
    if (maskBits(inMiddle) == 15) return middle;
    V high = splat<V>(0.7) - (f - k.tenThousand) * splat<V>(9.333333333333333e-05);
    V low = splat<V>(0.05) * (f - splat<V>(10.0));
    V zero = k.zero;
    V above =
        select(less(f, k.tenThousand), middle, select(less(f, splat<V>(17500.0)), high, zero));
    return select(lessEqual(k.thirty, f), above, select(lessEqual(splat<V>(10.0), f), low, zero));
}

KORVEL_LANE_INLINE V sineWave(V phase, const Constants& k) {
    V m = phase - k.pi;
    V m2 = m * m;
    return m * (((k.sine[0] - (k.sine[1] - k.sine[2] * m2) * m2) * m2) - k.sine[3]);
}

KORVEL_LANE_INLINE V tableWave(V phase, V fade, M lowOffset, M highOffset, const double* tables,
                               const Constants& k) {
    V x = k.entriesPerRadian * phase;
    M whole;
    V t = x - floorWide(x, whole);
    // Entries whole - 1 .. whole + 2, wrapped: the rows hold the entries around their ends.
    const M i0 = whole & k.entryMask;
    const M lo = lowOffset + i0, hi = highOffset + i0;
    V low = catmullRom(gatherWide(tables - 1, lo), gatherWide(tables, lo),
                       gatherWide(tables + 1, lo), gatherWide(tables + 2, lo), t, k);
    V high = catmullRom(gatherWide(tables - 1, hi), gatherWide(tables, hi),
                        gatherWide(tables + 1, hi), gatherWide(tables + 2, hi), t, k);
    return low + (high - low) * fade;
}

// The rows of the tuning: phase increment, gain target and table levels of ratio x frequency
// (WaveTables::blend), four samples at a time.
// Returns whether every increment is below 6.28 (see advancePhase).
KORVEL_LANE_INLINE bool tune(const Voice& v, int voice, OscillatorBankScratch& r, int frames,
                             const Constants& k) {
    const V ratio = splat<V>(v.ratio), rate = splat<V>(v.sampleRate);
    const M base = splatBits<M>(v.shapeBase);
    M large = splatBits<M>(0);
    for (int i = 0; i < frames; i += 4) {
        V f = ratio * loadWide(r.frequency + i);
        M sounding = less(k.zero, f);
        storeWideMask(r.sounding[voice] + i, sounding);
        V increment = keep(sounding, k.twoPi * f / rate);
        large = large | ~less(increment, splat<V>(6.28));
        storeWide(r.phaseIncrement[voice] + i, increment);
        V g = frequencyGain(f, k);
        storeWide(r.gainTarget[voice] + i, g * g);
        if (!v.table) continue;
        // A voice without a wave takes a harmless frequency instead of its own.
        V c = log2Lanes(k.twentyThousand / select(sounding, f, k.harmless), k.log2);
        M below = less(c, k.eleven);
        M inRange = less(k.zero, c) & below;
        V clamped = select(inRange, c, select(below, k.zero, k.eleven)); // NaN: the top
        M low;
        V lowLevel = floorWide(clamped, low);
        storeWide(r.fade[voice] + i, keep(inRange, c - lowLevel));
        static_assert(S::kTableStride == 2052, "low x the stride in two shifts");
        const M lowOffset = base + (low << 11) + (low << 2);
        storeWideMask(r.lowOffset[voice] + i, lowOffset);
        storeWideMask(r.highOffset[voice] + i, lowOffset + (below & k.stride));
    }
    return maskBits(large) == 0;
}

// The envelopes, gains and phases of all voices, one per lane (the fourth a silent filler).
struct Lanes {
    V phase, gain, gainTarget, gainStep, envelope, progress, increment, span, state;
    V phaseIncrement, attackIncrement, releaseIncrement;
};

KORVEL_LANE_INLINE Lanes lanesOf(const S& s) {
    return Lanes{loadWide(s.phase),           loadWide(s.gain),
                 loadWide(s.gainTarget),      loadWide(s.gainStep),
                 loadWide(s.envelope),        loadWide(s.progress),
                 loadWide(s.increment),       loadWide(s.span),
                 loadWide(s.state),           loadWide(s.phaseIncrement),
                 loadWide(s.attackIncrement), loadWide(s.releaseIncrement)};
}
KORVEL_LANE_INLINE void keepLanes(S& s, const Lanes& l) {
    storeWide(s.phase, l.phase);
    storeWide(s.gain, l.gain);
    storeWide(s.gainTarget, l.gainTarget);
    storeWide(s.envelope, l.envelope);
    storeWide(s.progress, l.progress);
    storeWide(s.increment, l.increment);
    storeWide(s.span, l.span);
    storeWide(s.state, l.state);
}

KORVEL_LANE_INLINE bool anyState(V state, double which) {
    return maskBits(equal(state, splat<V>(which))) != 0;
}

// Envelope starts where a run of samples with (or without) a tracked frequency begins.
KORVEL_LANE_INLINE void beginRun(Lanes& s, bool noteOn) {
    const V zero = splat<V>(0.0);
    if (noteOn) {
        M start = equal(s.state, splat<V>(S::Idle)) | equal(s.state, splat<V>(S::Releasing));
        s.progress = select(start, zero, s.progress);
        s.increment = select(start, s.attackIncrement, s.increment);
        s.span = select(start, splat<V>(1.0) - s.envelope, s.span);
        s.state = select(start, splat<V>(S::Attacking), s.state);
        return;
    }
    M start = equal(s.state, splat<V>(S::Attacking)) | equal(s.state, splat<V>(S::Sustaining));
    M silent = start & equal(s.envelope, zero);
    M release = start & ~silent;
    s.progress = select(start, zero, s.progress);
    s.increment = select(release, s.releaseIncrement, select(silent, zero, s.increment));
    s.span = select(release, s.envelope, select(silent, zero, s.span));
    s.state = select(release, splat<V>(S::Releasing), select(silent, splat<V>(S::Idle), s.state));
}

// One envelope step in every lane (Envelope::step); returns whether some lane finished.
KORVEL_LANE_INLINE bool stepEnvelope(Lanes& s, bool noteOn, const Constants& k) {
    const V zero = k.zero, two = splat<V>(2.0);
    V progress = s.progress + s.increment;
    V level = noteOn ? s.envelope + s.increment * two * progress * s.span
                     : s.envelope + s.increment * s.span * (two * progress - two);
    M done = lessEqual(k.one, progress);
    s.progress = progress;
    s.envelope = level;
    if (maskBits(done) == 0) return false;
    s.envelope = select(done, noteOn ? k.one : zero, level);
    s.progress = select(done, zero, progress);
    s.increment = select(done, zero, s.increment);
    s.span = select(done, zero, s.span);
    s.state = select(done, splat<V>(noteOn ? S::Sustaining : S::Idle), s.state);
    return true;
}

KORVEL_LANE_INLINE void stepGain(Lanes& s, const Constants& k) {
    V distance = s.gainTarget - s.gain;
    M far = less(s.gainStep, absOf(distance));
    if (maskBits(far) == 0) {
        s.gain = s.gainTarget;
        return;
    }
    V step = select(less(k.zero, distance), s.gainStep, -s.gainStep);
    s.gain = select(far, s.gain + step, s.gainTarget);
}

// With increments below 6.28 (any tone below the sample rate) one subtraction always brings
// the phase back into the cycle.
// twoPi in a register: a load from the constants would be repeated after every store.
template <bool kSmall> KORVEL_LANE_INLINE void advancePhase(Lanes& s, V twoPi) {
    V phase = s.phase + s.phaseIncrement;
    phase = phase - keep(lessEqual(twoPi, phase), twoPi);
    if (!kSmall && maskBits(lessEqual(twoPi, phase)) != 0) {
        // More than a whole cycle in one sample (a tone above the sample rate, or an infinite
        // frequency): back into one cycle, as Oscillator::rewrapPhase.
        for (int j = 0; j < 4; ++j) {
            double p = lane(phase, j);
            if (p >= 6.283185307179586)
                setLane(phase, j, p - p == 0 ? __builtin_fmod(p, 6.283185307179586) : 0);
        }
    }
    s.phase = phase;
}

// What pass A leaves for passes B and C.
struct Plan {
    int same[S::kVoices] = {-1, -1, -1}; // the voice before it that a voice equals, or -1
    bool audible[S::kVoices] = {};
    bool anyAudible = false, gainMoves = false, small = true;
    bool lean = false;                     // the rows hold only the phases (see stepLanes)
    std::uint64_t steps[4] = {0, 0, 0, 0}; // per sample (1) or one row (0)
    std::uint64_t rows[4] = {0, 1, 2, 2};  // the voice whose rows each lane reads
};

// The largest distance from one entry of a row to the next (NaN distances, which no slew counts as
// far, left out).
KORVEL_LANE_INLINE double widestStep(const double* row, int frames) {
    V widest = splat<V>(0.0);
    int i = 1;
    for (; i + 4 <= frames; i += 4) {
        const V d = absOf(loadWide(row + i) - loadWide(row + i - 1));
        widest = select(less(widest, d), d, widest);
    }
    double w = 0;
    for (int q = 0; q < 4; ++q)
        w = w < lane(widest, q) ? lane(widest, q) : w;
    for (; i < frames; ++i) {
        const double d = __builtin_fabs(row[i] - row[i - 1]);
        w = w < d ? d : w;
    }
    return w;
}

// Whether every lane's gain lands on its target at every sample, as stepGain finds when no
// distance, from the gain to the first target and then from target to target, is more than the
// lane's step: each sample's gain is then its target.
KORVEL_LANE_INLINE bool gainsFollow(const Lanes& s, const Plan& p, const OscillatorBankScratch& r,
                                    int frames) {
    double widest[S::kVoices] = {};
    bool measured[S::kVoices] = {};
    for (int q = 0; q < S::kLanes; ++q) {
        const int row = static_cast<int>(p.rows[q]);
        const double* target = r.gainTarget[row];
        const double step = lane(s.gainStep, q);
        if (step < __builtin_fabs(target[0] - lane(s.gain, q))) return false;
        if (p.steps[q] == 0) continue;
        if (!measured[row]) widest[row] = widestStep(target, frames);
        measured[row] = true;
        if (step < widest[row]) return false;
    }
    return true;
}

// Sample after sample, every voice at once: envelope, gain, phase, kept four per sample in the
// rows when some voice may sound. Each voice reads its tuning rows through index: per sample, or
// the first row throughout for one tuned once (step 0 in its lane). Returns true when only the
// phases went into the rows, as nothing else moved: each gain is its target (or stands), each
// envelope stands.
template <bool kRows, bool kSmall>
KORVEL_LANE_INLINE bool stepLanes(Lanes& s, const OscillatorBankInput& in, OscillatorBankScratch& r,
                                  const Plan& p, M rowStart, M step, const Constants& k) {
    const bool gainMoves = p.gainMoves;
    const V cycle = k.twoPi;
    M index = rowStart;
    const double* increments = r.phaseIncrement[0];
    const double* targets = r.gainTarget[0];
    for (int run = 0, i = 0; run < in.runs; ++run) {
        const int end = in.runEnds[run];
        const bool noteOn = in.frequency[i] > 0;
        beginRun(s, noteOn);
        const double moving = noteOn ? S::Attacking : S::Releasing;
        bool envelopeMoves = anyState(s.state, moving);
        if (!kRows && !envelopeMoves && !gainMoves && maskBits(step) == 0) {
            // Nothing but the phases moves, each by its one increment.
            s.phaseIncrement = gatherWide(increments, rowStart);
            if (i == end) continue;
            // Each sample maps the phases through the same function: once a step leaves them as
            // they were (no increment, as in silence before any note), so does every later one.
            const V before = s.phase;
            advancePhase<kSmall>(s, cycle);
            if (sameBits(before, s.phase)) i = end - 1;
            ++i;
            if (kSmall) {
                const V increment = s.phaseIncrement, twoPi = k.twoPi;
                V phase = s.phase;
                for (; i < end; ++i) {
                    phase = phase + increment;
                    phase = phase - keep(lessEqual(twoPi, phase), twoPi);
                }
                s.phase = phase;
            }
            for (; i < end; ++i)
                advancePhase<kSmall>(s, cycle);
            continue;
        }
        if (kRows && in.runs == 1 && !envelopeMoves &&
            (!gainMoves || gainsFollow(s, p, r, in.frames))) {
            if (kSmall && p.same[1] == 0 && p.same[2] == 0) {
                // Every voice is the first (the default program's): only its lane is read, so
                // its phase steps alone, as advancePhase steps a lane.
                const std::uint64_t step0 = p.steps[0];
                const double* increment = increments + p.rows[0] * OscillatorBankScratch::kRow;
                double* to = r.phase + 4 * i;
                double phase = lane(s.phase, 0);
                auto next = [&phase](double d) {
                    phase = phase + d;
                    return phase = phase - (6.283185307179586 <= phase ? 6.283185307179586 : 0.0);
                };
                for (; i + 4 <= end; i += 4, to += 16, increment += 4 * step0) {
                    to[0] = next(increment[0]);
                    to[4] = next(increment[step0]);
                    to[8] = next(increment[2 * step0]);
                    to[12] = next(increment[3 * step0]);
                }
                for (; i < end; ++i, to += 4, increment += step0)
                    to[0] = next(increment[0]);
                const double last = phase;
                s.phase = broadcastWide(&last);
                if (gainMoves) {
                    s.gainTarget = broadcastWide(&r.gainTarget[p.rows[0]][(end - 1) * step0]);
                    s.gain = s.gainTarget;
                }
                return true;
            }
            for (; i < end; ++i) {
                s.phaseIncrement = gatherWide(increments, index);
                advancePhase<kSmall>(s, cycle);
                storeWide(r.phase + 4 * i, s.phase);
                index = index + step;
            }
            if (gainMoves) {
                s.gainTarget = gatherWide(targets, index - step);
                s.gain = s.gainTarget;
            }
            return true;
        }
        for (; i < end; ++i) {
            if (envelopeMoves && stepEnvelope(s, noteOn, k))
                envelopeMoves = anyState(s.state, moving);
            if (gainMoves) {
                s.gainTarget = gatherWide(targets, index);
                stepGain(s, k);
            }
            s.phaseIncrement = gatherWide(increments, index);
            advancePhase<kSmall>(s, cycle);
            if (kRows) {
                storeWide(r.phase + 4 * i, s.phase);
                storeWide(r.gain + 4 * i, s.gain);
                storeWide(r.envelope + 4 * i, s.envelope);
            }
            index = index + step;
        }
    }
    return false;
}

// The waves and the outputs of voice j, four samples at a time. Lean: the rows hold only the
// phases (see stepLanes); the gain is then the target of each sample, or one value throughout for
// a voice tuned once, and the envelope stands.
template <bool kTable, bool kDrawn, bool kSteady, bool kLean>
KORVEL_LANE_INLINE void waves(const Voice& v, int j, const OscillatorBankScratch& r,
                              const double* tables, const double* draws, int frames, double* out,
                              const Constants& k) {
    const V level = splat<V>(v.level), noise = splat<V>(v.noise);
    const V standingGain = splat<V>(v.gain), standingEnvelope = splat<V>(v.envelope);
    V fade = k.zero;
    M low = splatBits<M>(0), high = low, sounding = low;
    if (kSteady) {
        sounding = splatBits<M>(r.sounding[j][0]);
        if (kTable) {
            fade = splat<V>(r.fade[j][0]);
            low = splatBits<M>(r.lowOffset[j][0]);
            high = splatBits<M>(r.highOffset[j][0]);
        }
    }
    // This voice's lane in the rows of all: four samples apart.
    M lanes = wideBits(0, 4, 8, 12) + splatBits<M>(static_cast<std::uint64_t>(j));
    const M stride = splatBits<M>(16);
    for (int i = 0; i < frames; i += 4) {
        V phase = gatherWide(r.phase, lanes);
        if (!kSteady) {
            sounding = loadWideMask(r.sounding[j] + i);
            if (kTable) {
                fade = loadWide(r.fade[j] + i);
                low = loadWideMask(r.lowOffset[j] + i);
                high = loadWideMask(r.highOffset[j] + i);
            }
        }
        V wave = kTable ? tableWave(phase, fade, low, high, tables, k) : sineWave(phase, k);
        wave = keep(sounding, wave);
        V sum = wave;
        if (kDrawn) sum = noise * loadWide(draws + i) + wave;
        V gain, envelope;
        if (kLean) {
            gain = kSteady ? standingGain : loadWide(r.gainTarget[j] + i);
            envelope = standingEnvelope;
        } else {
            gain = gatherWide(r.gain, lanes);
            envelope = gatherWide(r.envelope, lanes);
        }
        storeWide(out + i, level * gain * sum * envelope);
        lanes = lanes + stride;
    }
}

template <bool kTable, bool kDrawn>
KORVEL_LANE_INLINE void wavesAny(const Voice& v, int j, const OscillatorBankScratch& r,
                                 const OscillatorBankInput& in, const double* draws, double* out,
                                 bool steady, bool lean, const Constants& k) {
    if (lean)
        steady ? waves<kTable, kDrawn, true, true>(v, j, r, in.tables, draws, in.frames, out, k)
               : waves<kTable, kDrawn, false, true>(v, j, r, in.tables, draws, in.frames, out, k);
    else
        steady ? waves<kTable, kDrawn, true, false>(v, j, r, in.tables, draws, in.frames, out, k)
               : waves<kTable, kDrawn, false, false>(v, j, r, in.tables, draws, in.frames, out, k);
}

// The frequency each sample tunes to, in the rows: the tracked one, or the one kept where none
// is. Returns whether it stands throughout; held is the last.
KORVEL_LANE_INLINE bool heldFrequencies(const OscillatorBankInput& in, double kept,
                                        OscillatorBankScratch& r, double& held) {
    held = kept;
    if (in.constant) {
        // The engine saw one frequency throughout: the first row serves.
        if (in.frequency[0] > 0) held = in.frequency[0];
        r.frequency[0] = r.frequency[1] = r.frequency[2] = r.frequency[3] = held;
        return true;
    }
    for (int run = 0, i = 0; run < in.runs; ++run) {
        const int end = in.runEnds[run];
        if (in.frequency[i] > 0) {
            for (; i < end; ++i)
                r.frequency[i] = in.frequency[i];
            held = in.frequency[end - 1];
        } else {
            for (; i < end; ++i)
                r.frequency[i] = held;
        }
    }
    for (int i = in.frames; i % 4 != 0; ++i)
        r.frequency[i] = held;
    const V first = splat<V>(r.frequency[0]);
    M moves = splatBits<M>(0);
    for (int i = 0; i < in.frames; i += 4)
        moves = moves | ~equal(loadWide(r.frequency + i), first);
    return maskBits(moves) == 0;
}

// Pass A for voice j: its tuning rows, per sample or (steady) one for the chunk, done already
// when the frequency has not moved. Returns whether it tuned per sample; small tells whether its
// increments are below 6.28.
KORVEL_LANE_INLINE bool tuneVoice(S& s, int j, const OscillatorBankInput& in, bool steady,
                                  double held, bool& small, const Constants& c) {
    OscillatorBankScratch& r = *in.scratch;
    Voice v = voiceOf(s, j);
    s.frequency[j] = held;
    const double f = v.ratio * held;
    if (steady && v.ratio * r.frequency[0] == v.tuned) {
        r.phaseIncrement[j][0] = v.phaseIncrement;
        r.gainTarget[j][0] = v.gainTarget;
        r.sounding[j][0] = 0 < v.tuned ? ~std::uint64_t{0} : 0;
        r.fade[j][0] = v.fade;
        r.lowOffset[j][0] = v.lowOffset;
        r.highOffset[j][0] = v.highOffset;
        small = v.phaseIncrement < 6.28;
        return false;
    }
    small = tune(v, j, r, steady ? 4 : in.frames, c);
    const int last = steady ? 0 : in.frames - 1;
    s.tuned[j] = f;
    s.phaseIncrement[j] = r.phaseIncrement[j][last];
    // The slew's target follows in the sample pass.
    if (v.table) {
        s.fade[j] = r.fade[j][last];
        s.lowOffset[j] = r.lowOffset[j][last];
        s.highOffset[j] = r.highOffset[j][last];
    }
    return !steady;
}

} // namespace BankKernel

namespace BankKernel {

// Pass A, voice by voice. The voices keep one frequency (they are driven together), so its rows
// serve them all; a voice whose kept frequency differs gets its own.
KORVEL_LANE_INLINE void tuneAll(S& s, const OscillatorBankInput& in, Plan& p, const Constants& c) {
    OscillatorBankScratch& r = *in.scratch;
    // A voice equal to one before it (neither heard with noise) gives that one's outputs.
    for (int k = 1; k < S::kVoices; ++k)
        for (int j = 0; j < k && p.same[k] < 0; ++j)
            if (p.same[j] < 0 && !in.drawn[k] && !in.drawn[j] && sameVoice(s, k, j)) p.same[k] = j;
    const bool noteInChunk = in.runs > 1 || in.frequency[0] > 0;
    double kept = 0, held = 0;
    bool steady = false;
    for (int k = 0; k < S::kVoices; ++k) {
        if (p.same[k] >= 0) {
            // Tuned as the voice it equals, and reading that voice's rows.
            const int j = p.same[k];
            s.frequency[k] = s.frequency[j];
            s.tuned[k] = s.tuned[j];
            s.phaseIncrement[k] = s.phaseIncrement[j];
            s.fade[k] = s.fade[j];
            s.lowOffset[k] = s.lowOffset[j];
            s.highOffset[k] = s.highOffset[j];
            p.rows[k] = p.rows[j];
            p.steps[k] = p.steps[j];
            continue;
        }
        if (k == 0 || std::memcmp(&kept, &s.frequency[k], sizeof kept) != 0) {
            kept = s.frequency[k];
            steady = heldFrequencies(in, kept, r, held);
        }
        p.audible[k] = s.level[k] != 0 && (noteInChunk || s.state[k] != S::Idle);
        p.anyAudible |= p.audible[k];
        const double target = s.gainTarget[k], gain = s.gain[k];
        bool voiceSmall = true;
        bool perSample = tuneVoice(s, k, in, steady, held, voiceSmall, c);
        p.small &= voiceSmall;
        p.steps[k] = perSample ? 1 : 0;
        p.gainMoves |= perSample || !(gain == target) || !(r.gainTarget[k][0] == target);
    }
    p.rows[3] = p.rows[2];
    p.steps[3] = p.steps[2];
}

// Pass C, voice by voice, and the sum in voice order; a voice that cannot sound adds nothing
// (its zero's sign aside). Returns false when none sounds.
KORVEL_LANE_INLINE bool sumVoices(S& s, const OscillatorBankInput& in, const Plan& p, double* out,
                                  const Constants& c) {
    OscillatorBankScratch& r = *in.scratch;
    const double* outputs[S::kVoices];
    for (int k = 0; k < S::kVoices; ++k) {
        if (p.same[k] >= 0) {
            outputs[k] = outputs[p.same[k]];
            continue;
        }
        outputs[k] = nullptr;
        if (!p.audible[k]) continue;
        Voice v = voiceOf(s, k);
        const bool steady = p.steps[k] == 0;
        const double* draws = in.drawn[k] ? in.draws[k] : nullptr;
        double* to = r.voice[k];
        if (v.table)
            draws ? wavesAny<true, true>(v, k, r, in, draws, to, steady, p.lean, c)
                  : wavesAny<true, false>(v, k, r, in, draws, to, steady, p.lean, c);
        else
            draws ? wavesAny<false, true>(v, k, r, in, draws, to, steady, p.lean, c)
                  : wavesAny<false, false>(v, k, r, in, draws, to, steady, p.lean, c);
        outputs[k] = r.voice[k];
    }
    int sounding = 0;
    const double* from[S::kVoices];
    for (int k = 0; k < S::kVoices; ++k)
        if (outputs[k]) from[sounding++] = outputs[k];
    if (sounding == 0) return false;
    if (sounding == 3) {
        // All three, the usual case (the default program's equal voices too), without the count.
        const double *first = from[0], *second = from[1], *third = from[2];
        for (int i = 0; i < in.frames; i += 4)
            storeWide(out + i, loadWide(first + i) + loadWide(second + i) + loadWide(third + i));
        return true;
    }
    for (int i = 0; i < in.frames; i += 4) {
        V sum = loadWide(from[0] + i);
        for (int k = 1; k < sounding; ++k)
            sum = sum + loadWide(from[k] + i);
        storeWide(out + i, sum);
    }
    return true;
}

} // namespace BankKernel

// One chunk: out[i] is the sum of the three oscillators' outputs at sample i, in voice order.
// Returns false, out untouched, when none can sound (their outputs are zeros).
inline bool runOscillatorBank(OscillatorBankState& s, const OscillatorBankInput& in, double* out) {
    using namespace BankKernel;
    Constants constants;
    makeConstants(constants);
    const Constants& c = opaque(constants);
    Plan p;
    tuneAll(s, in, p, c);

    // Pass B, all voices in the lanes.
    OscillatorBankScratch& r = *in.scratch;
    Lanes lanes = lanesOf(s);
    const M step = loadWideMask(p.steps);
    const std::uint64_t row = OscillatorBankScratch::kRow;
    const M rowStart = wideBits(p.rows[0] * row, p.rows[1] * row, p.rows[2] * row, p.rows[3] * row);
    if (p.anyAudible)
        p.lean = p.small ? stepLanes<true, true>(lanes, in, r, p, rowStart, step, c)
                         : stepLanes<true, false>(lanes, in, r, p, rowStart, step, c);
    else
        p.small ? stepLanes<false, true>(lanes, in, r, p, rowStart, step, c)
                : stepLanes<false, false>(lanes, in, r, p, rowStart, step, c);
    keepLanes(s, lanes);

    return sumVoices(s, in, p, out, c);
}

} // namespace KORVEL_LANES_NS
} // namespace Korvel

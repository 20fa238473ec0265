// The three oscillators of the engine in the lanes of one vector, sample by sample: the same
// operations as dsp/Oscillator.h in the same order, so every lane gives that oscillator's bits.
// Work that cannot change a result is left out: retuning while the frequency stands, envelope
// steps in sustain or idle, gain steps once the gain has arrived, and the wave while no lane can
// sound. Included once per instruction set (see dsp/Lanes.h).
#pragma once

#include "dsp/LaneMath.h"
#include "dsp/OscillatorBankState.h"

namespace Korvel {
namespace KORVEL_LANES_NS {

namespace BankKernel {

typedef Wide V;
typedef WideMask M;
const int kAll = 15;

KORVEL_LANE_INLINE V load(const double* p) {
    return loadWide(p);
}
KORVEL_LANE_INLINE M loadMask(const std::uint64_t* p) {
    return loadWideMask(p);
}
KORVEL_LANE_INLINE void store(double* p, V v) {
    storeWide(p, v);
}
KORVEL_LANE_INLINE void storeMask(std::uint64_t* p, M v) {
    storeWideMask(p, v);
}
KORVEL_LANE_INLINE V gather(const double* base, M index) {
    return gatherWide(base, index);
}
// Catmull-Rom through four table entries at t in [0, 1), as WaveTables::interpolate.
KORVEL_LANE_INLINE V catmullRom(V ym, V y0, V y1, V y2, V t, V half, V oneAndHalf) {
    V a = (y1 - ym) * half; // exact, as the division by 2
    V b = (y2 - ym) * half + oneAndHalf * (y0 - y1);
    return y0 + t * (a + t * (a + (ym - y0) - b + b * t));
}

struct Lanes {
    V ratio, level, noise, sampleRate, phase, frequency, gain, gainTarget, gainStep;
    V envelope, progress, increment, span, state, tuned, phaseIncrement, fade;
    M isTable, shapeBase, lowOffset, highOffset;
    M sounding; // ratio x frequency > 0: the wave runs
};

// The constants of the per-sample work.
struct Constants {
    Log2Constants<V> log2;
    V zero, one, two, half, oneAndHalf, twoPi, pi, entriesPerRadian, sine[4];
    V thirty, tenThousand, gainSlope, twentyThousand, eleven, harmless;
    M entryMask, oneBits, twoBits;
};
KORVEL_LANE_INLINE void makeConstants(Constants& k) {
    k.log2 = makeLog2Constants<V>();
    k.zero = splat<V>(0.0);
    k.one = splat<V>(1.0);
    k.two = splat<V>(2.0);
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
    k.oneBits = splatBits<M>(1);
    k.twoBits = splatBits<M>(2);
}

KORVEL_LANE_INLINE V frequencyGain(V f, const Constants& k) {
    // As Oscillator::frequencyGain: the usual middle range first.
    V middle = k.one - (f - k.thirty) * k.gainSlope;
    M inMiddle = lessEqual(k.thirty, f) & less(f, k.tenThousand);
    if (maskBits(inMiddle) == kAll) return middle;
    V high = splat<V>(0.7) - (f - splat<V>(10000.0)) * splat<V>(9.333333333333333e-05);
    V low = splat<V>(0.05) * (f - splat<V>(10.0));
    V zero = splat<V>(0.0);
    V above =
        select(less(f, splat<V>(10000.0)), middle, select(less(f, splat<V>(17500.0)), high, zero));
    return select(lessEqual(splat<V>(30.0), f), above,
                  select(lessEqual(splat<V>(10.0), f), low, zero));
}

// Phase increment, gain target and table levels for f = ratio x frequency (WaveTables::blend).
KORVEL_LANE_INLINE void retune(Lanes& s, V f, bool anyTable, bool& gainSettled,
                               const Constants& k) {
    s.tuned = f;
    s.sounding = less(k.zero, f);
    s.phaseIncrement = keep(s.sounding, k.twoPi * f / s.sampleRate);
    V g = frequencyGain(f, k);
    s.gainTarget = g * g;
    gainSettled = false;
    if (!anyTable) return;
    // Lanes without a table wave take a harmless frequency instead of theirs.
    V tableF = select(s.isTable & s.sounding, f, k.harmless);
    V c = log2Lanes(k.twentyThousand / tableF, k.log2);
    M below = less(c, k.eleven);
    M inRange = less(k.zero, c) & below;
    V clamped = select(inRange, c, select(below, k.zero, k.eleven)); // NaN: the top
    M low;
    V lowLevel = floorWide(clamped, low);
    s.fade = keep(inRange, c - lowLevel);
    M high = low + (below & k.oneBits);
    s.lowOffset = s.shapeBase + (low << 11);
    s.highOffset = s.shapeBase + (high << 11);
}

KORVEL_LANE_INLINE bool anyState(V state, double which) {
    return maskBits(equal(state, splat<V>(which))) != 0;
}

// Envelope starts where a run of samples with (or without) a tracked frequency begins.
KORVEL_LANE_INLINE void beginRun(Lanes& s, bool noteOn, V attackIncrement, V releaseIncrement) {
    const V zero = splat<V>(0.0);
    if (noteOn) {
        M start = equal(s.state, splat<V>(OscillatorBankState::Idle)) |
                  equal(s.state, splat<V>(OscillatorBankState::Releasing));
        s.progress = select(start, zero, s.progress);
        s.increment = select(start, attackIncrement, s.increment);
        s.span = select(start, splat<V>(1.0) - s.envelope, s.span);
        s.state = select(start, splat<V>(OscillatorBankState::Attacking), s.state);
        return;
    }
    M start = equal(s.state, splat<V>(OscillatorBankState::Attacking)) |
              equal(s.state, splat<V>(OscillatorBankState::Sustaining));
    M silent = start & equal(s.envelope, zero);
    M release = start & ~silent;
    s.progress = select(start, zero, s.progress);
    s.increment = select(release, releaseIncrement, select(silent, zero, s.increment));
    s.span = select(release, s.envelope, select(silent, zero, s.span));
    s.state = select(release, splat<V>(OscillatorBankState::Releasing),
                     select(silent, splat<V>(OscillatorBankState::Idle), s.state));
}

// One envelope step in every lane; returns whether some lane finished its phase.
KORVEL_LANE_INLINE bool stepEnvelope(Lanes& s, bool noteOn, const Constants& k) {
    const V zero = k.zero;
    V progress = s.progress + s.increment;
    V level = noteOn ? s.envelope + s.increment * k.two * progress * s.span
                     : s.envelope + s.increment * s.span * (k.two * progress - k.two);
    M done = lessEqual(k.one, progress);
    s.progress = progress;
    s.envelope = level;
    if (maskBits(done) == 0) return false;
    s.envelope = select(done, noteOn ? splat<V>(1.0) : zero, level);
    s.progress = select(done, zero, progress);
    s.increment = select(done, zero, s.increment);
    s.span = select(done, zero, s.span);
    s.state =
        select(done, splat<V>(noteOn ? OscillatorBankState::Sustaining : OscillatorBankState::Idle),
               s.state);
    return true;
}

KORVEL_LANE_INLINE void stepGain(Lanes& s, bool& settled, const Constants& k) {
    V distance = s.gainTarget - s.gain;
    M far = less(s.gainStep, absOf(distance));
    if (maskBits(far) == 0) {
        s.gain = s.gainTarget;
        settled = true;
        return;
    }
    V step = select(less(k.zero, distance), s.gainStep, -s.gainStep);
    s.gain = select(far, s.gain + step, s.gainTarget);
}

// With small increments (below 6.28 in every lane: any tone below the sample rate) one
// subtraction always brings the phase back into the cycle.
KORVEL_LANE_INLINE bool smallIncrements(V increment) {
    return maskBits(less(increment, splat<V>(6.28))) == kAll;
}

template <bool kSmall = false> KORVEL_LANE_INLINE void advancePhase(Lanes& s, const Constants& k) {
    const V twoPi = k.twoPi;
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

KORVEL_LANE_INLINE V sineWave(V phase, const Constants& k) {
    V m = phase - k.pi;
    V m2 = m * m;
    return m * (((k.sine[0] - (k.sine[1] - k.sine[2] * m2) * m2) * m2) - k.sine[3]);
}

KORVEL_LANE_INLINE V tableWave(const Lanes& s, const double* tables, const Constants& k) {
    V x = k.entriesPerRadian * s.phase;
    M whole;
    V t = x - floorWide(x, whole);
    const M mask = k.entryMask;
    M im = (whole - k.oneBits) & mask, i0 = whole & mask;
    M i1 = (whole + k.oneBits) & mask, i2 = (whole + k.twoBits) & mask;
    V low = catmullRom(gather(tables, s.lowOffset + im), gather(tables, s.lowOffset + i0),
                       gather(tables, s.lowOffset + i1), gather(tables, s.lowOffset + i2), t,
                       k.half, k.oneAndHalf);
    V high = catmullRom(gather(tables, s.highOffset + im), gather(tables, s.highOffset + i0),
                        gather(tables, s.highOffset + i1), gather(tables, s.highOffset + i2), t,
                        k.half, k.oneAndHalf);
    return low + (high - low) * s.fade;
}

// Per-sample rows of the chunk, four lanes each, written by one pass and read by the next.
struct Rows {
    double* phaseIncrement;
    double* gainTarget;
    double* fade;
    std::uint64_t* lowOffset;
    std::uint64_t* highOffset;
    std::uint64_t* sounding;
    double* phase;
    double* gain;
    double* envelope;
};

// Pass 1: what follows from ratio x frequency, per sample. Returns whether anything retuned.
KORVEL_LANE_INLINE bool tuneRows(Lanes& s, const OscillatorBankInput& in, const Rows& r,
                                 bool anyTable, const Constants& k) {
    bool retuned = false;
    bool unused = false;
    for (int run = 0, i = 0; run < in.runs; ++run) {
        const int end = in.runEnds[run];
        const bool noteOn = in.frequency[i] > 0;
        for (; i < end; ++i) {
            // Where no pitch is tracked the frequency stays; it retunes at most once.
            if (noteOn) s.frequency = splat<V>(in.frequency[i]);
            V f = s.ratio * s.frequency;
            // Written so that a frequency that is not a number retunes every sample.
            if (maskBits(equal(f, s.tuned)) != kAll) {
                retune(s, f, anyTable, unused, k);
                retuned = true;
            }
            store(r.phaseIncrement + 4 * i, s.phaseIncrement);
            store(r.gainTarget + 4 * i, s.gainTarget);
            storeMask(r.sounding + 4 * i, s.sounding);
            if (anyTable) {
                store(r.fade + 4 * i, s.fade);
                storeMask(r.lowOffset + 4 * i, s.lowOffset);
                storeMask(r.highOffset + 4 * i, s.highOffset);
            }
        }
    }
    return retuned;
}

// Pass 2: envelopes, gains and phases, sample after sample. With keepRows false (nothing can
// sound in the chunk) only the state moves on.
template <bool kKeepRows>
KORVEL_LANE_INLINE void stepRows(Lanes& s, const OscillatorBankInput& in, const Rows& r,
                                 bool gainMoves, V attackIncrement, V releaseIncrement,
                                 const Constants& k) {
    for (int run = 0, i = 0; run < in.runs; ++run) {
        const int end = in.runEnds[run];
        const bool noteOn = in.frequency[i] > 0;
        beginRun(s, noteOn, attackIncrement, releaseIncrement);
        const double moving =
            noteOn ? OscillatorBankState::Attacking : OscillatorBankState::Releasing;
        bool envelopeMoves = anyState(s.state, moving);
        for (; i < end; ++i) {
            if (envelopeMoves && stepEnvelope(s, noteOn, k))
                envelopeMoves = anyState(s.state, moving);
            if (gainMoves) {
                s.gainTarget = load(r.gainTarget + 4 * i);
                bool settled = false;
                stepGain(s, settled, k);
            }
            s.phaseIncrement = load(r.phaseIncrement + 4 * i);
            advancePhase(s, k);
            if (kKeepRows) {
                store(r.envelope + 4 * i, s.envelope);
                store(r.gain + 4 * i, s.gain);
                store(r.phase + 4 * i, s.phase);
            }
        }
    }
}

// A chunk without a tracked frequency in which nothing can sound: the frequency stands (one
// retune at most), and only envelopes, gains and phases move on.
KORVEL_LANE_INLINE void silentChunk(Lanes& s, const OscillatorBankInput& in, bool anyTable,
                                    bool& gainSettled, V attackIncrement, V releaseIncrement,
                                    const Constants& k) {
    V f = s.ratio * s.frequency;
    bool unused = false;
    if (maskBits(equal(f, s.tuned)) != kAll) {
        retune(s, f, anyTable, unused, k);
        gainSettled = false;
    }
    beginRun(s, false, attackIncrement, releaseIncrement);
    bool envelopeMoves = anyState(s.state, OscillatorBankState::Releasing);
    int i = 0;
    for (; i < in.frames && (envelopeMoves || !gainSettled); ++i) {
        if (envelopeMoves && stepEnvelope(s, false, k))
            envelopeMoves = anyState(s.state, OscillatorBankState::Releasing);
        if (!gainSettled) stepGain(s, gainSettled, k);
        advancePhase(s, k);
    }
    // Only the phases move now.
    if (smallIncrements(s.phaseIncrement)) {
        for (; i + 2 <= in.frames; i += 2) {
            advancePhase<true>(s, k);
            advancePhase<true>(s, k);
        }
    }
    for (; i < in.frames; ++i)
        advancePhase(s, k);
}

enum WaveKinds { SinesOnly, TablesOnly, Mixed };

// Pass 3: the waves and the sum of the outputs.
template <int kWaves, bool kDrawn>
KORVEL_LANE_INLINE void waveRows(const Lanes& s, const OscillatorBankInput& in, const Rows& r,
                                 M drawn, double* out, const Constants& k) {
    const V level = s.level, noise = s.noise;
    const M isTable = s.isTable;
    Lanes row = s;
    for (int i = 0; i < in.frames; ++i) {
        row.phase = load(r.phase + 4 * i);
        V wave;
        if (kWaves != SinesOnly) {
            row.fade = load(r.fade + 4 * i);
            row.lowOffset = loadMask(r.lowOffset + 4 * i);
            row.highOffset = loadMask(r.highOffset + 4 * i);
        }
        if (kWaves == SinesOnly)
            wave = sineWave(row.phase, k);
        else if (kWaves == TablesOnly)
            wave = tableWave(row, in.tables, k);
        else
            wave = select(isTable, tableWave(row, in.tables, k), sineWave(row.phase, k));
        wave = keep(loadMask(r.sounding + 4 * i), wave);
        V sum = wave;
        if (kDrawn) sum = select(drawn, noise * load(in.draws + 4 * i) + wave, wave);
        V o = level * load(r.gain + 4 * i) * sum * load(r.envelope + 4 * i);
        out[i] = lane(o, 0) + lane(o, 1) + lane(o, 2);
    }
}

KORVEL_LANE_INLINE void storeLanes(OscillatorBankState& st, const Lanes& s) {
    store(st.phase, s.phase);
    store(st.frequency, s.frequency);
    store(st.gain, s.gain);
    store(st.gainTarget, s.gainTarget);
    store(st.envelope, s.envelope);
    store(st.progress, s.progress);
    store(st.increment, s.increment);
    store(st.span, s.span);
    store(st.state, s.state);
    store(st.tuned, s.tuned);
    store(st.phaseIncrement, s.phaseIncrement);
    store(st.fade, s.fade);
    storeMask(st.lowOffset, s.lowOffset);
    storeMask(st.highOffset, s.highOffset);
}

} // namespace BankKernel

// One chunk: out[i] is the sum of the three oscillators' outputs at sample i, in lane order.
inline void runOscillatorBank(OscillatorBankState& state, const OscillatorBankInput& in,
                              double* out) {
    using namespace BankKernel;
    OscillatorBankState& st = state;
    Lanes s;
    s.ratio = load(st.ratio);
    s.level = load(st.level);
    s.noise = load(st.noise);
    s.sampleRate = load(st.sampleRate);
    s.phase = load(st.phase);
    s.frequency = load(st.frequency);
    s.gain = load(st.gain);
    s.gainTarget = load(st.gainTarget);
    s.gainStep = load(st.gainStep);
    s.envelope = load(st.envelope);
    s.progress = load(st.progress);
    s.increment = load(st.increment);
    s.span = load(st.span);
    s.state = load(st.state);
    s.tuned = load(st.tuned);
    s.phaseIncrement = load(st.phaseIncrement);
    s.fade = load(st.fade);
    s.isTable = loadMask(st.isTable);
    s.shapeBase = loadMask(st.shapeBase);
    s.lowOffset = loadMask(st.lowOffset);
    s.highOffset = loadMask(st.highOffset);
    s.sounding = less(splat<V>(0.0), s.ratio * s.frequency);
    const V attackIncrement = load(st.attackIncrement);
    const V releaseIncrement = load(st.releaseIncrement);
    const M drawn = loadMask(in.drawLanes);
    const int tableLanes = maskBits(s.isTable) & 7;
    const bool anyTable = tableLanes != 0;
    const int waves = tableLanes == 0 ? SinesOnly : tableLanes == 7 ? TablesOnly : Mixed;
    const M hasLevel = ~equal(s.level, splat<V>(0.0));
    Constants k;
    makeConstants(k);

    OscillatorBankScratch& scratch = *in.scratch;
    Rows rows = {scratch.phaseIncrement, scratch.gainTarget, scratch.fade,
                 scratch.lowOffset,      scratch.highOffset, scratch.sounding,
                 scratch.phase,          scratch.gain,       scratch.envelope};
    // Some lane may sound: it has a level and its envelope runs now or starts in this chunk.
    bool noteInChunk = in.runs > 1 || in.frequency[0] > 0;
    M running = ~equal(s.state, splat<V>(OscillatorBankState::Idle));
    bool audible = maskBits(hasLevel & (noteInChunk ? ~M{} : running)) != 0;
    if (!noteInChunk && !audible) {
        bool settled = st.gainSettled;
        silentChunk(s, in, anyTable, settled, attackIncrement, releaseIncrement, k);
        st.gainSettled = settled;
        for (int i = 0; i < in.frames; ++i)
            out[i] = 0;
        storeLanes(st, s);
        return;
    }
    bool retuned = tuneRows(s, in, rows, anyTable, k);
    bool gainMoves = retuned || !st.gainSettled;
    if (audible)
        stepRows<true>(s, in, rows, gainMoves, attackIncrement, releaseIncrement, k);
    else
        stepRows<false>(s, in, rows, gainMoves, attackIncrement, releaseIncrement, k);
    if (gainMoves) st.gainSettled = maskBits(equal(s.gain, s.gainTarget)) == kAll;

    if (!audible) {
        for (int i = 0; i < in.frames; ++i)
            out[i] = 0;
    } else if (maskBits(drawn) != 0) {
        if (waves == SinesOnly) waveRows<SinesOnly, true>(s, in, rows, drawn, out, k);
        if (waves == TablesOnly) waveRows<TablesOnly, true>(s, in, rows, drawn, out, k);
        if (waves == Mixed) waveRows<Mixed, true>(s, in, rows, drawn, out, k);
    } else {
        if (waves == SinesOnly) waveRows<SinesOnly, false>(s, in, rows, drawn, out, k);
        if (waves == TablesOnly) waveRows<TablesOnly, false>(s, in, rows, drawn, out, k);
        if (waves == Mixed) waveRows<Mixed, false>(s, in, rows, drawn, out, k);
    }

    storeLanes(st, s);
}

} // namespace KORVEL_LANES_NS
} // namespace Korvel

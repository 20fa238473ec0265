#include "dsp/Lfo.h"

#include "dsp/EngineKernels.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace Korvel {

Lfo::Lfo() {
    setSampleRate(44100);
}

void Lfo::setSampleRate(double sampleRate) {
    if (sampleRate > 0 && std::isfinite(sampleRate)) sampleRate_ = sampleRate;
    cyclesPerBar_ = 0;
    waveform_ = Sine;
    valueSlew_.setup(sampleRate_, 2, 0.001, 0);
    phase_ = 0;
    phaseOffset_ = 0;
    increment_ = 0;
    held_ = RandomGenerator::shared().bipolar();
    stale_ = true;
}

void Lfo::sync(double ppqPos, double tempo, bool playing, bool lockPhase) {
    if (lockPhase && playing) {
        double x = ppqPos * 0.25 * cyclesPerBar_ + phaseOffset_;
        if (std::isfinite(x)) phase_ = x - std::floor(x);
    }
    double increment = tempo * 0.004166666666666667 * cyclesPerBar_ / sampleRate_;
    increment_ = increment >= 0 && std::isfinite(increment) ? increment : 0;
    stale_ = true;
}

namespace {

// One step of the phase, as process(); counts a new cycle.
void stepPhase(double& phase, double increment, int& cycles) {
    phase += increment;
    if (phase >= 1) {
        phase -= 1;
        if (phase >= 1) phase -= std::floor(phase);
        ++cycles;
    }
}

constexpr std::uint64_t kTop = (std::uint64_t{1} << 53) - 1; // a binade's last multiple

// The phase's multiples of its binade's unit.
std::uint64_t multiplesOf(std::uint64_t bits) {
    return (bits & ((std::uint64_t{1} << 52) - 1)) | (kTop + 1) >> 1;
}

} // namespace

// Within one binade of the phase, [2^e, 2^(e+1)), every double is a multiple of u = 2^(e-52), and
// phase + increment rounds to phase + d, d the nearest multiple of u to the increment, unless the
// increment lies halfway between two (a tie, rounded by the phase's parity): so as long as the sum
// stays in the binade, m steps add m d exactly. The closed form does not apply to a phase outside
// (0, 1), whose unit is not normal.
int Lfo::binadeStep(std::uint64_t bits, double increment, std::uint64_t& units, double& d) {
    const int biased = static_cast<int>(bits >> 52);
    if (!(biased > 52 && biased < 1023 && increment > 0)) return 0;
    const std::uint64_t unitBits = static_cast<std::uint64_t>(biased - 52) << 52;
    double u;
    std::memcpy(&u, &unitBits, sizeof u);
    const double q = increment / u; // exact: a power of two, far from both ends
    if (!(q < 4503599627370496.0)) return 0;
    const double whole = std::floor(q);
    const double fraction = q - whole;
    if (fraction == 0.5) return -1;
    units = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
    d = static_cast<double>(units) * u;
    return 1;
}

// How many of the next n steps stay in the binade (and cycle), with d; 0 where the closed form
// does not apply, -1 for a tie.
int Lfo::binadeSteps(double phase, double increment, int n, double& d) {
    std::uint64_t bits;
    std::memcpy(&bits, &phase, sizeof bits);
    std::uint64_t units = 0;
    const int step = binadeStep(bits, increment, units, d);
    if (step <= 0) return step;
    if (units == 0) return n; // below half a multiple: no step moves the phase
    const std::uint64_t room = (kTop - multiplesOf(bits)) / units;
    return room < static_cast<std::uint64_t>(n) ? static_cast<int>(room) : n;
}

void Lfo::skipSteps(double& phase, double increment, int n, int& cycles) {
    while (n > 0) {
        double d = 0;
        const int m = binadeSteps(phase, increment, n, d);
        if (m < 0) {
            // A tie: one step at a time from here.
            for (; n > 0; --n)
                stepPhase(phase, increment, cycles);
            return;
        }
        if (m > 0) {
            phase += m * d; // exact within the binade
            n -= m;
            if (n == 0) return;
        }
        stepPhase(phase, increment, cycles);
        --n;
    }
}

bool Lfo::followsUnread(double firstPhase) const {
    // These shapes are continuous (the triangle across the cycle's end too) and change by at most
    // their slope (6.32 and 4) times the increment from sample to sample, plus rounding: below the
    // slew's step, it follows them exactly once it follows the first.
    if (!(increment_ > 0) || (waveform_ != Sine && waveform_ != Triangle)) return false;
    const double slope = waveform_ == Sine ? 6.33 : 4.01;
    return slope * increment_ + 1e-12 < valueSlew_.step &&
           !(std::fabs(shapeAt(firstPhase) - valueSlew_.current) > valueSlew_.step);
}

bool Lfo::wholeRun(int frames, double& d) {
    if (frames <= 0) return false;
    std::uint64_t bits;
    std::memcpy(&bits, &phase_, sizeof bits);
    // The step holds for the binade: found again only as the phase leaves it or the tempo moves.
    const int biased = static_cast<int>(bits >> 52);
    if (biased != runBinade_ || !(increment_ == runIncrement_)) {
        runBinade_ = biased;
        runIncrement_ = increment_;
        runApplies_ = binadeStep(bits, increment_, runUnits_, runStep_) > 0;
    }
    // As binadeSteps(phase_, increment_, frames, d) == frames: frames steps fit in the binade.
    // followsUnread rules out the other shapes and a standing phase.
    if (!runApplies_ || multiplesOf(bits) + frames * runUnits_ > kTop) return false;
    d = runStep_;
    return followsUnread(phase_ + d);
}

void Lfo::takeRun(int frames, double d) {
    phase_ += frames * d; // exact within the binade
    value_ = shapeAt(phase_);
    stale_ = false;
    valueSlew_.target = valueSlew_.current = value_;
    valueSlew_.reached = true;
}

int Lfo::advance(const EngineKernels& kernels, int frames, double* phases, int* cycleStarts,
                 bool outputsRead) {
    int cycles = 0;
    double phase = phase_;
    const double increment = increment_;
    if (!outputsRead && frames > 0) {
        double first = phase;
        stepPhase(first, increment, cycles);
        if (followsUnread(first)) {
            phases[0] = first;
            skipSteps(first, increment, frames - 1, cycles);
            phases[frames - 1] = phase_ = first;
            return cycles;
        }
        cycles = 0;
    }
    // The runs within one binade in closed form, as skipSteps takes them, where they are long
    // enough to pay; single steps across binades and cycles.
    for (int i = 0; i < frames;) {
        double d = 0;
        int m = binadeSteps(phase, increment, frames - i, d);
        if (m >= 8) {
            kernels.lfoRun(phase, d, m, phases + i);
            i += m;
            phase = phases[i - 1];
            continue;
        }
        // A tie takes the rest one by one, a short run as many.
        for (int end = m < 0 ? frames : i + std::max(m, 1); i < end; ++i) {
            phase += increment;
            if (phase >= 1) {
                phase -= 1;
                if (phase >= 1) phase -= std::floor(phase);
                cycleStarts[cycles++] = i;
            }
            phases[i] = phase;
        }
    }
    for (int k = frames; k % 4 != 0; ++k)
        phases[k] = phase;
    phase_ = phase;
    return cycles;
}

void Lfo::finish(const EngineKernels& kernels, const double* phases, const int* cycleStarts,
                 int cycles, const double* draws, int frames, double* out, bool outputsRead) {
    // The shape's values first, in out; the slew then follows them there.
    if (cycles > 0) stale_ = true;
    const bool follows = followsUnread(phases[0]);
    if (!outputsRead && follows) {
        // Nobody reads the outputs, only the state must come out right.
        value_ = shapeAt(phases[frames - 1]);
        valueSlew_.target = valueSlew_.current = value_;
        valueSlew_.reached = true;
        stale_ = false;
        return;
    }
    if (increment_ == 0) {
        // The phase stands: one value throughout.
        if (stale_) value_ = shape();
        for (int i = 0; i < frames; ++i)
            out[i] = value_;
    } else if (waveform_ == Random) {
        for (int i = 0, next = 0; i < frames; ++i) {
            if (next < cycles && cycleStarts[next] == i) held_ = draws[next++];
            out[i] = held_;
        }
        value_ = held_;
    } else {
        kernels.lfoShapes(waveform_, phases, frames, out);
        value_ = out[frames - 1];
    }
    stale_ = false;
    if (follows || kernels.slewFollows(out, frames, valueSlew_.current, valueSlew_.step)) {
        valueSlew_.target = valueSlew_.current = out[frames - 1];
        valueSlew_.reached = true;
        return;
    }
    for (int i = 0; i < frames; ++i) {
        valueSlew_.target = out[i];
        valueSlew_.advance();
        out[i] = valueSlew_.current;
    }
}

// Only reached when one sample's increment exceeds a whole cycle (an absurd tempo).
void Lfo::rewrapPhase() {
    phase_ -= std::floor(phase_);
}

} // namespace Korvel

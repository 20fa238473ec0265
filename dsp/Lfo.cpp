#include "dsp/Lfo.h"

#include "dsp/EngineKernels.h"

#include <cmath>

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

int Lfo::advance(const EngineKernels& kernels, int frames, double* phases, int* cycleStarts) {
    int cycles = 0;
    double phase = phase_;
    const double increment = increment_;
    // Four at a time while no new cycle begins: the phase only grows, so the last tells.
    int i = kernels.lfoRamp(phase, increment, frames, phases);
    for (; i < frames; ++i) {
        phase += increment;
        if (phase >= 1) {
            phase -= 1;
            if (phase >= 1) phase -= std::floor(phase);
            cycleStarts[cycles++] = i;
        }
        phases[i] = phase;
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
    if (!outputsRead && increment_ > 0 && (waveform_ == Sine || waveform_ == Triangle)) {
        // Nobody reads the outputs, only the state must come out right. These shapes are
        // continuous (the triangle across the cycle's end too) and change by at most their slope
        // (6.32 and 4) times the increment from sample to sample, plus rounding: below the slew's
        // step, it follows them exactly once it follows the first.
        const double slope = waveform_ == Sine ? 6.33 : 4.01;
        const double first = shapeAt(phases[0]);
        if (slope * increment_ + 1e-12 < valueSlew_.step &&
            !(std::fabs(first - valueSlew_.current) > valueSlew_.step)) {
            value_ = shapeAt(phases[frames - 1]);
            valueSlew_.target = valueSlew_.current = value_;
            valueSlew_.reached = true;
            stale_ = false;
            return;
        }
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
    if (kernels.slewFollows(out, frames, valueSlew_.current, valueSlew_.step)) {
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

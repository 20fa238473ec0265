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

int Lfo::advance(int frames, double* phases, int* cycleStarts) {
    int cycles = 0;
    double phase = phase_;
    const double increment = increment_;
    for (int i = 0; i < frames; ++i) {
        phase += increment;
        if (phase >= 1) {
            phase -= 1;
            if (phase >= 1) phase -= std::floor(phase);
            cycleStarts[cycles++] = i;
        }
        phases[i] = phase;
    }
    for (int i = frames; i % 4 != 0; ++i)
        phases[i] = phase;
    phase_ = phase;
    return cycles;
}

void Lfo::finish(const EngineKernels& kernels, const double* phases, const int* cycleStarts,
                 int cycles, const double* draws, int frames, double* values, double* out) {
    if (cycles > 0) stale_ = true;
    if (increment_ == 0) {
        // The phase stands: one value throughout.
        if (stale_) value_ = shape();
        for (int i = 0; i < frames; ++i)
            values[i] = value_;
    } else if (waveform_ == Random) {
        for (int i = 0, next = 0; i < frames; ++i) {
            if (next < cycles && cycleStarts[next] == i) held_ = draws[next++];
            values[i] = held_;
        }
        value_ = held_;
    } else {
        kernels.lfoShapes(waveform_, phases, frames, values);
        value_ = values[frames - 1];
    }
    stale_ = false;
    if (kernels.slewFollows(values, frames, valueSlew_.current, valueSlew_.step)) {
        for (int i = 0; i < frames; ++i)
            out[i] = values[i];
        valueSlew_.target = valueSlew_.current = values[frames - 1];
        valueSlew_.reached = true;
        return;
    }
    for (int i = 0; i < frames; ++i) {
        valueSlew_.target = values[i];
        valueSlew_.advance();
        out[i] = valueSlew_.current;
    }
}

// Only reached when one sample's increment exceeds a whole cycle (an absurd tempo).
void Lfo::rewrapPhase() {
    phase_ -= std::floor(phase_);
}

} // namespace Korvel

#include "dsp/Lfo.h"

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

// Only reached when one sample's increment exceeds a whole cycle (an absurd tempo).
void Lfo::rewrapPhase() {
    phase_ -= std::floor(phase_);
}

} // namespace Korvel

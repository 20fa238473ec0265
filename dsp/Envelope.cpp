#include "dsp/Envelope.h"

#include <cmath>

namespace Korvel {

void Envelope::begin(State state, double seconds, double span) {
    // A phase shorter than one sample (a time of 0, negative or not a number) takes one sample,
    // so the increment stays finite and at most 1.
    double samples = sampleRate_ * seconds;
    if (!(samples >= 1) || !std::isfinite(samples)) samples = 1;
    progress_ = 0;
    state_ = state;
    increment_ = 1 / samples;
    span_ = span;
    silent_ = state == Releasing && level_ == 0;
}

} // namespace Korvel

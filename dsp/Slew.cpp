#include "dsp/Slew.h"

#include <cmath>

namespace Korvel {

void Slew::setup(double rate, double fullScale, double time, double value) {
    sampleRate = rate;
    step = time > 0 ? std::fabs(fullScale / (rate * time)) : fullScale;
    target = value;
    current = value;
    reached = true;
}

} // namespace Korvel

// A rate limiter: the value follows its target by at most one step per sample.
#pragma once

#include <cmath>
#include <cstring>

namespace Korvel {

struct Slew {
    double sampleRate = 44100;
    double target = 0;
    double current = 0;
    double step = 0;
    bool reached = true;

    // A full-scale change takes `time` seconds; a time of 0 or less jumps in one sample.
    void setup(double rate, double fullScale, double time, double value);

    // Bit for bit, so that equal states are known to give equal futures.
    bool sameAs(const Slew& o) const {
        return std::memcmp(&sampleRate, &o.sampleRate, sizeof sampleRate) == 0 &&
               std::memcmp(&target, &o.target, sizeof target) == 0 &&
               std::memcmp(&current, &o.current, sizeof current) == 0 &&
               std::memcmp(&step, &o.step, sizeof step) == 0 && reached == o.reached;
    }

    // Moves current toward target; the last step lands on the target exactly. The common case
    // (within one step, including a distance that is not a number) is tested first.
    void advance() {
        double distance = target - current;
        if (!(std::fabs(distance) > step)) {
            current = target;
            reached = true;
        } else if (distance > 0) {
            current += step;
            reached = false;
        } else {
            current -= step;
            reached = false;
        }
    }
};

} // namespace Korvel

// A rate limiter: the value follows its target by at most one step per sample.
#pragma once

namespace Korvel {

struct Slew {
    double sampleRate = 44100;
    double target = 0;
    double current = 0;
    double step = 0;
    bool reached = true;

    // A full-scale change takes `time` seconds; a time of 0 or less jumps in one sample.
    void setup(double rate, double fullScale, double time, double value);

    // Moves current toward target; the last step lands on the target exactly.
    void advance() {
        double distance = target - current;
        if (distance > step) {
            current += step;
            reached = false;
        } else if (distance < -step) {
            current -= step;
            reached = false;
        } else {
            current = target;
            reached = true;
        }
    }
};

} // namespace Korvel

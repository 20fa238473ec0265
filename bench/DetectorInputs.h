// Inputs for timing the pitch detector: ten seconds of a sung line, of white noise or of silence.
#pragma once

#include "dsp/PitchDetector.h"
#include "tests/dsp/DetectorSignals.h"

#include <string>
#include <vector>

namespace Korvel {

inline std::vector<double> detectorInput(const std::string& kind, double sampleRate = 44100) {
    TestSignals::Builder b(sampleRate);
    if (kind == "noise")
        b.noise(10, 0.5);
    else if (kind == "silence")
        b.silence(10);
    else
        b.melody(10).addNoise(0.001);
    return b.samples();
}

// The detector as the default program sets it up.
inline void setDefaultProgram(PitchDetector& d) {
    d.setMinFreq(70);
    d.setMaxFreq(1200);
    d.setGate(-40);
    d.setSpeed(3);
}

} // namespace Korvel

#include "dsp/RandomGenerator.h"
#include "host/Ombrel.h"
#include "params/OmbrelParameters.h"

#include <algorithm>

namespace Korvel {

// Each change reaches the host as an edit of its own (begin, values, end): a host that records
// automation takes values only inside one, and would otherwise play its own back over the new
// sound.

void Ombrel::autoLevel() {
    // Every maxGain is 1, so the normalised values are the linear gains.
    const int gains[] = {kNoise1, kLevel1, kNoise2, kLevel2, kNoise3, kLevel3};
    double total = 0;
    for (int index : gains)
        total += parameterValue(index);
    // Peak of all tones and noises together at -3 dB, never louder than 0 dB.
    double gain = total > 0 ? 0.7079457843841379 / total : 1;
    gesture(kMainLvl, [&] { setParamNormalised(kMainLvl, std::min(gain, 1.0)); });
}

void Ombrel::randomise() {
    RandomGenerator& random = RandomGenerator::shared();
    auto normalised = [&](int index, double scale = 1) {
        gesture(index, [&] { setParamNormalised(index, scale * random.uniform()); });
    };
    auto real = [&](int index, double scale, double offset) {
        gesture(index, [&] { setParamReal(index, scale * random.uniform() + offset); });
    };

    normalised(kWave1);
    real(kDetune1, 20, -10);
    normalised(kAttk1);
    normalised(kRel1);
    normalised(kNoise1, 0.2);
    gesture(kLevel1, [&] { setParamReal(kLevel1, 0); }); // no draw

    normalised(kWave2);
    real(kPartial2, 3, 2);
    real(kDetune2, 20, -10);
    normalised(kAttk2);
    normalised(kRel2);
    normalised(kNoise2, 0.2);
    real(kLevel2, 18, -18);

    normalised(kWave3);
    // The third partial always lies above the second.
    double partial2 = parameterReal(kPartial2);
    gesture(kPartial3,
            [&] { setParamReal(kPartial3, random.uniform() * (6 - partial2) + partial2 + 1); });
    real(kDetune3, 20, -10);
    normalised(kAttk3);
    normalised(kRel3);
    normalised(kNoise3, 0.2);
    real(kLevel3, 18, -18);

    normalised(kLfoWave);
    normalised(kLfoFreq);
    normalised(kLfoDepth);
    autoLevel();
}

} // namespace Korvel

#include "params/OmbrelParameters.h"

#include "params/KEnumParam.h"
#include "params/KLogRangeParam.h"
#include "params/KRangeParam.h"
#include "params/KdBParam.h"

#include <cmath>
#include <memory>

namespace Korvel {

namespace {

const char* const kWaveItems[] = {"Sine", "Triangle", "Square", "Sawtooth"};
const char* const kLfoItems[] = {"Sine", "Triangle", "Square", "Rising", "Falling", "Random"};

// Each builder holds its parameter by owner until the list takes it: setting it up may allocate.
using Owned = std::unique_ptr<KEffectParameter>;

template <typename P> std::unique_ptr<P> named(const char* name, const char* unit) {
    std::unique_ptr<P> p(new P);
    p->setName(name);
    p->setUnit(unit);
    return p;
}

Owned logRange(const char* name, double min, double max, double def) {
    auto p = named<KLogRangeParam>(name, "Hz");
    p->setRange(min, max);
    p->setRealValue(def);
    return p;
}

Owned range(const char* name, const char* unit, double min, double max, int steps, double def,
            int decimals = 0) {
    auto p = named<KRangeParam>(name, unit);
    p->setRange(min, max, steps);
    p->setRealValue(def);
    p->setDecimals(decimals);
    return p;
}

Owned decibels(const char* name, double normalisedDefault) {
    auto p = named<KdBParam>(name, "dB");
    p->setMaxGain(1);
    p->setValue(normalisedDefault);
    p->setDecimals(1);
    return p;
}

template <int N> Owned choice(const char* name, const char* const (&items)[N]) {
    auto p = named<KEnumParam>(name, "");
    p->setItemCount(N);
    for (int i = 0; i < N; ++i)
        p->setItem(i, items[i]);
    p->setValue(0);
    return p;
}

} // namespace

void buildOmbrelParameters(KList<KEffectParameter>& list) {
    list.reserve(kOmbrelParamCount);
    list.set(kMinFreq, logRange("MinFreq", 20, 2000, 70));
    list.set(kMaxFreq, logRange("MaxFreq", 20, 2000, 1200));
    list.set(kGate, range("Gate", "dB", -80, -10, 70, -40));
    list.set(kSpeed, range("Speed", "", 1, 20, 19, 3));

    static const char* const names[3][7] = {
        {"Wave1", nullptr, "Detune1", "Attk1", "Rel1", "Noise1", "Level1"},
        {"Wave2", "Partial2", "Detune2", "Attk2", "Rel2", "Noise2", "Level2"},
        {"Wave3", "Partial3", "Detune3", "Attk3", "Rel3", "Noise3", "Level3"},
    };
    int index = kWave1;
    for (const auto& osc : names) {
        list.set(index++, choice(osc[0], kWaveItems));
        if (osc[1]) list.set(index++, range(osc[1], "", 1, 6, 5, 1));
        list.set(index++, range(osc[2], "cents", -99, 99, 198, 0));
        list.set(index++, range(osc[3], "s", 0.01, 0.5, 49, 0.01, 2));
        list.set(index++, range(osc[4], "s", 0.01, 0.5, 49, 0.01, 2));
        list.set(index++, decibels(osc[5], 0));
        list.set(index++, decibels(osc[6], 1));
    }

    list.set(kLfoWave, choice("LFOWave", kLfoItems));
    list.set(kLfoFreq, range("LFOFreq", "per bar", 1, 32, 31, 4));
    list.set(kLfoPhase, range("LFOPhase", "deg", 0, 359, 359, 0));
    list.set(kLfoDepth, range("LFODepth", "%", 0, 100, 100, 0));
    list.set(kMainLvl, decibels("MainLvl", std::pow(10.0, -0.625)));
}

void buildOmbrelCommands(KList<KEffectCommand>& list) {
    list.reserve(kOmbrelCommandCount);
    list.set(kCommandAutoLevel, new KEffectCommand("AutoLevel", kCommandAutoLevel));
    list.set(kCommandRandom, new KEffectCommand("Random", kCommandRandom));
}

} // namespace Korvel

// The effect's table of 29 parameters and 2 commands, in host index order.
#pragma once

#include "core/KList.h"
#include "params/KEffectCommand.h"
#include "params/KEffectParameter.h"

namespace Korvel {

enum OmbrelParam {
    kMinFreq = 0,
    kMaxFreq,
    kGate,
    kSpeed,
    kWave1,
    kDetune1,
    kAttk1,
    kRel1,
    kNoise1,
    kLevel1,
    kWave2,
    kPartial2,
    kDetune2,
    kAttk2,
    kRel2,
    kNoise2,
    kLevel2,
    kWave3,
    kPartial3,
    kDetune3,
    kAttk3,
    kRel3,
    kNoise3,
    kLevel3,
    kLfoWave,
    kLfoFreq,
    kLfoPhase,
    kLfoDepth,
    kMainLvl,
    kOmbrelParamCount
};

enum OmbrelCommand { kCommandAutoLevel = 0, kCommandRandom, kOmbrelCommandCount };

constexpr int kOmbrelProgramCount = 10;

void buildOmbrelParameters(KList<KEffectParameter>& list);
void buildOmbrelCommands(KList<KEffectCommand>& list);

} // namespace Korvel

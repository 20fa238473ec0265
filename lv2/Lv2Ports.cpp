#include "lv2/Lv2Ports.h"

#include "host/KEffect.h"
#include "params/KParameterScale.h"

#include <cmath>

namespace Korvel {
namespace Lv2 {

bool hasDecibelFloor(const KEffectParameter& parameter) {
    return describeScale(parameter).kind == KScaleKind::Decibels;
}

void applyPortValue(KEffect& effect, int index, bool decibelFloor, float value) {
    if (!std::isfinite(value)) return;
    if (decibelFloor && value <= kDecibelFloor)
        effect.setParamNormalised(index, 0);
    else
        effect.setParamReal(index, value);
}

} // namespace Lv2
} // namespace Korvel

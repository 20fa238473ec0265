#include "params/KParameterScale.h"

#include "params/KEnumParam.h"
#include "params/KLogRangeParam.h"
#include "params/KRangeParam.h"
#include "params/KdBParam.h"

#include <cmath>

namespace Korvel {

namespace {

bool whole(double x) {
    return std::floor(x) == x;
}

} // namespace

KParameterScale describeScale(const KEffectParameter& parameter) {
    KParameterScale scale;
    scale.defaultReal = parameter.toReal(parameter.getValue());
    if (parameter.typeIs(KRangeParam::classId())) {
        const auto& p = static_cast<const KRangeParam&>(parameter);
        scale.min = p.min();
        scale.max = p.max();
        scale.steps = p.steps() > 0 ? p.steps() : 0;
        scale.integer =
            scale.steps > 0 && whole(p.min()) && whole((p.max() - p.min()) / scale.steps);
    } else if (parameter.typeIs(KLogRangeParam::classId())) {
        const auto& p = static_cast<const KLogRangeParam&>(parameter);
        scale.kind = KScaleKind::Logarithmic;
        scale.min = p.min();
        scale.max = p.max();
    } else if (parameter.typeIs(KdBParam::classId())) {
        scale.kind = KScaleKind::Decibels;
        scale.min = -INFINITY;
        scale.max = parameter.toReal(1.0);
    } else if (parameter.typeIs(KEnumParam::classId())) {
        const auto& p = static_cast<const KEnumParam&>(parameter);
        scale.kind = KScaleKind::Choice;
        scale.max = p.itemCount() > 0 ? p.itemCount() - 1 : 0;
        scale.steps = static_cast<int>(scale.max);
        scale.integer = true;
        scale.choice = &p;
    } else {
        scale.defaultReal = parameter.getValue();
    }
    return scale;
}

} // namespace Korvel

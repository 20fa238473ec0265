#include "skin/KParamCheck.h"

#include "core/KEffectInterface.h"

namespace Korvel {

KTypeId KParamCheck::classId() {
    static const char tag = 0;
    return &tag;
}

KParamCheck::KParamCheck(KEffectInterface* effect, int parameterIndex, int comparison, double value)
    : effect_(effect), parameterIndex_(parameterIndex), comparison_(comparison), value_(value) {}

bool KParamCheck::evaluate() const {
    if (!effect_) return false;
    return compareValues(comparison_, effect_->parameterReal(parameterIndex_), value_);
}

} // namespace Korvel

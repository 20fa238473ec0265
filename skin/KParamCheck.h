// "Param" check: a parameter's real value (its display units) against a number.
#pragma once

#include "skin/KCheck.h"

namespace Korvel {

class KEffectInterface;

class KParamCheck : public KCheck {
public:
    static KTypeId classId();

    KParamCheck(KEffectInterface* effect, int parameterIndex, int comparison, double value);
    KTypeId typeId() const override { return classId(); }
    bool evaluate() const override;

private:
    KEffectInterface* effect_;
    int parameterIndex_;
    int comparison_;
    double value_;
};

} // namespace Korvel

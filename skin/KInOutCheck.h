// "InOut" check: the current input and output channel counts, both against their numbers.
#pragma once

#include "skin/KCheck.h"

namespace Korvel {

class KEffectInterface;

class KInOutCheck : public KCheck {
public:
    static KTypeId classId();

    KInOutCheck(KEffectInterface* effect, int inputComparison, int inputs, int outputComparison,
                int outputs);
    KTypeId typeId() const override { return classId(); }
    bool evaluate() const override;

private:
    KEffectInterface* effect_;
    int inputComparison_, inputs_;
    int outputComparison_, outputs_;
};

} // namespace Korvel

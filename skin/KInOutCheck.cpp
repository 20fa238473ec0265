#include "skin/KInOutCheck.h"

#include "core/KEffectInterface.h"

namespace Korvel {

KTypeId KInOutCheck::classId() {
    static const char tag = 0;
    return &tag;
}

KInOutCheck::KInOutCheck(KEffectInterface* effect, int inputComparison, int inputs,
                         int outputComparison, int outputs)
    : effect_(effect), inputComparison_(inputComparison), inputs_(inputs),
      outputComparison_(outputComparison), outputs_(outputs) {}

bool KInOutCheck::evaluate() const {
    if (!effect_) return false;
    return compareValues(inputComparison_, effect_->inputChannels(), inputs_) &&
           compareValues(outputComparison_, effect_->outputChannels(), outputs_);
}

} // namespace Korvel

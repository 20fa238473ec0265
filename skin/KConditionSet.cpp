#include "skin/KConditionSet.h"

#include "skin/KConditionRef.h"

namespace Korvel {

void KConditionSet::add(const KConditionRef* ref) {
    if (!ref) return;
    if (refs_.size() == refs_.capacity()) refs_.reserve(refs_.size() + kGrowStep);
    refs_.push_back(ref);
}

void KConditionSet::clear() {
    refs_.clear();
    else_ = false;
}

bool KConditionSet::holds() const {
    bool result = true;
    for (const KConditionRef* ref : refs_) {
        bool term = ref->holds();
        result = result && term;
    }
    return else_ ? !result : result;
}

} // namespace Korvel

#include "skin/KConditionRef.h"

#include "skin/KCheck.h"

namespace Korvel {

bool KConditionRef::holds() const {
    bool result = check_ ? check_->evaluate() : true;
    return negate_ ? !result : result;
}

} // namespace Korvel

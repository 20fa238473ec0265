#include "skin/KCheck.h"

#include "core/KText.h"

namespace Korvel {

int comparisonCode(const char* word) {
    static const char* const words[] = {"==", "!=", ">", "<", ">=", "<="};
    for (int i = 0; i < kInvalid; ++i)
        if (equalsNoCase(word, words[i])) return i;
    return kInvalid;
}

bool compareValues(int comparison, double live, double reference) {
    switch (comparison) {
    case kEqual:
        return live == reference;
    case kNotEqual:
        return live != reference;
    case kGreater:
        return live > reference;
    case kLess:
        return live < reference;
    case kGreaterOrEqual:
        return live >= reference;
    case kLessOrEqual:
        return live <= reference;
    default:
        return false;
    }
}

} // namespace Korvel

// Base of the skin's named checks ("AddCheck"): a test of live plug-in state.
#pragma once

#include "core/KIdBase.h"

namespace Korvel {

// Comparison codes of the words "==", "!=", ">", "<", ">=", "<="; kInvalid for any other word.
enum KComparison {
    kEqual = 0,
    kNotEqual,
    kGreater,
    kLess,
    kGreaterOrEqual,
    kLessOrEqual,
    kInvalid
};

// [any] The code of a comparison word; kInvalid for null or an unknown word.
int comparisonCode(const char* word);
// [any] live <op> reference; false for kInvalid.
bool compareValues(int comparison, double live, double reference);

class KCheck : public KIdBase {
public:
    ~KCheck() override = default;
    // [ui]
    virtual bool evaluate() const = 0;
};

} // namespace Korvel

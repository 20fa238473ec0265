// One term of a condition set: a check, possibly negated. The editor hands out one shared
// reference per (check, negate) pair; references own nothing.
#pragma once

namespace Korvel {

class KCheck;

class KConditionRef {
public:
    KConditionRef(const KCheck* check, bool negate) : check_(check), negate_(negate) {}

    const KCheck* check() const { return check_; }
    bool negated() const { return negate_; }
    // [ui] The check's answer, inverted when negated; a reference without a check holds.
    bool holds() const;

private:
    const KCheck* check_;
    bool negate_;
};

} // namespace Korvel

// The conditions a control or background entry depends on: all terms must hold, then the else
// flag inverts the result. Copied by value into everything the skin creates.
#pragma once

#include <cstddef>
#include <vector>

namespace Korvel {

class KConditionRef;

class KConditionSet {
public:
    static constexpr int kGrowStep = 32;

    // [ui] Appends a term (not owned); null is ignored.
    void add(const KConditionRef* ref);
    // [ui] Empties the terms and clears the else flag.
    void clear();
    void toggleElse() { else_ = !else_; }
    bool elseFlag() const { return else_; }
    int size() const { return static_cast<int>(refs_.size()); }
    const KConditionRef* at(int i) const { return refs_[static_cast<std::size_t>(i)]; }

    // [ui] Evaluates every term (no early exit: checks read live state) and applies the else flag.
    // An empty set holds; an empty set with the else flag does not.
    bool holds() const;

private:
    std::vector<const KConditionRef*> refs_;
    bool else_ = false;
};

} // namespace Korvel

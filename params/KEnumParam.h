// A choice among named items; the real value is the item index.
#pragma once

#include "params/KEffectParameter.h"

#include <memory>

namespace Korvel {

class KEnumParam : public KEffectParameter {
public:
    static constexpr int kMaxItem = 20;
    static KTypeId classId();

    KTypeId typeId() const override { return classId(); }
    // The item name; a cell outside 0..1 shows the nearest end of the list.
    void formatValue(char* buffer, std::size_t size, KConstCell cell) const override;
    // Selects the first item whose name equals the text in any letter case; else no change.
    void parseInto(KCell cell, const char* text) const override;
    // Always an index inside the item list, whatever the cell holds.
    double toReal(double n) const override;
    double fromReal(double r) const override;

    void setItemCount(int count);
    void setItem(int index, const char* text);
    int itemCount() const { return count_; }
    const char* item(int index) const;

private:
    struct Item {
        char text[kMaxItem + 1];
    };
    int count_ = 0;
    std::unique_ptr<Item[]> items_;
};

} // namespace Korvel

#include "params/KEnumParam.h"

#include "core/KText.h"

#include <cmath>
#include <cstring>

namespace Korvel {

KTypeId KEnumParam::classId() {
    static const char tag = 0;
    return &tag;
}

void KEnumParam::formatValue(char* buffer, std::size_t size, KConstCell cell) const {
    if (!buffer || size == 0) return;
    double index = std::floor(cellReal(cell) + 0.5);
    copyText(buffer, item(static_cast<int>(index)), size - 1);
}

void KEnumParam::parseInto(KCell cell, const char* text) const {
    for (int i = 0; i < count_; ++i)
        if (equalsNoCase(items_[i].text, text)) {
            storeReal(cell, i);
            return;
        }
}

double KEnumParam::toReal(double n) const {
    if (count_ <= 1) return 0;
    double index = std::floor((count_ - 1) * n + 0.5);
    if (!(index > 0)) return 0;
    return index > count_ - 1 ? count_ - 1 : index;
}

double KEnumParam::fromReal(double r) const {
    if (count_ <= 1) return 0;
    return clamp01(r / (count_ - 1));
}

void KEnumParam::setItemCount(int count) {
    if (count < 0) count = 0;
    if (count != count_ || !items_) items_.reset(count > 0 ? new Item[count] : nullptr);
    if (items_) std::memset(items_.get(), 0, sizeof(Item) * static_cast<std::size_t>(count));
    count_ = count;
}

void KEnumParam::setItem(int index, const char* text) {
    if (index < 0 || index >= count_) return;
    copyText(items_[index].text, text, kMaxItem);
}

const char* KEnumParam::item(int index) const {
    if (count_ <= 0) return "";
    if (index < 0) index = 0;
    if (index >= count_) index = count_ - 1;
    return items_[index].text;
}

} // namespace Korvel

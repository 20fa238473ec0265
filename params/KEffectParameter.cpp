#include "params/KEffectParameter.h"

#include "core/KText.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace Korvel {

double clamp01(double x) {
    if (!(x > 0)) return 0;
    return x > 1 ? 1 : x;
}

double KEffectParameter::cellValue(KConstCell cell) const {
    if (!cell) return 0;
    double n;
    std::memcpy(&n, cell, sizeof n);
    return n;
}

void KEffectParameter::storeValue(KCell cell, double n) const {
    if (!cell) return;
    std::memcpy(cell, &n, sizeof n);
}

void KEffectParameter::formatValue(char* buffer, std::size_t size, KConstCell cell) const {
    formatReal(buffer, size, cellReal(cell));
}

void KEffectParameter::formatValueWithUnit(char* buffer, std::size_t size, KConstCell cell) const {
    formatValue(buffer, size, cell);
    if (unit_[0] == 0) return;
    appendText(buffer, size, " ");
    appendText(buffer, size, unit_);
}

void KEffectParameter::parseInto(KCell cell, const char* text) const {
    storeReal(cell, parseRealText(text));
}

void KEffectParameter::setUnit(const char* text) {
    copyText(unit_, text, kMaxUnit);
}

double KEffectParameter::roundToDecimals(double x) const {
    if (!std::isfinite(x)) return x;
    double f = 1;
    int d = decimals_;
    for (; d >= 8; d -= 8)
        f *= 1e8;
    for (; d > 0; --d)
        f *= 10;
    double scaled = f * x;
    // Beyond 32 bits the value is already far finer than the display precision.
    if (!(std::fabs(scaled) < 2147483647.0)) return x;
    double t = scaled < 0 ? scaled - 0.5 : scaled + 0.5;
    return static_cast<std::int32_t>(t) / f;
}

void KEffectParameter::formatReal(char* buffer, std::size_t size, double x) const {
    if (!buffer || size == 0) return;
    if (x == -std::numeric_limits<double>::infinity())
        copyText(buffer, "-Inf", size - 1);
    else if (x == std::numeric_limits<double>::infinity())
        copyText(buffer, "Inf", size - 1);
    else
        formatFixed(buffer, size, x, decimals_);
}

} // namespace Korvel

// Base of the four parameter classes. A parameter owns its two mappings between the normalised
// value the host sees (0..1) and the real value (hertz, decibels, an item index...), its display
// text and its parsing of typed text. Per-program values live in the program bank; the operations
// here work on value cells: 8 bytes holding a little-endian double, not aligned, addressed by
// pointer (a place in chunk bytes or a KCellCopy).
#pragma once

#include "core/KIdBase.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Korvel {

using KCell = unsigned char*;
using KConstCell = const unsigned char*;

// A value cell copied out of shared storage: the 8 bytes that the cell operations below read and
// write in place, so a value can be loaded, changed and stored back as one word. It stands for no
// cell (its pointer is null) when it was copied from outside the bank.
class KCellCopy {
public:
    static constexpr std::size_t kBytes = sizeof(std::uint64_t);

    KCellCopy() = default;
    explicit KCellCopy(std::uint64_t bits) : valid_(true) { std::memcpy(bytes_, &bits, kBytes); }

    bool valid() const { return valid_; }
    KCell cell() { return valid_ ? bytes_ : nullptr; }
    KConstCell cell() const { return valid_ ? bytes_ : nullptr; }
    // Read-only use wherever a cell is expected, e.g. p->cellReal(effect.currentCell(i)).
    operator KConstCell() const { return cell(); }
    std::uint64_t bits() const {
        std::uint64_t bits;
        std::memcpy(&bits, bytes_, kBytes);
        return bits;
    }

private:
    alignas(std::uint64_t) unsigned char bytes_[kBytes] = {};
    bool valid_ = false;
};

// NaN-safe: NaN maps to 0, so no mapping can hand a NaN on.
double clamp01(double x);

class KEffectParameter : public KIdBase {
public:
    static constexpr int kMaxUnit = 8;

    ~KEffectParameter() override = default;

    virtual void setValue(double n) { value_ = n; }
    virtual void setRealValue(double r) { setValue(fromReal(r)); }
    // Not the current value (that lives in the current program's cell) but the parameter's own,
    // which the factory sets to the default and nothing changes later, so it serves as the
    // default: Control-click restores it. The class layout has this one field for both roles; it
    // must not be turned into a live value.
    virtual double getValue() const { return value_; }
    virtual void setDecimals(int d) { decimals_ = d; }
    virtual bool acceptsText() const { return true; }
    virtual int valueSize() const { return 8; }
    virtual double cellValue(KConstCell cell) const;
    virtual double cellQuantised(KConstCell cell) const { return quantise(cellValue(cell)); }
    virtual double cellReal(KConstCell cell) const { return toReal(cellValue(cell)); }
    virtual void formatValue(char* buffer, std::size_t size, KConstCell cell) const;
    virtual void formatValueWithUnit(char* buffer, std::size_t size, KConstCell cell) const;
    virtual void storeValue(KCell cell, double n) const;
    virtual void storeReal(KCell cell, double r) const { storeValue(cell, fromReal(r)); }
    virtual void parseInto(KCell cell, const char* text) const;
    virtual void storeOwnValue(KCell cell) const { storeValue(cell, value_); }
    virtual double toReal(double n) const = 0;
    virtual double fromReal(double r) const = 0;
    virtual double quantise(double n) const { return fromReal(toReal(n)); }

    void setUnit(const char* text);
    const char* unit() const { return unit_; }
    int decimals() const { return decimals_; }

protected:
    // Half away from zero at the display precision; non-finite values pass unchanged.
    double roundToDecimals(double x) const;
    // Display text of a real value: "-Inf", "Inf" or fixed-point with `decimals` places.
    void formatReal(char* buffer, std::size_t size, double x) const;

private:
    [[maybe_unused]] char extra_[65] = {}; // reserved text field, unused by this plug-in
    char unit_[kMaxUnit + 1] = {};
    int decimals_ = 0;
    double value_ = 0;
};

} // namespace Korvel

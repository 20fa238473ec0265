// Logarithmic scale from min to max (both positive).
#pragma once

#include "params/KEffectParameter.h"

namespace Korvel {

class KLogRangeParam : public KEffectParameter {
public:
    static KTypeId classId();

    KTypeId typeId() const override { return classId(); }
    double toReal(double n) const override;
    // Zero, negative or "-Inf" typed values give 0: their logarithm would be NaN.
    double fromReal(double r) const override;

    void setRange(double min, double max);
    double min() const { return min_; }
    double max() const { return max_; }

private:
    double min_ = 1;
    double max_ = 2;
};

} // namespace Korvel

// Linear scale from min to max, continuous or in `steps` equal steps.
#pragma once

#include "params/KEffectParameter.h"

namespace Korvel {

class KRangeParam : public KEffectParameter {
public:
    static KTypeId classId();

    KTypeId typeId() const override { return classId(); }
    double toReal(double n) const override;
    double fromReal(double r) const override;

    void setRange(double min, double max, int steps);
    double min() const { return min_; }
    double max() const { return max_; }
    int steps() const { return steps_; }

private:
    double min_ = 0;
    double max_ = 1;
    int steps_ = 0;
};

} // namespace Korvel

// The normalised value is a linear gain (maxGain at 1), shown in decibels.
#pragma once

#include "params/KEffectParameter.h"

namespace Korvel {

class KdBParam : public KEffectParameter {
public:
    static KTypeId classId();

    KTypeId typeId() const override { return classId(); }
    // Gains at or below zero (silence, or a stray host value below 0) read as minus infinity.
    double toReal(double n) const override;
    double fromReal(double r) const override;

    void setMaxGain(double gain) { maxGain_ = gain; }
    double maxGain() const { return maxGain_; }

private:
    double maxGain_ = 1;
};

} // namespace Korvel

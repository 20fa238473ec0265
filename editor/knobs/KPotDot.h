// KPotDot: a knob drawn as a small dot at the value's angle, over a highlight disc while held.
// Constructor: KPotDot(placement, int parameter, std::uint32_t highlight, double radius,
//                      std::uint32_t dot); colours packed RGBA, red in the low byte. [ui]
#pragma once

#include "editor/knobs/KParamControl.h"

#include <cstdint>

namespace Korvel {

class KPotDot : public KParamControl {
public:
    static KTypeId classId();
    // Radius of the dot itself, in pixels.
    static constexpr double kDotRadius = 2;

    KPotDot(const KControlPlacement& placement, int parameter, std::uint32_t highlight,
            double radius, std::uint32_t dot);
    KTypeId typeId() const override { return classId(); }

    double radius() const { return radius_; }
    double lastDrawnValue() const { return lastValue_; }

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;

private:
    std::uint32_t highlight_;
    std::uint32_t dot_;
    double radius_;
    double lastValue_ = -1;
};

} // namespace Korvel

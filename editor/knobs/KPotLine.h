// KPotLine: a knob drawn as a line from its centre to the value's angle, over a highlight disc
// while held.
// Constructor: KPotLine(placement, int parameter, std::uint32_t highlight, double length,
//                       std::uint32_t line); colours packed RGBA, red in the low byte. [ui]
#pragma once

#include "editor/knobs/KParamControl.h"

#include <cstdint>

namespace Korvel {

class KPotLine : public KParamControl {
public:
    static KTypeId classId();
    static constexpr double kLineWidth = 1.5;

    KPotLine(const KControlPlacement& placement, int parameter, std::uint32_t highlight,
             double radius, std::uint32_t line);
    KTypeId typeId() const override { return classId(); }

    double radius() const { return radius_; }

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;

private:
    std::uint32_t highlight_;
    std::uint32_t line_;
    double radius_;
    double lastValue_ = -1;
};

} // namespace Korvel

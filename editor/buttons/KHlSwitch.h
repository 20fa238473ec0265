// KHlSwitch: an on/off switch drawn as a mark (disc on, cross off) with a highlight while
// pressed.
// Constructor: KHlSwitch(placement, int parameter, int markX, int markY, int markWidth,
//                        int markHeight, std::uint32_t cross, std::uint32_t disc,
//                        std::uint32_t highlight); colours packed RGBA, red lowest. [ui]
#pragma once

#include "editor/buttons/KHighlightMark.h"
#include "editor/buttons/KSwitchControl.h"

namespace Korvel {

class KHlSwitch : public KSwitchControl {
public:
    static KTypeId classId();

    KHlSwitch(const KControlPlacement& placement, int parameter, int markX, int markY,
              int markWidth, int markHeight, std::uint32_t cross, std::uint32_t disc,
              std::uint32_t highlight);
    KTypeId typeId() const override { return classId(); }

    const KHighlightMark& mark() const { return mark_; }
    // State of the last paint: -1 before it, else 1 on, 0 off.
    int drawnState() const { return drawnState_; }

    // Repaints when the on state or the pressed state changed. Comparing the state rather than
    // the raw value keeps a switch on a parameter between 0 and 1 from repainting every draw.
    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;

private:
    KHighlightMark mark_;
    int drawnState_ = -1;
    bool drawnPressed_ = false;
};

} // namespace Korvel

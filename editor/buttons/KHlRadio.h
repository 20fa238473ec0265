// KHlRadio: one option of a radio group drawn as a mark (disc selected, cross not) with a
// highlight while pressed.
// Constructor: KHlRadio(placement, int parameter, int option, int highest, int markX, int markY,
//                       int markWidth, int markHeight, std::uint32_t cross, std::uint32_t disc,
//                       std::uint32_t highlight); colours packed RGBA, red lowest. [ui]
#pragma once

#include "editor/buttons/KHighlightMark.h"
#include "editor/buttons/KRadioControl.h"

namespace Korvel {

class KHlRadio : public KRadioControl {
public:
    static KTypeId classId();

    KHlRadio(const KControlPlacement& placement, int parameter, int option, int highest, int markX,
             int markY, int markWidth, int markHeight, std::uint32_t cross, std::uint32_t disc,
             std::uint32_t highlight);
    KTypeId typeId() const override { return classId(); }

    const KHighlightMark& mark() const { return mark_; }
    // State of the last paint: -1 before it, else 1 selected, 0 not.
    int drawnState() const { return drawnState_; }

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;

private:
    KHighlightMark mark_;
    int drawnState_ = -1;
    bool drawnPressed_ = false;
};

} // namespace Korvel

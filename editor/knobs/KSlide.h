// KSlide: a vertical slider whose knob is frame 0 of an image; it travels from the bottom (value
// 0) to the top (value 1) of the control. Only a press on the knob takes the mouse; dragging the
// knob by its whole travel covers the whole range (a tenth with Shift), horizontal movement is
// ignored, and a Control-click restores the default. It shares the edit sequence of the knobs.
// Constructor: KSlide(placement, int parameter, const KImageResource* knob,
//                     std::uint32_t highlight, int highlightX, int highlightY, int highlightWidth,
//                     int highlightHeight); highlightY is relative to the knob's top. [ui]
#pragma once

#include "editor/knobs/KParamControl.h"

#include <cstdint>

namespace Korvel {

class KImageResource;

class KSlide : public KParamControl {
public:
    static KTypeId classId();

    KSlide(const KControlPlacement& placement, int parameter, const KImageResource* knob,
           std::uint32_t highlight, int highlightX, int highlightY, int highlightWidth,
           int highlightHeight);
    KTypeId typeId() const override { return classId(); }

    // The control's height minus the knob's, fixed at construction.
    int travel() const { return travel_; }
    // Top of the knob in control coordinates for the shown value.
    int knobPosition() const;
    bool onKnob(int x, int y) const;

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;
    int cursorKind(int x, int y) override;
    bool mouseDown(bool shift, bool control, int x, int y) override;

protected:
    double dragDelta(int x, int y) const override;

private:
    const KImageResource* knob_;
    std::uint32_t highlight_;
    int highlightX_, highlightY_, highlightWidth_, highlightHeight_;
    int lastPosition_ = -1;
    int travel_;
};

} // namespace Korvel

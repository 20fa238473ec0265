#include "editor/knobs/KSlide.h"

#include "editor/KDrawSurface.h"
#include "skin/KImageResource.h"

namespace Korvel {

KTypeId KSlide::classId() {
    static const char tag = 0;
    return &tag;
}

KSlide::KSlide(const KControlPlacement& placement, int parameter, const KImageResource* knob,
               std::uint32_t highlight, int highlightX, int highlightY, int highlightWidth,
               int highlightHeight)
    : KParamControl(placement, parameter), knob_(knob), highlight_(highlight),
      highlightX_(highlightX), highlightY_(highlightY), highlightWidth_(highlightWidth),
      highlightHeight_(highlightHeight),
      travel_(placement.height - (knob ? knob->frameHeight() : 0)) {}

int KSlide::knobPosition() const {
    return travel_ - static_cast<int>(shownValue() * (travel_ - 1) + 0.5);
}

bool KSlide::onKnob(int x, int y) const {
    if (!knob_) return false;
    int top = knobPosition();
    return x >= 0 && x < knob_->frameWidth() && y >= top && y < top + knob_->frameHeight();
}

bool KSlide::needsRedraw() const {
    return KEditorControl::needsRedraw() || knobPosition() != lastPosition_;
}

void KSlide::paint(KDrawSurface& surface) {
    int top = knobPosition();
    int ox = 0, oy = 0;
    if (knob_ && knob_->usable() && knob_->frameOrigin(0, &ox, &oy))
        surface.image(knob_->handle(), ox, oy, knob_->frameWidth(), knob_->frameHeight(), 0, top);
    if (held_)
        surface.fillRectRGBA(highlightX_, top + highlightY_, highlightWidth_, highlightHeight_,
                             highlight_);
    lastPosition_ = top;
}

int KSlide::cursorKind(int x, int y) {
    return held_ || onKnob(x, y) ? kCursorHand : kCursorDefault;
}

bool KSlide::mouseDown(bool shift, bool control, int x, int y) {
    if (!held_ && !onKnob(x, y)) return false;
    return KParamControl::mouseDown(shift, control, x, y);
}

double KSlide::dragDelta(int, int y) const {
    // A knob as tall as the control (or taller) has no travel: nothing to drag, and no division
    // by zero that would store a NaN.
    if (travel_ <= 0) return 0;
    return static_cast<double>(anchorY_ - y) / travel_;
}

} // namespace Korvel

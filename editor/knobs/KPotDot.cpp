#include "editor/knobs/KPotDot.h"

#include "editor/KDrawSurface.h"

namespace Korvel {

KTypeId KPotDot::classId() {
    static const char tag = 0;
    return &tag;
}

KPotDot::KPotDot(const KControlPlacement& placement, int parameter, std::uint32_t highlight,
                 double radius, std::uint32_t dot)
    : KParamControl(placement, parameter), highlight_(highlight), dot_(dot), radius_(radius) {}

bool KPotDot::needsRedraw() const {
    return KEditorControl::needsRedraw() || shownValueDiffers(lastValue_);
}

void KPotDot::paint(KDrawSurface& surface) {
    double v = shownValue();
    if (held_) surface.fillCircle(width_ * 0.5, height_ * 0.5, (width_ - 1) * 0.5, highlight_);
    double x = 0, y = 0;
    knobPoint(v, radius_, &x, &y);
    surface.fillCircle(x, y, kDotRadius, dot_);
    lastValue_ = v;
}

} // namespace Korvel

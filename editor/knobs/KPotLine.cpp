#include "editor/knobs/KPotLine.h"

#include "editor/KDrawSurface.h"

namespace Korvel {

KTypeId KPotLine::classId() {
    static const char tag = 0;
    return &tag;
}

KPotLine::KPotLine(const KControlPlacement& placement, int parameter, std::uint32_t highlight,
                   double radius, std::uint32_t line)
    : KParamControl(placement, parameter), highlight_(highlight), line_(line), radius_(radius) {}

bool KPotLine::needsRedraw() const {
    return KEditorControl::needsRedraw() || shownValueDiffers(lastValue_);
}

void KPotLine::paint(KDrawSurface& surface) {
    double v = shownValue();
    double cx = width_ * 0.5, cy = height_ * 0.5;
    if (held_) surface.fillCircle(cx, cy, (width_ - 1) * 0.5, highlight_);
    double x = 0, y = 0;
    knobPoint(v, radius_, &x, &y);
    surface.line(cx, cy, x, y, kLineWidth, line_);
    lastValue_ = v;
}

} // namespace Korvel

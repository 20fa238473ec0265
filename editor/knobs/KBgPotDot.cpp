#include "editor/knobs/KBgPotDot.h"

#include "editor/KDrawSurface.h"
#include "editor/knobs/KPotDot.h"

namespace Korvel {

KTypeId KBgPotDot::classId() {
    static const char tag = 0;
    return &tag;
}

KBgPotDot::KBgPotDot(const KControlPlacement& placement, int parameter, const KImageResource* image,
                     double radius, std::uint32_t dot)
    : KParamControl(placement, parameter), frame_(image), dot_(dot), radius_(radius) {}

int KBgPotDot::frameToDraw() const {
    return held_ && frame_.count() > 1 ? 1 : 0;
}

bool KBgPotDot::needsRedraw() const {
    // Press and release request a redraw themselves, so the frame need not be compared.
    return KEditorControl::needsRedraw() || shownValueDiffers(lastValue_);
}

void KBgPotDot::paint(KDrawSurface& surface) {
    double v = shownValue();
    frame_.paint(surface, frameToDraw());
    double x = 0, y = 0;
    knobPoint(v, radius_, &x, &y);
    surface.fillCircle(x, y, KPotDot::kDotRadius, dot_);
    lastValue_ = v;
}

} // namespace Korvel

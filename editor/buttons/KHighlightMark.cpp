#include "editor/buttons/KHighlightMark.h"

#include "editor/KDrawSurface.h"

#include <algorithm>

namespace Korvel {

void KHighlightMark::paint(KDrawSurface& surface, bool on, bool pressed, int controlWidth,
                           int controlHeight) const {
    double cx = x + width * 0.5;
    double cy = y + height * 0.5;
    double r = 0.5 * std::min(width, height);
    if (on) {
        surface.fillCircle(cx, cy, r, disc);
    } else {
        double d = r * 0.7;
        surface.line(cx - d, cy - d, cx + d, cy + d, 1.5, cross);
        surface.line(cx - d, cy + d, cx + d, cy - d, 1.5, cross);
    }
    if (pressed) surface.fillRectRGBA(0, 0, controlWidth, controlHeight, highlight);
}

} // namespace Korvel

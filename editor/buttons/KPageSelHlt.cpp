#include "editor/buttons/KPageSelHlt.h"

#include "editor/KDrawSurface.h"

namespace Korvel {

KTypeId KPageSelHlt::classId() {
    static const char tag = 0;
    return &tag;
}

KPageSelHlt::KPageSelHlt(const KControlPlacement& placement, int page, std::uint32_t colour)
    : KPageControl(placement, page), colour_(colour) {}

bool KPageSelHlt::needsRedraw() const {
    return KPageControl::needsRedraw() || drawnPressed_ != pressed_;
}

void KPageSelHlt::paint(KDrawSurface& surface) {
    if (pressed_) surface.fillRectRGBA(0, 0, width_, height_, colour_);
    drawnPressed_ = pressed_;
}

} // namespace Korvel

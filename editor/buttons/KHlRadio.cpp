#include "editor/buttons/KHlRadio.h"

namespace Korvel {

KTypeId KHlRadio::classId() {
    static const char tag = 0;
    return &tag;
}

KHlRadio::KHlRadio(const KControlPlacement& placement, int parameter, int option, int highest,
                   int markX, int markY, int markWidth, int markHeight, std::uint32_t cross,
                   std::uint32_t disc, std::uint32_t highlight)
    : KRadioControl(placement, parameter, option, highest), mark_{markX,      markY, markWidth,
                                                                  markHeight, cross, disc,
                                                                  highlight} {}

bool KHlRadio::needsRedraw() const {
    return KRadioControl::needsRedraw() || drawnState_ != (isSelected() ? 1 : 0) ||
           drawnPressed_ != pressed_;
}

void KHlRadio::paint(KDrawSurface& surface) {
    bool selected = isSelected();
    mark_.paint(surface, selected, pressed_, width_, height_);
    drawnState_ = selected ? 1 : 0;
    drawnPressed_ = pressed_;
}

} // namespace Korvel

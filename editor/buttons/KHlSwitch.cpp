#include "editor/buttons/KHlSwitch.h"

namespace Korvel {

KTypeId KHlSwitch::classId() {
    static const char tag = 0;
    return &tag;
}

KHlSwitch::KHlSwitch(const KControlPlacement& placement, int parameter, int markX, int markY,
                     int markWidth, int markHeight, std::uint32_t cross, std::uint32_t disc,
                     std::uint32_t highlight)
    : KSwitchControl(placement, parameter), mark_{markX, markY, markWidth, markHeight,
                                                  cross, disc,  highlight} {}

bool KHlSwitch::needsRedraw() const {
    return KSwitchControl::needsRedraw() || drawnState_ != (isOn() ? 1 : 0) ||
           drawnPressed_ != pressed_;
}

void KHlSwitch::paint(KDrawSurface& surface) {
    bool on = isOn();
    mark_.paint(surface, on, pressed_, width_, height_);
    drawnState_ = on ? 1 : 0;
    drawnPressed_ = pressed_;
}

} // namespace Korvel

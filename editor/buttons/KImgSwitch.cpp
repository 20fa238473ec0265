#include "editor/buttons/KImgSwitch.h"

namespace Korvel {

KTypeId KImgSwitch::classId() {
    static const char tag = 0;
    return &tag;
}

KImgSwitch::KImgSwitch(const KControlPlacement& placement, int parameter,
                       const KImageResource* image)
    : KSwitchControl(placement, parameter), frame_(image) {}

int KImgSwitch::frameToDraw() const {
    return KImageFrame::pressedFrame(isOn() ? 1 : 0, pressed_, frame_.count());
}

bool KImgSwitch::needsRedraw() const {
    return KSwitchControl::needsRedraw() || frame_.differs(frameToDraw());
}

void KImgSwitch::paint(KDrawSurface& surface) {
    frame_.paint(surface, frameToDraw());
}

} // namespace Korvel

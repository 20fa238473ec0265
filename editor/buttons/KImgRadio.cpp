#include "editor/buttons/KImgRadio.h"

namespace Korvel {

KTypeId KImgRadio::classId() {
    static const char tag = 0;
    return &tag;
}

KImgRadio::KImgRadio(const KControlPlacement& placement, int parameter, int option, int highest,
                     const KImageResource* image)
    : KRadioControl(placement, parameter, option, highest), frame_(image) {}

int KImgRadio::frameToDraw() const {
    return KImageFrame::pressedFrame(isSelected() ? 1 : 0, pressed_, frame_.count());
}

bool KImgRadio::needsRedraw() const {
    return KRadioControl::needsRedraw() || frame_.differs(frameToDraw());
}

void KImgRadio::paint(KDrawSurface& surface) {
    frame_.paint(surface, frameToDraw());
}

} // namespace Korvel

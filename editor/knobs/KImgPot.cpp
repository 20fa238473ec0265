#include "editor/knobs/KImgPot.h"

namespace Korvel {

KTypeId KImgPot::classId() {
    static const char tag = 0;
    return &tag;
}

KImgPot::KImgPot(const KControlPlacement& placement, int parameter, const KImageResource* image)
    : KParamControl(placement, parameter), frame_(image) {}

int KImgPot::frameToDraw() const {
    int frames = frame_.count();
    if (frames <= 1) return 0;
    int n = static_cast<int>(shownValue() * (frames - 1) + 0.5);
    return n < 0 ? 0 : (n > frames - 1 ? frames - 1 : n);
}

bool KImgPot::needsRedraw() const {
    return KEditorControl::needsRedraw() || frame_.differs(frameToDraw());
}

void KImgPot::paint(KDrawSurface& surface) {
    frame_.paint(surface, frameToDraw());
}

} // namespace Korvel

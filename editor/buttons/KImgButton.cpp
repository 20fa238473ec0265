#include "editor/buttons/KImgButton.h"

#include "core/KEffectInterface.h"

namespace Korvel {

KTypeId KImgButton::classId() {
    static const char tag = 0;
    return &tag;
}

KImgButton::KImgButton(const KControlPlacement& placement, int parameter,
                       const KImageResource* image)
    : KEditorControl(placement), parameter_(parameter), frame_(image) {}

int KImgButton::frameToDraw() const {
    bool high = effect_ && effect_->parameterValue(parameter_) >= 0.5;
    int frames = frame_.count();
    if (frames >= 3) return pressed_ ? 2 : high ? 1 : 0;
    if (frames == 2) return high || pressed_ ? 1 : 0;
    return 0;
}

bool KImgButton::needsRedraw() const {
    return KEditorControl::needsRedraw() || frame_.differs(frameToDraw());
}

void KImgButton::paint(KDrawSurface& surface) {
    frame_.paint(surface, frameToDraw());
}

int KImgButton::cursorKind(int, int) {
    return kCursorHand;
}

bool KImgButton::mouseDown(bool, bool, int, int) {
    if (!effect_) return false;
    pressed_ = true;
    effect_->reportedChange(parameter_, 1.0);
    requestRedraw();
    return true;
}

void KImgButton::release() {
    effect_->reportedChange(parameter_, 0.0);
    pressed_ = false;
    requestRedraw();
}

bool KImgButton::mouseUp(bool, bool, int, int) {
    if (!pressed_) return false;
    release();
    return true;
}

void KImgButton::cancel() {
    if (pressed_) release();
}

} // namespace Korvel

#include "editor/buttons/KImgCommand.h"

#include "core/KEffectInterface.h"

namespace Korvel {

KTypeId KImgCommand::classId() {
    static const char tag = 0;
    return &tag;
}

KImgCommand::KImgCommand(const KControlPlacement& placement, int command,
                         const KImageResource* image)
    : KEditorControl(placement), command_(command), frame_(image) {}

int KImgCommand::frameToDraw() const {
    return pressed_ && frame_.count() >= 1 ? 1 : 0;
}

bool KImgCommand::needsRedraw() const {
    return KEditorControl::needsRedraw() || frame_.differs(frameToDraw());
}

void KImgCommand::paint(KDrawSurface& surface) {
    frame_.paint(surface, frameToDraw());
}

int KImgCommand::cursorKind(int, int) {
    return kCursorHand;
}

bool KImgCommand::mouseDown(bool shift, bool control, int, int) {
    shift_ = shift;
    control_ = control;
    pressed_ = true;
    requestRedraw();
    return true;
}

bool KImgCommand::mouseUp(bool shift, bool control, int, int) {
    if (!pressed_) return false;
    if (effect_) effect_->runCommand(command_, shift_ || shift, control_ || control);
    pressed_ = shift_ = control_ = false;
    requestRedraw();
    return true;
}

void KImgCommand::cancel() {
    if (!pressed_) return;
    pressed_ = shift_ = control_ = false;
    requestRedraw();
}

} // namespace Korvel

#include "editor/buttons/KPageControl.h"

#include "editor/KEditor.h"

namespace Korvel {

KPageControl::KPageControl(const KControlPlacement& placement, int selects)
    : KEditorControl(placement), selects_(selects) {}

int KPageControl::cursorKind(int, int) {
    return kCursorHand;
}

bool KPageControl::mouseDown(bool, bool, int, int) {
    pressed_ = true;
    if (editor_) editor_->setPage(selects_);
    markForRedraw();
    return true;
}

bool KPageControl::mouseUp(bool, bool, int, int) {
    if (!pressed_) return false;
    pressed_ = false;
    markForRedraw();
    if (editor_) editor_->invalidate();
    return true;
}

} // namespace Korvel

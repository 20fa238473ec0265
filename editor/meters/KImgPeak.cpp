#include "editor/meters/KImgPeak.h"

#include "core/KEffectInterface.h"

namespace Korvel {

KTypeId KImgPeak::classId() {
    static const char tag = 0;
    return &tag;
}

KImgPeak::KImgPeak(const KControlPlacement& placement, const KDoubleSource* source, int command,
                   const KImageResource* image)
    : KEditorControl(placement), source_(source), command_(command), frame_(image) {}

int KImgPeak::frameToDraw() const {
    return source_ && source_->load(std::memory_order_relaxed) >= 1.0 ? 1 : 0;
}

bool KImgPeak::needsRedraw() const {
    return KEditorControl::needsRedraw() || frame_.differs(frameToDraw());
}

void KImgPeak::paint(KDrawSurface& surface) {
    frame_.paint(surface, frameToDraw());
}

int KImgPeak::cursorKind(int, int) {
    return kCursorHand;
}

bool KImgPeak::mouseDown(bool, bool, int, int) {
    if (source_ && effect_) effect_->runCommand(command_);
    requestRedraw();
    return false;
}

} // namespace Korvel

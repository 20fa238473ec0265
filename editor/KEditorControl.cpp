#include "editor/KEditorControl.h"

#include "editor/KEditor.h"

namespace Korvel {

KEditorControl::KEditorControl(const KControlPlacement& placement)
    : x_(placement.x), y_(placement.y), width_(placement.width), height_(placement.height),
      page_(placement.page), conditions_(placement.conditions), effect_(placement.effect),
      editor_(placement.editor) {}

KEditorControl::~KEditorControl() = default;

void KEditorControl::markForRedraw() {
    dirty_ = true;
}

void KEditorControl::erase(KDrawSurface& surface) {
    if (!drawn_) return;
    if (editor_) editor_->restoreBackground(surface, *this);
    dirty_ = true;
    drawn_ = false;
}

void KEditorControl::drawIfNeeded(KDrawSurface& surface) {
    if (!needsRedraw()) return;
    if (drawn_) erase(surface);
    paint(surface);
    dirty_ = false;
    drawn_ = true;
}

bool KEditorControl::needsRedraw() const {
    return dirty_ || !drawn_;
}

void KEditorControl::paint(KDrawSurface&) {}

void KEditorControl::requestRedraw() {
    dirty_ = true;
    if (editor_) editor_->invalidate();
}

int KEditorControl::cursorKind(int, int) {
    return kCursorDefault;
}

bool KEditorControl::mouseDown(bool, bool, int, int) {
    return false;
}

bool KEditorControl::mouseUp(bool, bool, int, int) {
    return false;
}

bool KEditorControl::rightDown(bool, bool, int, int) {
    return false;
}

bool KEditorControl::rightUp(bool, bool, int, int) {
    return false;
}

void KEditorControl::mouseMove(bool, bool, int, int) {}

void KEditorControl::cancel() {}

bool KEditorControl::isVisible() const {
    return editor_ ? editor_->isVisible(*this) : conditions_.holds();
}

} // namespace Korvel

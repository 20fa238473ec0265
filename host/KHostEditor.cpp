#include "host/KHostEditor.h"

#include "core/KEffectInterface.h"
#include "editor/KEditor.h"
#include "editor/KEditorScale.h"
#include "editor/KWindowInterface.h"

namespace Korvel {

KHostEditor::KHostEditor(AudioEffect* owner, KEffectInterface* effect, KEditor* editor,
                         KWindowInterface* window)
    : AEffEditor(owner), keffect_(effect), editor_(editor), window_(window) {}

KHostEditor::~KHostEditor() {
    if (window_ && window_->isLive()) window_->close();
    delete window_;
    if (editor_) editor_->setWindow(nullptr);
    delete editor_;
}

bool KHostEditor::getRect(ERect** rect) {
    if (!rect) return false;
    rect_.top = 0;
    rect_.left = 0;
    const double s = editor_ ? scale() : 1.0;
    rect_.bottom = static_cast<VstInt16>(editor_ ? scaledLength(editor_->height(), s) : 0);
    rect_.right = static_cast<VstInt16>(editor_ ? scaledLength(editor_->width(), s) : 0);
    *rect = &rect_;
    return true;
}

bool KHostEditor::open(void* parent) {
    systemWindow_ = parent;
    if (!window_) return false;
    window_->setScale(hostScale_ > 0.0 ? hostScale_ : window_->systemScale(parent));
    if (!window_->open(parent) || !window_->isLive()) return false;
    if (keffect_) keffect_->editorOpened();
    return true;
}

void KHostEditor::close() {
    if (window_) window_->close();
    if (keffect_) keffect_->editorClosed();
    systemWindow_ = nullptr;
}

void KHostEditor::setHostScale(double scale) {
    hostScale_ = scale > 0.0 ? clampEditorScale(scale) : 0.0;
}

double KHostEditor::scale() {
    if (!window_) return 1.0;
    if (window_->isLive()) return window_->scale();
    return hostScale_ > 0.0 ? hostScale_ : window_->systemScale(nullptr);
}

void KHostEditor::idle() {
    if (refreshPending_.load(std::memory_order_relaxed)) refreshRequest();
    if (window_) window_->idle();
}

void KHostEditor::refreshRequest() {
    if (!editor_) return;
    std::uint32_t now = editor_->tickMs();
    std::uint32_t last = lastRefreshMs_.load(std::memory_order_relaxed);
    if (static_cast<std::uint32_t>(now - last) < editor_->refreshThrottleMs()) {
        refreshPending_.store(true, std::memory_order_relaxed);
        return;
    }
    lastRefreshMs_.store(now, std::memory_order_relaxed);
    refreshPending_.store(false, std::memory_order_relaxed);
    editor_->invalidate();
}

} // namespace Korvel

#include "editor/text/KLabel.h"

#include "core/KEffectInterface.h"
#include "editor/KDrawSurface.h"
#include "editor/KEditor.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace Korvel {

KTypeId KLabel::classId() {
    static const char tag = 0;
    return &tag;
}

KLabel::KLabel(const KControlPlacement& placement, int alignment, const char* text,
               const KFontResource* font, int periodMs)
    : KEditorControl(placement), font_(font), alignment_(alignment), periodMs_(periodMs) {
    // Built while the effect is created, where a failed allocation fails the whole creation.
    if (!text) text = "";
    std::size_t length = std::strlen(text);
    template_.reset(new char[length + 1]);
    std::memcpy(template_.get(), text, length + 1);
    bool variables = std::strchr(text, '$') != nullptr;
    static_ = !variables || periodMs_ == 0;
    if (variables) {
        expanded_.reset(new char[kExpandedBytes]);
        expanded_[0] = 0;
        if (effect_) effect_->expandText(expanded_.get(), kExpandedBytes, template_.get());
    }
}

const char* KLabel::displayText() const {
    if (expanded_) return expanded_.get();
    return template_ ? template_.get() : "";
}

std::uint32_t KLabel::now() const {
    return editor_ ? editor_->tickMs() : 0;
}

bool KLabel::needsRedraw() const {
    if (KEditorControl::needsRedraw()) return true;
    if (static_) return false;
    // The tick as a signed 32-bit count: a wrap shows as now below the last paint.
    std::int64_t current = static_cast<std::int32_t>(now());
    std::int64_t last = static_cast<std::int32_t>(lastPaint_);
    return current < last || current - last > periodMs_;
}

void KLabel::paint(KDrawSurface& surface) {
    if (!static_ && expanded_ && effect_)
        effect_->expandText(expanded_.get(), kExpandedBytes, template_.get());
    surface.text(displayText(), 0, 0, width_, height_, font_, alignment_);
    lastPaint_ = now();
}

} // namespace Korvel

// KLabel: a line of text. A text without "$" never changes. A text with "${Name}" variables is
// expanded once at construction; with a refresh period above 0 it is expanded again at each
// paint and asks for a paint once more than the period (milliseconds) has passed since the last
// (or the tick has wrapped round). It never starts a paint itself.
// Constructor: KLabel(placement, int alignment, const char* text, const KFontResource* font,
//                     int periodMs); alignment 0 left, 1 centre, 2 right; the text is copied,
//                     the font is not owned. [ui]
#pragma once

#include "editor/KEditorControl.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class KFontResource;

class KLabel : public KEditorControl {
public:
    static KTypeId classId();
    static constexpr int kExpandedBytes = 384;

    KLabel(const KControlPlacement& placement, int alignment, const char* text,
           const KFontResource* font, int periodMs);
    KTypeId typeId() const override { return classId(); }

    const char* templateText() const { return template_ ? template_.get() : ""; }
    // What the next paint shows (the last expansion for a label with variables).
    const char* displayText() const;
    int alignment() const { return alignment_; }
    int periodMs() const { return periodMs_; }
    bool isStatic() const { return static_; }

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;

private:
    std::uint32_t now() const;

    std::unique_ptr<char[]> template_;
    // Null for a text without variables, which is shown as it is.
    std::unique_ptr<char[]> expanded_;
    const KFontResource* font_;
    int alignment_;
    int periodMs_;
    std::uint32_t lastPaint_ = 0;
    bool static_;
};

} // namespace Korvel

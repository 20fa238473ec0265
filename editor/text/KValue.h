// KValue: a parameter's display text with its unit, centred in the control; a click opens typed
// entry over the control when the parameter takes typed text (without taking the mouse).
// Constructor: KValue(placement, int parameter, const KFontResource* font); the font is not
// owned. [ui]
#pragma once

#include "core/KEffectInterface.h"
#include "editor/KEditorControl.h"

namespace Korvel {

class KFontResource;

class KValue : public KEditorControl {
public:
    static KTypeId classId();

    KValue(const KControlPlacement& placement, int parameter, const KFontResource* font);
    KTypeId typeId() const override { return classId(); }

    int parameter() const { return parameter_; }
    const KFontResource* font() const { return font_; }
    // The current program's quantised value, 0 without an effect.
    double shownValue() const;
    // The text of the last paint, "" before the first.
    const char* paintedText() const { return paintedText_; }

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;
    int cursorKind(int x, int y) override;
    bool mouseDown(bool shift, bool control, int x, int y) override;

private:
    bool acceptsText() const;
    // The display text with unit as it is now, "" without an effect.
    void currentText(char* text) const;

    int parameter_;
    const KFontResource* font_;
    double lastValue_ = -1;
    char paintedText_[KEffectInterface::kDisplayTextBytes] = {};
};

} // namespace Korvel

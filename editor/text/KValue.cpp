#include "editor/text/KValue.h"

#include "core/KEffectInterface.h"
#include "editor/KDrawSurface.h"
#include "editor/KEditor.h"
#include "editor/KWindowInterface.h"

#include <cmath>

namespace Korvel {

KTypeId KValue::classId() {
    static const char tag = 0;
    return &tag;
}

KValue::KValue(const KControlPlacement& placement, int parameter, const KFontResource* font)
    : KEditorControl(placement), parameter_(parameter), font_(font) {}

double KValue::shownValue() const {
    return effect_ ? effect_->parameterQuantised(parameter_) : 0;
}

bool KValue::acceptsText() const {
    return effect_ && effect_->parameterAcceptsText(parameter_);
}

bool KValue::needsRedraw() const {
    return KEditorControl::needsRedraw() || std::fabs(shownValue() - lastValue_) >= 0.00001;
}

void KValue::paint(KDrawSurface& surface) {
    char text[KEffectInterface::kDisplayTextBytes] = {};
    if (effect_) effect_->parameterDisplayWithUnit(parameter_, text, sizeof text);
    surface.text(text, 0, 0, width_, height_, font_, KDrawSurface::kAlignCentre);
    lastValue_ = shownValue();
}

int KValue::cursorKind(int, int) {
    return acceptsText() ? kCursorText : kCursorDefault;
}

bool KValue::mouseDown(bool, bool, int, int) {
    KWindowInterface* window = editor_ ? editor_->window() : nullptr;
    if (window && acceptsText()) window->openTextEntry(x_, y_, width_, height_, font_, parameter_);
    // The entry box has the keyboard and mouse from here; the control keeps no capture.
    return false;
}

} // namespace Korvel

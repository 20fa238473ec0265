#include "editor/text/KValue.h"

#include "core/KEffectInterface.h"
#include "editor/KDrawSurface.h"
#include "editor/KEditor.h"
#include "editor/KWindowInterface.h"

#include <cmath>
#include <cstring>

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

void KValue::currentText(char* text) const {
    text[0] = '\0';
    if (effect_) effect_->parameterDisplayWithUnit(parameter_, text, sizeof paintedText_);
}

bool KValue::needsRedraw() const {
    if (KEditorControl::needsRedraw() || std::fabs(shownValue() - lastValue_) >= 0.00001)
        return true;
    // The value and the text are two reads: another thread may change the parameter between
    // them, so what counts is the text that was painted.
    char text[sizeof paintedText_];
    currentText(text);
    return std::strcmp(text, paintedText_) != 0;
}

void KValue::paint(KDrawSurface& surface) {
    lastValue_ = shownValue();
    currentText(paintedText_);
    surface.text(paintedText_, 0, 0, width_, height_, font_, KDrawSurface::kAlignCentre);
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

#include "editor/knobs/KParamControl.h"

#include "core/KEffectInterface.h"

#include <cmath>

namespace Korvel {

KParamControl::KParamControl(const KControlPlacement& placement, int parameter)
    : KEditorControl(placement), parameter_(parameter) {}

double KParamControl::shownValue() const {
    return effect_ ? effect_->parameterQuantised(parameter_) : 0;
}

void KParamControl::knobPoint(double v, double radius, double* x, double* y) const {
    double angle = v * 4.71238898038469 + 0.7853981633974483;
    *x = width_ * 0.5 - radius * std::sin(angle);
    *y = height_ * 0.5 + radius * std::cos(angle);
}

bool KParamControl::shownValueDiffers(double last) const {
    return std::fabs(shownValue() - last) >= 0.00001;
}

int KParamControl::cursorKind(int, int) {
    return kCursorHand;
}

bool KParamControl::mouseDown(bool, bool control, int x, int y) {
    // A second press without a release must not open a second edit: hosts pair the notices.
    if (held_) return true;
    if (!effect_) return false;
    held_ = true;
    effect_->gestureBegin(parameter_);
    if (control) {
        dragging_ = false;
        effect_->gestureChange(parameter_, effect_->parameterDefault(parameter_));
    } else {
        anchorX_ = x;
        anchorY_ = y;
        dragging_ = true;
    }
    requestRedraw();
    return true;
}

double KParamControl::dragDelta(int x, int y) const {
    return ((anchorY_ - y) + (x - anchorX_) * 0.25) * 0.01;
}

void KParamControl::mouseMove(bool shift, bool, int x, int y) {
    if (!dragging_ || !effect_) return;
    double delta = dragDelta(x, y);
    if (shift) delta *= 0.1;
    double value = effect_->parameterValue(parameter_) + delta;
    value = value < 0 ? 0 : (value > 1 ? 1 : value);
    effect_->gestureChange(parameter_, value);
    anchorX_ = x;
    anchorY_ = y;
    requestRedraw();
}

void KParamControl::release() {
    held_ = false;
    dragging_ = false;
    if (effect_) effect_->gestureEnd(parameter_);
    requestRedraw();
}

bool KParamControl::mouseUp(bool, bool, int, int) {
    if (!held_) return false;
    release();
    return true;
}

void KParamControl::cancel() {
    if (held_) release();
}

} // namespace Korvel

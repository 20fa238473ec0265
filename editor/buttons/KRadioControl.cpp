#include "editor/buttons/KRadioControl.h"

#include "core/KEffectInterface.h"

namespace Korvel {

KRadioControl::KRadioControl(const KControlPlacement& placement, int parameter, int option,
                             int highest)
    : KEditorControl(placement), parameter_(parameter), option_(option), highest_(highest) {
    // Some skin lines reach here untested: a group without options would divide by zero, so
    // it counts as a single option.
    double span = 2.0 * highest + 2.0;
    if (span <= 0.0) {
        low_ = 0.0;
        centre_ = 0.5;
        high_ = 1.0;
        return;
    }
    low_ = 2.0 * option / span;
    centre_ = (2.0 * option + 1.0) / span;
    high_ = (2.0 * option + 2.0) / span;
}

bool KRadioControl::isSelected() const {
    if (!effect_) return false;
    double v = effect_->parameterQuantised(parameter_);
    return (low_ <= v && v < high_) || (v == 1.0 && high_ == 1.0);
}

int KRadioControl::cursorKind(int, int) {
    return kCursorHand;
}

bool KRadioControl::mouseDown(bool, bool control, int, int) {
    if (!effect_) return false;
    pressed_ = true;
    effect_->gestureBegin(parameter_);
    // An option outside its group's range still stores a normalised value.
    double value = centre_ < 0.0 ? 0.0 : centre_ > 1.0 ? 1.0 : centre_;
    if (control) value = effect_->parameterDefault(parameter_);
    effect_->gestureChange(parameter_, value);
    requestRedraw();
    return true;
}

bool KRadioControl::mouseUp(bool, bool, int, int) {
    if (!pressed_) return false;
    pressed_ = false;
    effect_->gestureEnd(parameter_);
    requestRedraw();
    return true;
}

} // namespace Korvel

#include "editor/buttons/KSwitchControl.h"

#include "core/KEffectInterface.h"

namespace Korvel {

KSwitchControl::KSwitchControl(const KControlPlacement& placement, int parameter)
    : KEditorControl(placement), parameter_(parameter) {}

bool KSwitchControl::isOn() const {
    return effect_ && effect_->parameterQuantised(parameter_) >= 0.5;
}

int KSwitchControl::cursorKind(int, int) {
    return kCursorHand;
}

bool KSwitchControl::mouseDown(bool, bool control, int, int) {
    if (!effect_) return false;
    pressed_ = true;
    double value = control ? effect_->parameterDefault(parameter_) : (isOn() ? 0.0 : 1.0);
    effect_->gestureBegin(parameter_);
    effect_->gestureChange(parameter_, value);
    requestRedraw();
    return true;
}

bool KSwitchControl::mouseUp(bool, bool, int, int) {
    if (!pressed_) return false;
    pressed_ = false;
    effect_->gestureEnd(parameter_);
    requestRedraw();
    return true;
}

} // namespace Korvel

// KSwitchControl: the on/off behaviour shared by KImgSwitch and KHlSwitch. A click toggles the
// bound parameter (Ctrl-click restores its default) inside one edit: beginEdit, report the old
// value, set, report the new value; the release ends the edit. All operations run on the
// user-interface thread [ui].
#pragma once

#include "editor/KEditorControl.h"

namespace Korvel {

class KSwitchControl : public KEditorControl {
public:
    KSwitchControl(const KControlPlacement& placement, int parameter);

    int parameter() const { return parameter_; }
    bool isPressed() const { return pressed_; }
    // The shown state: the quantised value is at least 0.5.
    bool isOn() const;

    int cursorKind(int x, int y) override;
    bool mouseDown(bool shift, bool control, int x, int y) override;
    // A switch that lost the capture stays pressed until the next release on it, which then
    // ends the edit.
    bool mouseUp(bool shift, bool control, int x, int y) override;

protected:
    int parameter_;
    bool pressed_ = false;
};

} // namespace Korvel

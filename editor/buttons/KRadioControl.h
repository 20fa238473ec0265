// KRadioControl: one option of a radio group, shared by KImgRadio and KHlRadio. Option a of a
// group whose highest option is b owns the normalised values a/(b+1) up to (a+1)/(b+1); a click
// sets the centre of that range inside one edit (Ctrl-click restores the default). All
// operations run on the user-interface thread [ui].
#pragma once

#include "editor/KEditorControl.h"

namespace Korvel {

class KRadioControl : public KEditorControl {
public:
    KRadioControl(const KControlPlacement& placement, int parameter, int option, int highest);

    int parameter() const { return parameter_; }
    bool isPressed() const { return pressed_; }
    double low() const { return low_; }
    double centre() const { return centre_; }
    double high() const { return high_; }
    // low <= v < high on the quantised value; the last option also owns 1.
    bool isSelected() const;

    int cursorKind(int x, int y) override;
    bool mouseDown(bool shift, bool control, int x, int y) override;
    bool mouseUp(bool shift, bool control, int x, int y) override;

protected:
    int parameter_;
    int option_;
    int highest_;
    double low_, centre_, high_;
    bool pressed_ = false;
};

} // namespace Korvel

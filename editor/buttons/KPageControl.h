// KPageControl: the page-selector behaviour shared by KImgPageSel and KPageSelHlt. The press
// shows the page at once; the release only repaints the selector. All operations run on the
// user-interface thread [ui].
#pragma once

#include "editor/KEditorControl.h"

namespace Korvel {

class KPageControl : public KEditorControl {
public:
    // selects: the page shown on a click (1 or more; the factory refuses others).
    KPageControl(const KControlPlacement& placement, int selects);

    int selectsPage() const { return selects_; }
    bool isPressed() const { return pressed_; }

    int cursorKind(int x, int y) override;
    bool mouseDown(bool shift, bool control, int x, int y) override;
    bool mouseUp(bool shift, bool control, int x, int y) override;

protected:
    int selects_;
    bool pressed_ = false;
};

} // namespace Korvel

// KParamControl: the mouse behaviour every knob shares. A press brackets an edit of one parameter
// with the host's begin-edit and end-edit notices; a drag upwards or to the right raises the value
// (100 pixels up or 400 to the right cover the whole range, a tenth of that with Shift), and a
// Control-click restores the parameter's own default. The anchor follows the mouse, so a drag
// that hit an end of the range turns back at once. All operations run on the user-interface
// thread [ui].
#pragma once

#include "editor/KEditorControl.h"

namespace Korvel {

class KParamControl : public KEditorControl {
public:
    KParamControl(const KControlPlacement& placement, int parameter);

    int parameter() const { return parameter_; }
    bool isHeld() const { return held_; }
    bool isDragging() const { return dragging_; }
    // The value shown: the current program's quantised value, 0 without an effect.
    double shownValue() const;
    // Where the knob's pointer is for value v at distance radius from the control's centre:
    // 3/4 of a turn clockwise from down-left (v = 0) through straight up (v = 0.5).
    void knobPoint(double v, double radius, double* x, double* y) const;

    int cursorKind(int x, int y) override;
    bool mouseDown(bool shift, bool control, int x, int y) override;
    bool mouseUp(bool shift, bool control, int x, int y) override;
    void mouseMove(bool shift, bool control, int x, int y) override;
    void cancel() override;

protected:
    // The change of the normalised value for a move from the anchor to (x, y), before Shift.
    virtual double dragDelta(int x, int y) const;
    // True when the shown value moved away from last by at least 0.00001.
    bool shownValueDiffers(double last) const;

    int parameter_;
    int anchorX_ = 0;
    int anchorY_ = 0;
    bool held_ = false;
    bool dragging_ = false;

private:
    void release();
};

} // namespace Korvel

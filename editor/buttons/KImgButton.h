// KImgButton: a momentary button that holds its parameter at 1 while pressed and returns it to 0
// on release or when the mouse is lost. Each change is framed by reports of the old and the new
// value; no edit is begun or ended.
// Constructor: KImgButton(placement, int parameter, const KImageResource* image). [ui]
#pragma once

#include "editor/KEditorControl.h"
#include "editor/buttons/KImageFrame.h"

namespace Korvel {

class KImgButton : public KEditorControl {
public:
    static KTypeId classId();

    KImgButton(const KControlPlacement& placement, int parameter, const KImageResource* image);
    KTypeId typeId() const override { return classId(); }

    int parameter() const { return parameter_; }
    bool isPressed() const { return pressed_; }
    // 3+ frames: 2 pressed, else 1 when the raw value is at least 0.5; 2 frames: 1 when that
    // value is at least 0.5 or pressed; 1 frame: 0.
    int frameToDraw() const;
    const KImageFrame& frame() const { return frame_; }

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;
    int cursorKind(int x, int y) override;
    bool mouseDown(bool shift, bool control, int x, int y) override;
    bool mouseUp(bool shift, bool control, int x, int y) override;
    void cancel() override;

private:
    void release();

    int parameter_;
    bool pressed_ = false;
    KImageFrame frame_;
};

} // namespace Korvel

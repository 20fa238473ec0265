// KImgCommand: a button that runs an effect command on release, wherever the mouse is then (it
// holds the capture); losing the mouse instead runs nothing. Frame 1 while pressed, else 0.
// Constructor: KImgCommand(placement, int command, const KImageResource* image). [ui]
#pragma once

#include "editor/KEditorControl.h"
#include "editor/buttons/KImageFrame.h"

namespace Korvel {

class KImgCommand : public KEditorControl {
public:
    static KTypeId classId();

    KImgCommand(const KControlPlacement& placement, int command, const KImageResource* image);
    KTypeId typeId() const override { return classId(); }

    int command() const { return command_; }
    bool isPressed() const { return pressed_; }
    int frameToDraw() const;
    const KImageFrame& frame() const { return frame_; }

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;
    int cursorKind(int x, int y) override;
    bool mouseDown(bool shift, bool control, int x, int y) override;
    // The command gets the modifiers of the press combined with those of the release.
    bool mouseUp(bool shift, bool control, int x, int y) override;
    void cancel() override;

private:
    int command_;
    bool pressed_ = false;
    bool shift_ = false;
    bool control_ = false;
    KImageFrame frame_;
};

} // namespace Korvel

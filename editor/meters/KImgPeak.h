// KImgPeak: a peak lamp: frame 1 while a double display source is at 1 or above, else 0. A click
// runs a command (typically one that resets the peak) without taking the mouse.
// Constructor: KImgPeak(placement, const KDoubleSource* source, int command,
//                       const KImageResource* image). [ui]
#pragma once

#include "core/KEffectInterface.h"
#include "editor/KEditorControl.h"
#include "editor/buttons/KImageFrame.h"

namespace Korvel {

class KImgPeak : public KEditorControl {
public:
    static KTypeId classId();

    KImgPeak(const KControlPlacement& placement, const KDoubleSource* source, int command,
             const KImageResource* image);
    KTypeId typeId() const override { return classId(); }

    int frameToDraw() const;
    const KImageFrame& frame() const { return frame_; }

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;
    int cursorKind(int x, int y) override;
    bool mouseDown(bool shift, bool control, int x, int y) override;

private:
    const KDoubleSource* source_;
    int command_;
    KImageFrame frame_;
};

} // namespace Korvel

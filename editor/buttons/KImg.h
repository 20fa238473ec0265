// KImg: a static image, frame 0 of a skin image at the control's top-left corner.
// Constructor: KImg(placement, const KImageResource* image). [ui]
#pragma once

#include "editor/KEditorControl.h"
#include "editor/buttons/KImageFrame.h"

namespace Korvel {

class KImg : public KEditorControl {
public:
    static KTypeId classId();

    KImg(const KControlPlacement& placement, const KImageResource* image);
    KTypeId typeId() const override { return classId(); }

    // Never needs a redraw of its own: only marking, erasing or a page change repaint it.
    void paint(KDrawSurface& surface) override;

    const KImageFrame& frame() const { return frame_; }

private:
    KImageFrame frame_;
};

} // namespace Korvel

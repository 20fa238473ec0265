// KImgPageSel: a page selector drawn from image frames: 1 while its page is shown, else 0; frame
// 2 while pressed when the image has exactly three frames.
// Constructor: KImgPageSel(placement, const KImageResource* image, int page). [ui]
#pragma once

#include "editor/buttons/KImageFrame.h"
#include "editor/buttons/KPageControl.h"

namespace Korvel {

class KImgPageSel : public KPageControl {
public:
    static KTypeId classId();

    KImgPageSel(const KControlPlacement& placement, const KImageResource* image, int page);
    KTypeId typeId() const override { return classId(); }

    int frameToDraw() const;
    const KImageFrame& frame() const { return frame_; }

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;

private:
    KImageFrame frame_;
};

} // namespace Korvel

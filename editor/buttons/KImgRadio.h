// KImgRadio: one option of a radio group drawn from image frames: 0 not selected, 1 selected;
// while pressed frame 2 of a three-frame image, or state + 2 of a four-frame image.
// Constructor: KImgRadio(placement, int parameter, int option, int highest,
//                        const KImageResource* image). [ui]
#pragma once

#include "editor/buttons/KImageFrame.h"
#include "editor/buttons/KRadioControl.h"

namespace Korvel {

class KImgRadio : public KRadioControl {
public:
    static KTypeId classId();

    KImgRadio(const KControlPlacement& placement, int parameter, int option, int highest,
              const KImageResource* image);
    KTypeId typeId() const override { return classId(); }

    int frameToDraw() const;
    const KImageFrame& frame() const { return frame_; }

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;

private:
    KImageFrame frame_;
};

} // namespace Korvel

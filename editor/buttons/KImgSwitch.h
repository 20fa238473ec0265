// KImgSwitch: an on/off switch drawn from image frames: 0 off, 1 on; while pressed frame 2 of a
// three-frame image, or state + 2 of a four-frame image.
// Constructor: KImgSwitch(placement, int parameter, const KImageResource* image). [ui]
#pragma once

#include "editor/buttons/KImageFrame.h"
#include "editor/buttons/KSwitchControl.h"

namespace Korvel {

class KImgSwitch : public KSwitchControl {
public:
    static KTypeId classId();

    KImgSwitch(const KControlPlacement& placement, int parameter, const KImageResource* image);
    KTypeId typeId() const override { return classId(); }

    int frameToDraw() const;
    const KImageFrame& frame() const { return frame_; }

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;

private:
    KImageFrame frame_;
};

} // namespace Korvel

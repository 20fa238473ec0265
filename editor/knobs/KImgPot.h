// KImgPot: a knob shown as one frame of an image strip, the frame chosen by the value.
// Constructor: KImgPot(placement, int parameter, const KImageResource* image); the image is not
// owned. [ui]
#pragma once

#include "editor/buttons/KImageFrame.h"
#include "editor/knobs/KParamControl.h"

namespace Korvel {

class KImgPot : public KParamControl {
public:
    static KTypeId classId();

    KImgPot(const KControlPlacement& placement, int parameter, const KImageResource* image);
    KTypeId typeId() const override { return classId(); }

    // round(v * (frames - 1)) of the shown value, within the image's frames.
    int frameToDraw() const;
    const KImageFrame& frame() const { return frame_; }

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;

private:
    KImageFrame frame_;
};

} // namespace Korvel

// KImgUrl: a link drawn as frame 0 of a skin image.
// Constructor: KImgUrl(placement, const KImageResource* image, const char* link). [ui]
#pragma once

#include "editor/buttons/KImageFrame.h"
#include "editor/buttons/KLinkControl.h"

namespace Korvel {

class KImgUrl : public KLinkControl {
public:
    static KTypeId classId();

    KImgUrl(const KControlPlacement& placement, const KImageResource* image, const char* link);
    KTypeId typeId() const override { return classId(); }

    const KImageFrame& frame() const { return frame_; }

    void paint(KDrawSurface& surface) override;

private:
    KImageFrame frame_;
};

} // namespace Korvel

// KBgPotDot: a dot knob over an image: frame 1 of the image while held (when it has more than
// one frame), else frame 0, then the dot as KPotDot draws it.
// Constructor: KBgPotDot(placement, int parameter, const KImageResource* image, double radius,
//                        std::uint32_t dot); the image is not owned. [ui]
#pragma once

#include "editor/buttons/KImageFrame.h"
#include "editor/knobs/KParamControl.h"

#include <cstdint>

namespace Korvel {

class KBgPotDot : public KParamControl {
public:
    static KTypeId classId();

    KBgPotDot(const KControlPlacement& placement, int parameter, const KImageResource* image,
              double radius, std::uint32_t dot);
    KTypeId typeId() const override { return classId(); }

    double radius() const { return radius_; }
    int frameToDraw() const;

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;

private:
    KImageFrame frame_;
    std::uint32_t dot_;
    double radius_;
    double lastValue_ = -1;
};

} // namespace Korvel

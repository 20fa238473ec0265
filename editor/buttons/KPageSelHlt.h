// KPageSelHlt: a page selector drawn only as a highlight over the background while the button
// is held.
// Constructor: KPageSelHlt(placement, int page, std::uint32_t colour); colour packed RGBA, red
// lowest. [ui]
#pragma once

#include "editor/buttons/KPageControl.h"

#include <cstdint>

namespace Korvel {

class KPageSelHlt : public KPageControl {
public:
    static KTypeId classId();

    KPageSelHlt(const KControlPlacement& placement, int page, std::uint32_t colour);
    KTypeId typeId() const override { return classId(); }

    std::uint32_t colour() const { return colour_; }
    bool drawnPressed() const { return drawnPressed_; }

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;

private:
    std::uint32_t colour_;
    bool drawnPressed_ = false;
};

} // namespace Korvel

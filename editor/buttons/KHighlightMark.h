// KHighlightMark: the look of KHlSwitch and KHlRadio: in a rectangle inside the control, a disc
// when on (or selected), a cross when off, and while the control is pressed its whole area
// washed over with the highlight colour.
#pragma once

#include <cstdint>

namespace Korvel {

class KDrawSurface;

struct KHighlightMark {
    int x, y, width, height;
    // Packed RGBA, red in the lowest byte.
    std::uint32_t cross, disc, highlight;

    // [ui] controlWidth, controlHeight: the area the highlight covers.
    void paint(KDrawSurface& surface, bool on, bool pressed, int controlWidth,
               int controlHeight) const;
};

} // namespace Korvel

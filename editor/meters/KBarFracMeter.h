// KBarFracMeter: a bar filled in proportion to a double display source (0..1), growing from the
// edge its orientation names.
// Constructor: KBarFracMeter(placement, const KDoubleSource* source, int orientation,
//                            std::uint32_t colour); orientation one of
//                            the enum (the skin's word), colour
//                            packed RGBA, red lowest. [ui]
#pragma once

#include "core/KEffectInterface.h"
#include "editor/KEditorControl.h"

#include <cstdint>

namespace Korvel {

class KBarFracMeter : public KEditorControl {
public:
    enum Orientation { kNone = 0, kLeftToRight, kRightToLeft, kTopToBottom, kBottomToTop };
    static KTypeId classId();

    KBarFracMeter(const KControlPlacement& placement, const KDoubleSource* source, int orientation,
                  std::uint32_t colour);
    KTypeId typeId() const override { return classId(); }

    // The source limited to 0..1; 0 without a source or for a value that is not a number.
    double fraction() const;
    // The rectangle the bar fills for fraction v, in control coordinates; false for none.
    bool barRect(double v, int* x, int* y, int* w, int* h) const;
    double drawnFraction() const { return drawn_; }

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;

private:
    const KDoubleSource* source_;
    int orientation_;
    std::uint32_t colour_;
    double drawn_ = 0.0;
};

} // namespace Korvel

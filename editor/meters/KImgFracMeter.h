// KImgFracMeter: picks an image frame in proportion to a double display source: frame
// (frames - 1) x value, truncated, so only a value of 1 reaches the last frame.
// Constructor: KImgFracMeter(placement, const KDoubleSource* source, const KImageResource* image).
// [ui]
#pragma once

#include "core/KEffectInterface.h"
#include "editor/KEditorControl.h"
#include "editor/buttons/KImageFrame.h"

namespace Korvel {

class KImgFracMeter : public KEditorControl {
public:
    static KTypeId classId();

    KImgFracMeter(const KControlPlacement& placement, const KDoubleSource* source,
                  const KImageResource* image);
    KTypeId typeId() const override { return classId(); }

    int frameToDraw() const;
    const KImageFrame& frame() const { return frame_; }

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;

private:
    const KDoubleSource* source_;
    KImageFrame frame_;
};

} // namespace Korvel

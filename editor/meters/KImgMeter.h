// KImgMeter: picks an image frame from an int display source: frame = value x scale + offset,
// rounded, limited to the image's frames.
// Constructor: KImgMeter(placement, const KIntSource* source, double scale, double offset,
//                        const KImageResource* image). [ui]
#pragma once

#include "core/KEffectInterface.h"
#include "editor/KEditorControl.h"
#include "editor/buttons/KImageFrame.h"

namespace Korvel {

class KImgMeter : public KEditorControl {
public:
    static KTypeId classId();

    KImgMeter(const KControlPlacement& placement, const KIntSource* source, double scale,
              double offset, const KImageResource* image);
    KTypeId typeId() const override { return classId(); }

    int frameToDraw() const;
    const KImageFrame& frame() const { return frame_; }

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;

private:
    const KIntSource* source_;
    double scale_;
    double offset_;
    KImageFrame frame_;
};

} // namespace Korvel

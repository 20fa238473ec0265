#include "editor/meters/KImgMeter.h"

#include "editor/meters/KMeterFrame.h"

namespace Korvel {

KTypeId KImgMeter::classId() {
    static const char tag = 0;
    return &tag;
}

KImgMeter::KImgMeter(const KControlPlacement& placement, const KIntSource* source, double scale,
                     double offset, const KImageResource* image)
    : KEditorControl(placement), source_(source), scale_(scale), offset_(offset), frame_(image) {}

int KImgMeter::frameToDraw() const {
    if (!source_) return 0;
    return meterFrame(source_->load(std::memory_order_relaxed) * scale_ + offset_ + 0.5,
                      frame_.count());
}

bool KImgMeter::needsRedraw() const {
    return KEditorControl::needsRedraw() || frame_.differs(frameToDraw());
}

void KImgMeter::paint(KDrawSurface& surface) {
    frame_.paint(surface, frameToDraw());
}

} // namespace Korvel

#include "editor/meters/KImgFracMeter.h"

#include "editor/meters/KMeterFrame.h"

namespace Korvel {

KTypeId KImgFracMeter::classId() {
    static const char tag = 0;
    return &tag;
}

KImgFracMeter::KImgFracMeter(const KControlPlacement& placement, const KDoubleSource* source,
                             const KImageResource* image)
    : KEditorControl(placement), source_(source), frame_(image) {}

int KImgFracMeter::frameToDraw() const {
    if (!source_) return 0;
    return meterFrame((frame_.count() - 1) * source_->load(std::memory_order_relaxed),
                      frame_.count());
}

bool KImgFracMeter::needsRedraw() const {
    return KEditorControl::needsRedraw() || frame_.differs(frameToDraw());
}

void KImgFracMeter::paint(KDrawSurface& surface) {
    frame_.paint(surface, frameToDraw());
}

} // namespace Korvel

#include "editor/meters/KWave.h"

#include "core/KHistory.h"
#include "editor/KDrawSurface.h"

#include <cmath>

namespace Korvel {

KTypeId KWave::classId() {
    static const char tag = 0;
    return &tag;
}

KWave::KWave(const KControlPlacement& placement, const KHistory* history,
             const KDoubleSource* level1, const KDoubleSource* level2, std::uint32_t colourA,
             std::uint32_t colourB, std::uint32_t colourC)
    : KEditorControl(placement), history_(history), level1_(level1), level2_(level2),
      colourA_(colourA), colourB_(colourB), colourC_(colourC) {
    setArea(height_);
}

void KWave::setArea(int areaHeight) {
    areaHeight_ = areaHeight;
    centre_ = areaHeight / 2;
    scale_ = areaHeight / 2 - 1.0;
}

int KWave::columnCount() const {
    if (!history_) return 0;
    int n = history_->size();
    return n < width_ ? n : width_;
}

int KWave::rowOf(double value) const {
    double y = centre_ - std::round(scale_ * (value * zoom_));
    // The comparisons also catch a value that is not a number.
    if (!(y > 0.0)) return 0;
    if (!(y < areaHeight_)) return areaHeight_;
    return static_cast<int>(y);
}

int KWave::levelOffset(const KDoubleSource* level) const {
    if (!level) return -1;
    double v = level->load(std::memory_order_relaxed);
    if (!(v >= 0.0 && v <= 1.0)) return -1;
    return static_cast<int>(std::round(v * zoom_ * scale_));
}

bool KWave::levelsMoved(double threshold, bool inclusive) const {
    double d1 = std::fabs(level(level1_) - drawnLevel1_);
    double d2 = std::fabs(level(level2_) - drawnLevel2_);
    if (inclusive) return d1 >= threshold || d2 >= threshold;
    return d1 > threshold || d2 > threshold;
}

bool KWave::historyMoved() const {
    return history_ && history_->written() != drawnWritten_;
}

bool KWave::needsRedraw() const {
    return KEditorControl::needsRedraw() || historyMoved() || levelsMoved(0.00001, true);
}

void KWave::paintWave(KDrawSurface& surface) {
    int columns = columnCount();
    for (int i = 0; i < columns; ++i) {
        KHistory::Entry e = history_->entry(i);
        int x = width_ - i - 1;
        surface.vLine(x, rowOf(e.min1), rowOf(e.max1), colourA_);
        surface.vLine(x, rowOf(e.min2), rowOf(e.max2), colourB_);
    }
    surface.hLine(0, centre_, width_, colourC_);
    for (const KDoubleSource* source : {level1_, level2_}) {
        int offset = levelOffset(source);
        if (offset < 0) continue;
        for (int y : {centre_ - offset, centre_ + offset})
            if (y >= 0 && y < areaHeight_) surface.hLine(0, y, width_, colourC_);
    }
    drawnWritten_ = history_ ? history_->written() : 0;
    drawnLevel1_ = level(level1_);
    drawnLevel2_ = level(level2_);
}

void KWave::paint(KDrawSurface& surface) {
    paintWave(surface);
}

} // namespace Korvel

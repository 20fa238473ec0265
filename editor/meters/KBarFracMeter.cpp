#include "editor/meters/KBarFracMeter.h"

#include "editor/KDrawSurface.h"

#include <cmath>

namespace Korvel {

KTypeId KBarFracMeter::classId() {
    static const char tag = 0;
    return &tag;
}

KBarFracMeter::KBarFracMeter(const KControlPlacement& placement, const KDoubleSource* source,
                             int orientation, std::uint32_t colour)
    : KEditorControl(placement), source_(source), orientation_(orientation), colour_(colour) {}

double KBarFracMeter::fraction() const {
    if (!source_) return 0.0;
    double v = source_->load(std::memory_order_relaxed);
    if (!(v > 0.0)) return 0.0;
    return v < 1.0 ? v : 1.0;
}

bool KBarFracMeter::barRect(double v, int* x, int* y, int* w, int* h) const {
    int across = static_cast<int>(v * width_ + 0.5);
    int down = static_cast<int>(v * height_ + 0.5);
    switch (orientation_) {
    case kLeftToRight:
        *x = 0, *y = 0, *w = across, *h = height_;
        return true;
    case kRightToLeft:
        *x = width_ - across, *y = 0, *w = across, *h = height_;
        return true;
    case kTopToBottom:
        *x = 0, *y = 0, *w = width_, *h = down;
        return true;
    case kBottomToTop:
        *x = 0, *y = height_ - down, *w = width_, *h = down;
        return true;
    default:
        return false;
    }
}

bool KBarFracMeter::needsRedraw() const {
    return KEditorControl::needsRedraw() || std::fabs(fraction() - drawn_) >= 0.0001;
}

void KBarFracMeter::paint(KDrawSurface& surface) {
    double v = fraction();
    int x, y, w, h;
    if (barRect(v, &x, &y, &w, &h)) surface.fillRectRGBA(x, y, w, h, colour_);
    drawn_ = v;
}

} // namespace Korvel

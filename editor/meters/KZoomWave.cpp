#include "editor/meters/KZoomWave.h"

#include "editor/KDrawSurface.h"
#include "editor/KEditor.h"

#include <cmath>
#include <cstdio>

namespace Korvel {

KTypeId KZoomWave::classId() {
    static const char tag = 0;
    return &tag;
}

KZoomWave::KZoomWave(const KControlPlacement& placement, const KHistory* history,
                     const KDoubleSource* level1, const KDoubleSource* level2,
                     std::uint32_t colourA, std::uint32_t colourB, std::uint32_t colourC,
                     std::uint32_t barColour, std::uint32_t handleColour,
                     std::uint32_t draggedColour, const KFontResource* font)
    : KWave(placement, history, level1, level2, colourA, colourB, colourC), barColour_(barColour),
      handleColour_(handleColour), draggedColour_(draggedColour), font_(font) {
    setArea(height_ - kBarHeight);
    setZoom(1.0f);
}

int KZoomWave::travel() const {
    int t = width_ - (kHandleWidth + 1);
    return t > 1 ? t : 1;
}

int KZoomWave::handleX() const {
    // The divisor is ln of 10 / 0.1 as computed in single precision, which the handle's
    // positions have always used.
    double p = std::log(10.0 * zoom_) / std::log(99.99999850988391) * travel();
    return 1 + static_cast<int>(std::round(p));
}

float KZoomWave::zoomAt(int x) const {
    double z = 0.1 * std::pow(100.0, static_cast<double>(x - 20) / travel());
    if (!(z > 0.1)) return 0.1f;
    if (z > 10.0) return 10.0f;
    return static_cast<float>(z);
}

void KZoomWave::setZoom(float zoom) {
    zoom_ = zoom;
    std::snprintf(zoomText_, sizeof zoomText_, "%.2fx", static_cast<double>(zoom));
    markForRedraw();
}

bool KZoomWave::needsRedraw() const {
    return KEditorControl::needsRedraw() || historyMoved() || levelsMoved(0.001, false);
}

void KZoomWave::paint(KDrawSurface& surface) {
    paintWave(surface);
    int barY = height_ - kBarHeight;
    surface.fillRectRGBA(0, barY, width_, kBarHeight, barColour_);
    int hx = handleX();
    surface.fillRectRGBA(hx, barY + 1, kHandleWidth, kBarHeight - 2,
                         drag_ != kIdle ? draggedColour_ : handleColour_);
    surface.text(zoomText_, hx, barY + 1, kHandleWidth, kBarHeight - 2, font_,
                 KDrawSurface::kAlignCentre);
}

int KZoomWave::cursorKind(int, int y) {
    return drag_ != kIdle || onBar(y) ? kCursorHand : kCursorArrow;
}

bool KZoomWave::mouseDown(bool, bool control, int x, int y) {
    if (!onBar(y)) return false;
    if (control) {
        setZoom(1.0f);
        drag_ = kHeldAtOne;
    } else {
        setZoom(zoomAt(x));
        drag_ = kDragging;
    }
    if (editor_) editor_->invalidate();
    return true;
}

void KZoomWave::mouseMove(bool, bool, int x, int) {
    if (drag_ != kDragging) return;
    setZoom(zoomAt(x));
    if (editor_) editor_->invalidate();
}

bool KZoomWave::mouseUp(bool, bool, int, int) {
    if (drag_ == kIdle) return false;
    drag_ = kIdle;
    // The handle returns to its resting colour, so it must repaint even when the zoom stayed.
    requestRedraw();
    return true;
}

void KZoomWave::cancel() {
    mouseUp(false, false, 0, 0);
}

} // namespace Korvel

// KZoomWave: a KWave with a vertical zoom from 0.1x to 10x, set on a 16-pixel zoom bar along its
// bottom: press or drag on the bar to pick the zoom, Ctrl-click to return to 1x. The handle
// shows the zoom as text.
// Constructor: KZoomWave(placement, const KHistory* history, const KDoubleSource* level1,
//                        const KDoubleSource* level2, std::uint32_t colourA, std::uint32_t colourB,
//                        std::uint32_t colourC, std::uint32_t barColour,
//                        std::uint32_t handleColour, std::uint32_t draggedColour,
//                        const KFontResource* font); either level may be null. [ui]
#pragma once

#include "editor/meters/KWave.h"

namespace Korvel {

class KFontResource;

class KZoomWave : public KWave {
public:
    static constexpr int kBarHeight = 16;
    static constexpr int kHandleWidth = 40;
    enum DragState { kIdle = 0, kDragging = 1, kHeldAtOne = 2 };
    static KTypeId classId();

    KZoomWave(const KControlPlacement& placement, const KHistory* history,
              const KDoubleSource* level1, const KDoubleSource* level2, std::uint32_t colourA,
              std::uint32_t colourB, std::uint32_t colourC, std::uint32_t barColour,
              std::uint32_t handleColour, std::uint32_t draggedColour, const KFontResource* font);
    KTypeId typeId() const override { return classId(); }

    float zoom() const { return zoom_; }
    const char* zoomText() const { return zoomText_; }
    int dragState() const { return drag_; }
    // Left edge of the handle in control coordinates: 1 + the handle position for the zoom.
    int handleX() const;
    // The zoom a press at x on the bar picks, limited to 0.1..10.
    float zoomAt(int x) const;
    void setZoom(float zoom);

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;
    int cursorKind(int x, int y) override;
    bool mouseDown(bool shift, bool control, int x, int y) override;
    bool mouseUp(bool shift, bool control, int x, int y) override;
    void mouseMove(bool shift, bool control, int x, int y) override;
    // The drag ends as on the release: otherwise moves without a button would go on zooming.
    void cancel() override;

private:
    bool onBar(int y) const { return y >= height_ - kBarHeight && y < height_; }
    // Width the handle travels over; at least 1 so a narrow control divides by nothing.
    int travel() const;

    std::uint32_t barColour_, handleColour_, draggedColour_;
    const KFontResource* font_;
    char zoomText_[8] = {};
    int drag_ = kIdle;
};

} // namespace Korvel

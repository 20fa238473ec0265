// KDrawSurface: the one object through which the editor and its controls draw. It keeps a clip
// rectangle that is also the origin of every coordinate a caller passes, so a control draws in
// its own coordinates and cannot reach outside its rectangle. Each primitive is a complete NanoVG
// frame of its own, so no state (scissor, colour, font) leaks from one primitive to the next.
//
// Colours are std::uint32_t values packed as the skin's colour resources hold them: red in the
// lowest byte, then green, blue, and alpha in the highest byte (KColourResource::value()). The
// RGB rectangle fill takes the same packed value and ignores its alpha byte (always opaque).
//
// At a scale above 1 (a HiDPI screen, KEditorScale.h) the framebuffer holds scaledLength(width)
// x scaledLength(height) pixels and every frame maps skin pixels onto it with NanoVG's device
// pixel ratio: shapes and glyphs are drawn at the screen's resolution, images are filtered.
// Rectangles and clips then snap to whole screen pixels, so that an erase covers exactly what a
// full redraw painted, also at scales such as 1.5 that put skin edges between screen pixels.
//
// Portable: it needs only NanoVG; the editor window (or a test harness) owns the NanoVG context
// and the GL framebuffer it draws into. Every operation runs on the user-interface thread [ui],
// with the window's GL context current.
#pragma once

#include <cstdint>

struct NVGcontext;

namespace Korvel {

class KFontResource;

class KDrawSurface {
public:
    // Text alignment within the text box.
    static constexpr int kAlignLeft = 0;
    static constexpr int kAlignCentre = 1;
    static constexpr int kAlignRight = 2;

    // [ui] The context is not owned. The clip starts as the whole surface; width and height are
    // in skin pixels, the scale is clamped (clampEditorScale).
    KDrawSurface(NVGcontext* context, int width, int height, double scale = 1.0);
    virtual ~KDrawSurface();
    KDrawSurface(const KDrawSurface&) = delete;
    KDrawSurface& operator=(const KDrawSurface&) = delete;

    NVGcontext* context() const { return context_; }
    int width() const { return width_; }
    int height() const { return height_; }
    double scale() const { return scale_; }

    // [ui] Clip and origin: x and y are clamped into the surface, the size is cut at its edges.
    void setClip(int x, int y, int w, int h);
    void resetClip();
    int clipX() const { return clipX_; }
    int clipY() const { return clipY_; }
    int clipWidth() const { return clipWidth_; }
    int clipHeight() const { return clipHeight_; }

    // [ui] Primitives; coordinates are relative to the clip origin.
    void fillRectRGB(int x, int y, int w, int h, std::uint32_t rgb);
    void fillRectRGBA(int x, int y, int w, int h, std::uint32_t rgba);
    void hLine(int x1, int y, int x2, std::uint32_t rgba);
    void vLine(int x, int y1, int y2, std::uint32_t rgba);
    void line(double x1, double y1, double x2, double y2, double width, std::uint32_t rgba);
    void fillCircle(double cx, double cy, double radius, std::uint32_t rgba);
    // The text sits on a line at 55 % of the box height. A null text or font draws nothing;
    // alignment: kAlignLeft, kAlignRight, anything else centres.
    void text(const char* text, int x, int y, int w, int h, const KFontResource* font,
              int alignment);
    // Copies the source rectangle of a NanoVG image, unscaled, to the destination point. An
    // image that NanoVG reports with no size (a failed load) draws nothing.
    void image(int handle, int sx, int sy, int sw, int sh, int dx, int dy);

    // Paint statistics for benchmarks and tests: NanoVG frames begun, and clip rectangles set
    // since the last reset in which at least one primitive drew (one per control painted or
    // erased when the editor clips each control).
    std::uint64_t frameCount() const { return frames_; }
    std::uint64_t drawnClipCount() const { return drawnClips_; }
    void resetCounts();

private:
    void beginFrame();
    void endFrame();
    // A skin coordinate moved to the nearest screen pixel's edge (unchanged at scale 1).
    float snap(float v) const;
    void snappedRect(float x, float y, float w, float h);

    NVGcontext* context_;
    std::int32_t width_;
    std::int32_t height_;
    std::int32_t clipX_ = 0;
    std::int32_t clipY_ = 0;
    std::int32_t clipWidth_;
    std::int32_t clipHeight_;
    double scale_;
    // The frame's size in skin pixels: the framebuffer's pixels over the scale.
    float frameWidth_;
    float frameHeight_;
    std::uint64_t frames_ = 0;
    std::uint64_t drawnClips_ = 0;
    bool clipDrawn_ = false;
};

} // namespace Korvel

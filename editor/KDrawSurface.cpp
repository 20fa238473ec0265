#include "editor/KDrawSurface.h"

#include "editor/KEditorScale.h"

#include "skin/KFontResource.h"

#include "nanovg.h"

#include <algorithm>
#include <cmath>

namespace Korvel {

namespace {

// 1/255 as a single-precision constant: every colour byte becomes a NanoVG component with it.
constexpr float kByteScale = 0.003921569f;

float component(std::uint32_t packed, int index) {
    return static_cast<float>((packed >> (8 * index)) & 0xffu) * kByteScale;
}

NVGcolor rgba(std::uint32_t packed) {
    return nvgRGBAf(component(packed, 0), component(packed, 1), component(packed, 2),
                    component(packed, 3));
}

} // namespace

KDrawSurface::KDrawSurface(NVGcontext* context, int width, int height, double scale)
    : context_(context), width_(std::max(width, 0)), height_(std::max(height, 0)),
      clipWidth_(width_), clipHeight_(height_), scale_(clampEditorScale(scale)),
      frameWidth_(static_cast<float>(width_)), frameHeight_(static_cast<float>(height_)) {
    if (scale_ != 1.0) {
        frameWidth_ = static_cast<float>(scaledLength(width_, scale_) / scale_);
        frameHeight_ = static_cast<float>(scaledLength(height_, scale_) / scale_);
    }
}

KDrawSurface::~KDrawSurface() = default;

void KDrawSurface::setClip(int x, int y, int w, int h) {
    clipX_ = std::clamp(x, 0, width_);
    clipY_ = std::clamp(y, 0, height_);
    // A negative size clips everything away rather than reaching a scissor as a negative extent.
    clipWidth_ = std::max(0, std::min(w, width_ - clipX_));
    clipHeight_ = std::max(0, std::min(h, height_ - clipY_));
    clipDrawn_ = false;
}

void KDrawSurface::resetClip() {
    setClip(0, 0, width_, height_);
}

void KDrawSurface::resetCounts() {
    frames_ = 0;
    drawnClips_ = 0;
    clipDrawn_ = false;
}

void KDrawSurface::beginFrame() {
    ++frames_;
    if (!clipDrawn_) {
        clipDrawn_ = true;
        ++drawnClips_;
    }
    nvgBeginFrame(context_, frameWidth_, frameHeight_, static_cast<float>(scale_));
    // A scissor only when the clip is smaller than the surface.
    if (clipWidth_ < width_ || clipHeight_ < height_) {
        const float x0 = snap(static_cast<float>(clipX_)), y0 = snap(static_cast<float>(clipY_));
        nvgScissor(context_, x0, y0, snap(static_cast<float>(clipX_ + clipWidth_)) - x0,
                   snap(static_cast<float>(clipY_ + clipHeight_)) - y0);
    }
    nvgBeginPath(context_);
}

float KDrawSurface::snap(float v) const {
    if (scale_ == 1.0) return v;
    return static_cast<float>(std::round(static_cast<double>(v) * scale_) / scale_);
}

void KDrawSurface::snappedRect(float x, float y, float w, float h) {
    const float x0 = snap(x), y0 = snap(y);
    nvgRect(context_, x0, y0, snap(x + w) - x0, snap(y + h) - y0);
}

void KDrawSurface::endFrame() {
    nvgEndFrame(context_);
}

void KDrawSurface::fillRectRGB(int x, int y, int w, int h, std::uint32_t rgb) {
    if (!context_) return;
    beginFrame();
    snappedRect(static_cast<float>(clipX_ + x), static_cast<float>(clipY_ + y),
                static_cast<float>(w), static_cast<float>(h));
    nvgFillColor(context_, nvgRGBf(component(rgb, 0), component(rgb, 1), component(rgb, 2)));
    nvgFill(context_);
    endFrame();
}

void KDrawSurface::fillRectRGBA(int x, int y, int w, int h, std::uint32_t colour) {
    if (!context_) return;
    beginFrame();
    snappedRect(static_cast<float>(clipX_ + x), static_cast<float>(clipY_ + y),
                static_cast<float>(w), static_cast<float>(h));
    nvgFillColor(context_, rgba(colour));
    nvgFill(context_);
    endFrame();
}

void KDrawSurface::hLine(int x1, int y, int x2, std::uint32_t colour) {
    line(x1, y, x2, y, 1.0, colour);
}

void KDrawSurface::vLine(int x, int y1, int y2, std::uint32_t colour) {
    line(x, y1, x, y2, 1.0, colour);
}

void KDrawSurface::line(double x1, double y1, double x2, double y2, double width,
                        std::uint32_t colour) {
    if (!context_) return;
    beginFrame();
    nvgMoveTo(context_, static_cast<float>(clipX_ + x1), static_cast<float>(clipY_ + y1));
    nvgLineTo(context_, static_cast<float>(clipX_ + x2), static_cast<float>(clipY_ + y2));
    nvgStrokeWidth(context_, static_cast<float>(width));
    nvgStrokeColor(context_, rgba(colour));
    nvgStroke(context_);
    endFrame();
}

void KDrawSurface::fillCircle(double cx, double cy, double radius, std::uint32_t colour) {
    if (!context_) return;
    beginFrame();
    nvgCircle(context_, static_cast<float>(clipX_ + cx), static_cast<float>(clipY_ + cy),
              static_cast<float>(radius));
    nvgFillColor(context_, rgba(colour));
    nvgFill(context_);
    endFrame();
}

void KDrawSurface::text(const char* text, int x, int y, int w, int h, const KFontResource* font,
                        int alignment) {
    if (!context_ || !text || !font) return;
    beginFrame();
    nvgFontBlur(context_, 0.0f);
    nvgFontSize(context_, static_cast<float>(font->size()));
    nvgFontFace(context_, font->face());
    float anchorX;
    if (alignment == kAlignLeft) {
        anchorX = static_cast<float>(x);
        nvgTextAlign(context_, NVG_ALIGN_LEFT | NVG_ALIGN_MIDDLE);
    } else if (alignment == kAlignRight) {
        anchorX = static_cast<float>(x) + static_cast<float>(w);
        nvgTextAlign(context_, NVG_ALIGN_RIGHT | NVG_ALIGN_MIDDLE);
    } else {
        anchorX = static_cast<float>(x) + static_cast<float>(w) * 0.5f;
        nvgTextAlign(context_, NVG_ALIGN_CENTER | NVG_ALIGN_MIDDLE);
    }
    // The line sits at 55 % of the box; std::round on floats rounds half away from zero.
    const float drawX = std::round(static_cast<float>(clipX_) + anchorX);
    const float drawY = std::round(static_cast<float>(y) + static_cast<float>(h) * 0.55f +
                                   (static_cast<float>(clipY_) + 0.5f));
    nvgFillColor(context_, rgba(font->colour()));
    nvgText(context_, drawX, drawY, text, nullptr);
    endFrame();
}

void KDrawSurface::image(int handle, int sx, int sy, int sw, int sh, int dx, int dy) {
    if (!context_) return;
    const int destX = clipX_ + dx;
    const int destY = clipY_ + dy;
    int imageWidth = 0;
    int imageHeight = 0;
    nvgImageSize(context_, handle, &imageWidth, &imageHeight);
    if (imageWidth <= 0 || imageHeight <= 0) return;
    const NVGpaint paint = nvgImagePattern(
        context_, static_cast<float>(destX - sx), static_cast<float>(destY - sy),
        static_cast<float>(imageWidth), static_cast<float>(imageHeight), 0.0f, handle, 1.0f);
    beginFrame();
    snappedRect(static_cast<float>(destX), static_cast<float>(destY), static_cast<float>(sw),
                static_cast<float>(sh));
    nvgFillPaint(context_, paint);
    nvgFill(context_);
    endFrame();
}

} // namespace Korvel

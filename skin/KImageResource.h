// A PNG image of the skin ("PngResource"): a grid of equal frames, read left to right, then top to
// bottom. The NanoVG image exists only while a drawing context does.
#pragma once

#include "skin/KResource.h"

namespace Korvel {

class KImageResource : public KResource {
public:
    static constexpr int kMaxFile = 63;
    static KTypeId classId();

    // The frame sizes and count are at least 1 (the factory refuses others).
    KImageResource(const char* file, int frameWidth, int frameHeight, int frameCount);
    KTypeId typeId() const override { return classId(); }

    // [ui] Uploads the named file's pixels, decoded once per process (KDecodedImages), into a
    // NanoVG image (no image flags) unless one exists.
    void load(NVGcontext* context) override;
    // [ui] Deletes the image; handle() is 0 afterwards.
    void release(NVGcontext* context) override;

    const char* file() const { return file_; }
    int handle() const { return handle_; }
    int frameWidth() const { return frameWidth_; }
    int frameHeight() const { return frameHeight_; }
    int frameCount() const { return frameCount_; }
    int imageWidth() const { return imageWidth_; }
    int imageHeight() const { return imageHeight_; }
    int columns() const { return columns_; }
    int rows() const { return rows_; }
    // Loaded, sized, and the grid holds every frame.
    bool usable() const;
    // Pixel offset of frame i in the image; false (and 0, 0) when the image has no grid or i is
    // outside 0..frameCount-1.
    bool frameOrigin(int i, int* x, int* y) const;
    // Frame i can be drawn: the image is usable and i is one of its frames; its pixel offset
    // then goes to x and y. What is not drawable is not drawn at all, never approximated.
    bool drawableFrame(int i, int* x, int* y) const { return usable() && frameOrigin(i, x, y); }

    // For tests without a drawing context: acts as if the image had been decoded at that size.
    void setLoadedForTest(int handle, int imageWidth, int imageHeight);

private:
    void setGrid(int imageWidth, int imageHeight);

    char file_[kMaxFile + 1] = {};
    int handle_ = 0;
    int frameWidth_, frameHeight_, frameCount_;
    int imageWidth_ = 0, imageHeight_ = 0;
    int columns_ = 0, rows_ = 0;
};

} // namespace Korvel

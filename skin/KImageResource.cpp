#include "skin/KImageResource.h"

#include "core/KNamedFiles.h"
#include "core/KText.h"
#include "skin/KDecodedImages.h"

#include <nanovg.h>

namespace Korvel {

KTypeId KImageResource::classId() {
    static const char tag = 0;
    return &tag;
}

KImageResource::KImageResource(const char* file, int frameWidth, int frameHeight, int frameCount)
    : frameWidth_(frameWidth), frameHeight_(frameHeight), frameCount_(frameCount) {
    copyText(file_, file, kMaxFile);
}

void KImageResource::load(NVGcontext* context) {
    if (!context || handle_ > 0) return;
    KFileData data;
    KDecodedImage pixels;
    if (!loadNamedFile(file_, data) || !decodedImage(data, pixels)) return;
    handle_ = nvgCreateImageRGBA(context, pixels.width, pixels.height, 0, pixels.pixels);
    if (handle_ <= 0) {
        handle_ = 0;
        return;
    }
    int w = 0, h = 0;
    nvgImageSize(context, handle_, &w, &h);
    setGrid(w, h);
}

void KImageResource::release(NVGcontext* context) {
    if (context && handle_ > 0) nvgDeleteImage(context, handle_);
    handle_ = 0;
}

void KImageResource::setGrid(int imageWidth, int imageHeight) {
    imageWidth_ = imageWidth;
    imageHeight_ = imageHeight;
    columns_ = frameWidth_ > 0 ? imageWidth / frameWidth_ : 0;
    rows_ = frameHeight_ > 0 ? imageHeight / frameHeight_ : 0;
}

void KImageResource::setLoadedForTest(int handle, int imageWidth, int imageHeight) {
    handle_ = handle;
    setGrid(imageWidth, imageHeight);
}

bool KImageResource::usable() const {
    return handle_ > 0 && frameWidth_ > 0 && frameHeight_ > 0 && imageWidth_ > 0 &&
           imageHeight_ > 0 &&
           static_cast<long long>(rows_) * columns_ >= static_cast<long long>(frameCount_);
}

bool KImageResource::frameOrigin(int i, int* x, int* y) const {
    int fx = 0, fy = 0;
    bool ok = columns_ > 0 && i >= 0 && i < frameCount_;
    if (ok) {
        fx = frameWidth_ * (i % columns_);
        fy = frameHeight_ * (i / columns_);
    }
    if (x) *x = fx;
    if (y) *y = fy;
    return ok;
}

} // namespace Korvel

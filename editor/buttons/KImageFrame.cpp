#include "editor/buttons/KImageFrame.h"

#include "editor/KDrawSurface.h"
#include "skin/KImageResource.h"

namespace Korvel {

int KImageFrame::count() const {
    return image_ ? image_->frameCount() : 0;
}

void KImageFrame::paint(KDrawSurface& surface, int frame) {
    drawn_ = frame;
    int x = 0, y = 0;
    if (!image_ || !image_->usable() || !image_->frameOrigin(frame, &x, &y)) return;
    surface.image(image_->handle(), x, y, image_->frameWidth(), image_->frameHeight(), 0, 0);
}

int KImageFrame::pressedFrame(int state, bool pressed, int frames) {
    if (!pressed) return state;
    if (frames == 3) return 2;
    if (frames == 4) return state + 2;
    return state;
}

} // namespace Korvel

// KImageFrame: what every image control shares: its skin image, drawn one frame at a time at the
// control's top-left corner, and the frame it drew last, so the control repaints only when the
// frame it would draw differs.
#pragma once

namespace Korvel {

class KDrawSurface;
class KImageResource;

class KImageFrame {
public:
    // The image is not owned; null draws nothing.
    explicit KImageFrame(const KImageResource* image) : image_(image) {}

    const KImageResource* image() const { return image_; }
    // Frames of the image as the skin declared them; 0 without an image.
    int count() const;
    // Frame painted last, -1 before the first paint.
    int drawn() const { return drawn_; }
    bool differs(int frame) const { return frame != drawn_; }

    // [ui] Draws frame at (0, 0) when the image is usable and holds that frame; records it
    // either way, so a failed image does not repaint on every draw.
    void paint(KDrawSurface& surface, int frame);

    // Frame of a two-state control (switch, radio) while pressed or not: the pressed look is
    // frame 2 of a three-frame image, or state + 2 of a four-frame image.
    static int pressedFrame(int state, bool pressed, int frames);

private:
    const KImageResource* image_;
    int drawn_ = -1;
};

} // namespace Korvel

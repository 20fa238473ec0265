// The frame an image meter shows for a position counted in frames: truncated toward zero,
// 0 when negative or not a number, at most the last frame.
#pragma once

namespace Korvel {

inline int meterFrame(double position, int frames) {
    if (!(position > 0.0) || frames <= 1) return 0;
    if (position >= frames - 1) return frames - 1;
    return static_cast<int>(position);
}

} // namespace Korvel

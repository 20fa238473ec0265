// The editor's scale: how many screen pixels one skin pixel takes (1 on an ordinary screen, 2 on
// a HiDPI one). The skin, its controls and every editor coordinate stay in skin pixels; only the
// window, its framebuffer and the drawing surface's frames know the scale. Portable; [any].
#pragma once

namespace Korvel {

constexpr double kMinEditorScale = 1.0;
constexpr double kMaxEditorScale = 4.0;

// Into kMinEditorScale..kMaxEditorScale; what is no positive finite number is 1.
double clampEditorScale(double scale);
// A scale written as a number ("2", "1.5", " 1.25 "); 0 when the text is none (empty, negative,
// not a number, trailing words).
double parseEditorScale(const char* text);
// Screen pixels of a length of skin pixels, rounded; at scale 1 the length itself.
int scaledLength(int skinPixels, double scale);
// The skin pixel under the centre of a screen pixel; at scale 1 the position itself.
int skinPosition(int screenPixel, double scale);

} // namespace Korvel

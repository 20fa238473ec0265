// A colour of the skin ("RGBColour", "RGBAColour"). Immutable after the build: read on any thread.
#pragma once

#include "skin/KResource.h"

#include <cstdint>

namespace Korvel {

class KColourResource : public KResource {
public:
    static KTypeId classId();

    KColourResource(int red, int green, int blue, int alpha = 255);
    KTypeId typeId() const override { return classId(); }

    // Packed RGBA, red in the lowest byte and alpha in the highest.
    std::uint32_t value() const;
    std::uint8_t red() const { return red_; }
    std::uint8_t green() const { return green_; }
    std::uint8_t blue() const { return blue_; }
    std::uint8_t alpha() const { return alpha_; }

private:
    // Each keeps the low 8 bits of what the script wrote (256 gives 0).
    std::uint8_t red_, green_, blue_, alpha_;
};

} // namespace Korvel

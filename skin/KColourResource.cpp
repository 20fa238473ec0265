#include "skin/KColourResource.h"

namespace Korvel {

KTypeId KColourResource::classId() {
    static const char tag = 0;
    return &tag;
}

KColourResource::KColourResource(int red, int green, int blue, int alpha)
    : red_(static_cast<std::uint8_t>(red & 0xff)), green_(static_cast<std::uint8_t>(green & 0xff)),
      blue_(static_cast<std::uint8_t>(blue & 0xff)),
      alpha_(static_cast<std::uint8_t>(alpha & 0xff)) {}

std::uint32_t KColourResource::value() const {
    return static_cast<std::uint32_t>(red_) | static_cast<std::uint32_t>(green_) << 8 |
           static_cast<std::uint32_t>(blue_) << 16 | static_cast<std::uint32_t>(alpha_) << 24;
}

} // namespace Korvel

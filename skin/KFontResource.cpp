#include "skin/KFontResource.h"

namespace Korvel {

KTypeId KFontResource::classId() {
    static const char tag = 0;
    return &tag;
}

KFontResource::KFontResource(double size, std::uint32_t colour, const char* face)
    : record_(size, colour, face) {}

} // namespace Korvel

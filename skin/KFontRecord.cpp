#include "skin/KFontRecord.h"

#include <cstring>
#include <new>

namespace Korvel {

KFontRecord::KFontRecord(double size, std::uint32_t colour, const char* face)
    : size_(size), colour_(colour) {
    if (!face) face = "";
    std::size_t n = std::strlen(face);
    face_.reset(new char[n + 1]);
    if (face_) std::memcpy(face_.get(), face, n + 1);
}

const char* KFontRecord::face() const {
    return face_ ? face_.get() : "";
}

} // namespace Korvel

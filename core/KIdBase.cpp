#include "core/KIdBase.h"

#include "core/KText.h"

#include <cstring>

namespace Korvel {

bool Named::nameIs(const char* text) const {
    const char* name = getName();
    return text && name && std::strcmp(name, text) == 0;
}

bool KIdBase::nameIs(const char* text) const {
    return text && std::strncmp(name_, text, kMaxName) == 0;
}

void KIdBase::setName(const char* text) {
    copyText(name_, text, kMaxName);
}

} // namespace Korvel

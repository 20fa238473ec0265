#include "skin/KOSCheck.h"

#include "core/KText.h"

namespace Korvel {

KTypeId KOSCheck::classId() {
    static const char tag = 0;
    return &tag;
}

KOSCheck::KOSCheck(const char* systemWord) : thisSystem_(equalsNoCase(systemWord, kSystemWord)) {}

} // namespace Korvel

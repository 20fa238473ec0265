#include "editor/buttons/KUrl.h"

namespace Korvel {

KTypeId KUrl::classId() {
    static const char tag = 0;
    return &tag;
}

KUrl::KUrl(const KControlPlacement& placement, const char* link) : KLinkControl(placement, link) {}

} // namespace Korvel

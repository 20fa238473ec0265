#include "editor/buttons/KImgUrl.h"

namespace Korvel {

KTypeId KImgUrl::classId() {
    static const char tag = 0;
    return &tag;
}

KImgUrl::KImgUrl(const KControlPlacement& placement, const KImageResource* image, const char* link)
    : KLinkControl(placement, link), frame_(image) {}

void KImgUrl::paint(KDrawSurface& surface) {
    frame_.paint(surface, 0);
}

} // namespace Korvel

#include "editor/text/KBgValue.h"

namespace Korvel {

KTypeId KBgValue::classId() {
    static const char tag = 0;
    return &tag;
}

KBgValue::KBgValue(const KControlPlacement& placement, int parameter, const KImageResource* image,
                   const KFontResource* font)
    : KValue(placement, parameter, font), frame_(image) {}

void KBgValue::paint(KDrawSurface& surface) {
    frame_.paint(surface, 0);
    KValue::paint(surface);
}

} // namespace Korvel

#include "editor/buttons/KImg.h"

namespace Korvel {

KTypeId KImg::classId() {
    static const char tag = 0;
    return &tag;
}

KImg::KImg(const KControlPlacement& placement, const KImageResource* image)
    : KEditorControl(placement), frame_(image) {}

void KImg::paint(KDrawSurface& surface) {
    frame_.paint(surface, 0);
}

} // namespace Korvel

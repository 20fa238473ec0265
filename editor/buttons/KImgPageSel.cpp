#include "editor/buttons/KImgPageSel.h"

#include "editor/KEditor.h"

namespace Korvel {

KTypeId KImgPageSel::classId() {
    static const char tag = 0;
    return &tag;
}

KImgPageSel::KImgPageSel(const KControlPlacement& placement, const KImageResource* image, int page)
    : KPageControl(placement, page), frame_(image) {}

int KImgPageSel::frameToDraw() const {
    if (pressed_ && frame_.count() == 3) return 2;
    return editor_ && editor_->currentPage() == selects_ ? 1 : 0;
}

bool KImgPageSel::needsRedraw() const {
    return KPageControl::needsRedraw() || frame_.differs(frameToDraw());
}

void KImgPageSel::paint(KDrawSurface& surface) {
    frame_.paint(surface, frameToDraw());
}

} // namespace Korvel

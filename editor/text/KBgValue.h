// KBgValue: a KValue drawn over frame 0 of an image.
// Constructor: KBgValue(placement, int parameter, const KImageResource* image,
//                       const KFontResource* font); neither is owned. [ui]
#pragma once

#include "editor/buttons/KImageFrame.h"
#include "editor/text/KValue.h"

namespace Korvel {

class KBgValue : public KValue {
public:
    static KTypeId classId();

    KBgValue(const KControlPlacement& placement, int parameter, const KImageResource* image,
             const KFontResource* font);
    KTypeId typeId() const override { return classId(); }

    void paint(KDrawSurface& surface) override;

private:
    KImageFrame frame_;
};

} // namespace Korvel

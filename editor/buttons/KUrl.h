// KUrl: an invisible link area over the background; releasing the mouse over it opens the link.
// Constructor: KUrl(placement, const char* link). [ui]
#pragma once

#include "editor/buttons/KLinkControl.h"

namespace Korvel {

class KUrl : public KLinkControl {
public:
    static KTypeId classId();

    KUrl(const KControlPlacement& placement, const char* link);
    KTypeId typeId() const override { return classId(); }
};

} // namespace Korvel

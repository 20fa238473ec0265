// KLinkControl: a web link, shared by KUrl and KImgUrl. Releasing the mouse over it asks the
// editor's window to open the address; the press is not taken, so a release opens the link also
// when the press was made elsewhere on no control. All operations run on the user-interface
// thread [ui].
#pragma once

#include "editor/KEditorControl.h"

#include <string>

namespace Korvel {

class KLinkControl : public KEditorControl {
public:
    // Addresses are measured on at most this many characters.
    static constexpr std::size_t kMaxLink = 256;
    // Shorter texts cannot be an address and open nothing.
    static constexpr std::size_t kMinLink = 8;

    KLinkControl(const KControlPlacement& placement, const char* link);

    const char* link() const { return link_.c_str(); }

    int cursorKind(int x, int y) override;
    bool mouseUp(bool shift, bool control, int x, int y) override;

private:
    std::string link_;
};

} // namespace Korvel

#include "editor/buttons/KLinkControl.h"

#include "editor/KEditor.h"
#include "editor/KWindowInterface.h"

namespace Korvel {

namespace {

std::size_t boundedLength(const char* text, std::size_t limit) {
    std::size_t n = 0;
    while (text && n < limit && text[n] != '\0')
        ++n;
    return n;
}

} // namespace

KLinkControl::KLinkControl(const KControlPlacement& placement, const char* link)
    : KEditorControl(placement), link_(link ? link : "", boundedLength(link, kMaxLink)) {}

int KLinkControl::cursorKind(int, int) {
    return kCursorHand;
}

bool KLinkControl::mouseUp(bool, bool, int, int) {
    KWindowInterface* window = editor_ ? editor_->window() : nullptr;
    if (window && link_.size() >= kMinLink) window->openLink(link_.c_str());
    return false;
}

} // namespace Korvel

#include "platform/linux/KXErrorTrap.h"

namespace Korvel {

namespace {

// Traps run only on the host's GUI thread; a host that drives two editors does so from the same
// thread, so plain statics are enough. The displays of open traps form a short stack.
constexpr int kMaxDepth = 8;
Display* gDisplays[kMaxDepth];
int gDepth = 0;
int gErrors = 0;
int gLastError = 0;
XErrorHandler gPrevious = nullptr;

int containingHandler(Display* display, XErrorEvent* event) {
    for (int i = 0; i < gDepth; ++i) {
        if (gDisplays[i] == display) {
            ++gErrors;
            gLastError = event->error_code;
            return 0;
        }
    }
    // Someone else's connection: the host's own handler decides, as it would without us.
    return gPrevious ? gPrevious(display, event) : 0;
}

} // namespace

KXErrorTrap::KXErrorTrap(Display* display) : display_(display), errorsAtStart_(gErrors) {
    if (!display_) return;
    if (gDepth == 0) {
        XSync(display_, False);
        gPrevious = XSetErrorHandler(containingHandler);
        // Another trap's handler as "previous" would forward to itself.
        if (gPrevious == containingHandler) gPrevious = nullptr;
    }
    if (gDepth < kMaxDepth) gDisplays[gDepth] = display_;
    ++gDepth;
    errorsAtStart_ = gErrors;
}

KXErrorTrap::~KXErrorTrap() {
    if (!display_) return;
    XSync(display_, False);
    --gDepth;
    if (gDepth == 0) {
        XErrorHandler mine = XSetErrorHandler(gPrevious);
        // The host replaced the handler while we worked: leave its choice in place.
        if (mine != containingHandler) XSetErrorHandler(mine);
        gPrevious = nullptr;
    }
}

int KXErrorTrap::sync() {
    if (!display_) return 0;
    XSync(display_, False);
    return gErrors - errorsAtStart_;
}

void KXErrorTrap::reset() {
    errorsAtStart_ = gErrors;
    gLastError = 0;
}

int KXErrorTrap::lastError() const {
    return gLastError;
}

} // namespace Korvel

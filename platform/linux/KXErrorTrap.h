// Keeps X errors of the plug-in's own connections away from Xlib's default handler (which exits the
// process) and from the host's handler, while errors on the host's connections still reach the
// host's handler. Xlib's handler is process-wide, so ours is installed only for the duration of a
// trap: the plug-in's X work runs inside one, and the trap syncs before handing the handler back so
// that every error our requests cause arrives while it is installed. [ui]
#pragma once

#include <X11/Xlib.h>

namespace Korvel {

class KXErrorTrap {
public:
    // Syncs display (so older errors are reported to whoever was installed before) and installs
    // the containing handler. Traps nest.
    explicit KXErrorTrap(Display* display);
    // Syncs again and puts the previous handler back when the outermost trap ends.
    ~KXErrorTrap();
    KXErrorTrap(const KXErrorTrap&) = delete;
    KXErrorTrap& operator=(const KXErrorTrap&) = delete;

    // Syncs and answers the number of errors on display since the trap began (or the last reset).
    int sync();
    void reset();
    // Last error code seen on display (0 when none).
    int lastError() const;

private:
    Display* display_;
    int errorsAtStart_;
};

} // namespace Korvel

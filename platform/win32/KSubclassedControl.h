// A system control (a window of a class such as "Edit") taken over by the shared window procedure
// after creation: its object sits in the user data and its own procedure answers every message
// that the object does not handle. Everything here is [ui].
#pragma once

#include "platform/win32/KWindow.h"

namespace Korvel {

class KSubclassedControl : public KWindow {
public:
    KSubclassedControl() = default;
    // Puts the control's own procedure back when the window is still there.
    ~KSubclassedControl() override;

    // Creates the system control, then subclasses it.
    HWND create(HWND parent) override;
    // The control's own procedure (DefWindowProcA when there is none).
    LRESULT defaultHandler(UINT message, WPARAM w, LPARAM l) override;

protected:
    void restoreProcedure();

    WNDPROC previous_ = nullptr;
};

} // namespace Korvel

// Base of the plug-in's native windows: one window procedure for all of them, which finds the
// object through the window's user data and dispatches to its handler table (KMessageHandler), a
// window class of its own per module and a create record that derived classes edit before the
// window is made. Everything here is [ui].
#pragma once

#include "platform/win32/KMessageHandler.h"

namespace Korvel {

class KWindow : public KMessageHandler {
public:
    KWindow() = default;
    KWindow(const KWindow&) = delete;
    KWindow& operator=(const KWindow&) = delete;
    // The window outlives no object: a live one is detached, then destroyed.
    ~KWindow() override;

    // The window in parent; an existing live window is returned as it is. Null on failure.
    virtual HWND create(HWND parent);
    // "KWinClass_<instance><procedure>", registered on first use.
    virtual const char* className();
    // Edits the create record (the arguments of CreateWindowExA) before the window is made.
    virtual void preCreate(CREATESTRUCTA&) {}

    // Sends WM_COMMAND and application messages on to a live parent.
    LRESULT onCommand(WPARAM w, LPARAM l) override;
    LRESULT onApplicationMessage(UINT message, WPARAM w, LPARAM l) override;
    // DefWindowProcA on the window.
    LRESULT defaultHandler(UINT message, WPARAM w, LPARAM l) override;

    HWND handle() const { return window_; }
    bool isLive() const { return window_ && IsWindow(window_); }

    // The procedure of every KWindow (and of every subclassed control).
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM w, LPARAM l);
    // The module's instance handle (the one the window classes belong to).
    static HINSTANCE instance();

protected:
    // The object's window handle and the window's user data point at each other.
    void attach(HWND window);
    void detach();

    HWND window_ = nullptr;
    char className_[64] = {};

private:
    LRESULT dispatch(UINT message, WPARAM w, LPARAM l);
};

} // namespace Korvel

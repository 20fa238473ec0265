// The message handlers of a KWindow, in their table order. Each receives its message unpacked; the
// default of each passes the message on, unchanged, to defaultHandler. Everything here is [ui]: it
// runs on the thread that owns the window.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace Korvel {

class KMessageHandler {
public:
    virtual ~KMessageHandler() = default;
    virtual LRESULT onActivate(WPARAM w, LPARAM l) { return defaultHandler(WM_ACTIVATE, w, l); }
    // 0x8000 to 0xBFFF.
    virtual LRESULT onApplicationMessage(UINT message, WPARAM w, LPARAM l) {
        return defaultHandler(message, w, l);
    }
    virtual LRESULT onCaptureChanged(HWND gaining) {
        return defaultHandler(WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(gaining));
    }
    virtual LRESULT onClose() { return defaultHandler(WM_CLOSE, 0, 0); }
    virtual LRESULT onCommand(WPARAM w, LPARAM l) { return defaultHandler(WM_COMMAND, w, l); }
    virtual LRESULT onCreate(CREATESTRUCTA* create) {
        return defaultHandler(WM_CREATE, 0, reinterpret_cast<LPARAM>(create));
    }
    virtual LRESULT onCtlColorEdit(WPARAM w, LPARAM l) {
        return defaultHandler(WM_CTLCOLOREDIT, w, l);
    }
    virtual LRESULT onCtlColorStatic(WPARAM w, LPARAM l) {
        return defaultHandler(WM_CTLCOLORSTATIC, w, l);
    }
    virtual LRESULT onDeviceChange(WPARAM w, LPARAM l) {
        return defaultHandler(WM_DEVICECHANGE, w, l);
    }
    virtual LRESULT onDestroy() { return defaultHandler(WM_DESTROY, 0, 0); }
    virtual LRESULT onEnable(WPARAM w, LPARAM l) { return defaultHandler(WM_ENABLE, w, l); }
    virtual LRESULT onEraseBackground(WPARAM w, LPARAM l) {
        return defaultHandler(WM_ERASEBKGND, w, l);
    }
    virtual LRESULT onGetDlgCode(WPARAM w, LPARAM l) { return defaultHandler(WM_GETDLGCODE, w, l); }
    virtual LRESULT onGetMinMaxInfo(WPARAM w, LPARAM l) {
        return defaultHandler(WM_GETMINMAXINFO, w, l);
    }
    virtual LRESULT onInitDialog(WPARAM w, LPARAM l) { return defaultHandler(WM_INITDIALOG, w, l); }
    virtual LRESULT onKeyDown(WPARAM key, LPARAM l) { return defaultHandler(WM_KEYDOWN, key, l); }
    virtual LRESULT onKeyUp(WPARAM key, LPARAM l) { return defaultHandler(WM_KEYUP, key, l); }
    virtual LRESULT onKillFocus(HWND gaining) {
        return defaultHandler(WM_KILLFOCUS, reinterpret_cast<WPARAM>(gaining), 0);
    }
    virtual LRESULT onLButtonDown(WPARAM keys, int x, int y) {
        return defaultHandler(WM_LBUTTONDOWN, keys, MAKELPARAM(x, y));
    }
    virtual LRESULT onLButtonUp(WPARAM keys, int x, int y) {
        return defaultHandler(WM_LBUTTONUP, keys, MAKELPARAM(x, y));
    }
    virtual LRESULT onMouseMove(WPARAM keys, int x, int y) {
        return defaultHandler(WM_MOUSEMOVE, keys, MAKELPARAM(x, y));
    }
    virtual LRESULT onNcCreate(CREATESTRUCTA* create) {
        return defaultHandler(WM_NCCREATE, 0, reinterpret_cast<LPARAM>(create));
    }
    virtual LRESULT onNotify(WPARAM w, LPARAM l) { return defaultHandler(WM_NOTIFY, w, l); }
    virtual LRESULT onPaint() { return defaultHandler(WM_PAINT, 0, 0); }
    virtual LRESULT onRButtonDown(WPARAM keys, int x, int y) {
        return defaultHandler(WM_RBUTTONDOWN, keys, MAKELPARAM(x, y));
    }
    virtual LRESULT onRButtonUp(WPARAM keys, int x, int y) {
        return defaultHandler(WM_RBUTTONUP, keys, MAKELPARAM(x, y));
    }
    virtual LRESULT onSetFocus(WPARAM w, LPARAM l) { return defaultHandler(WM_SETFOCUS, w, l); }
    virtual LRESULT onShowWindow(WPARAM w, LPARAM l) { return defaultHandler(WM_SHOWWINDOW, w, l); }
    virtual LRESULT onSize(WPARAM w, LPARAM l) { return defaultHandler(WM_SIZE, w, l); }
    virtual LRESULT onSysCommand(WPARAM w, LPARAM l) { return defaultHandler(WM_SYSCOMMAND, w, l); }
    virtual LRESULT onTimer(WPARAM w, LPARAM l) { return defaultHandler(WM_TIMER, w, l); }
    // 0x0400 to 0x7FFF.
    virtual LRESULT onUserMessage(UINT message, WPARAM w, LPARAM l) {
        return defaultHandler(message, w, l);
    }
    // Every message without a handler of its own, and every handler's default.
    virtual LRESULT defaultHandler(UINT message, WPARAM w, LPARAM l) = 0;
};

} // namespace Korvel

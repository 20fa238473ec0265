#include "platform/win32/KWindow.h"

#include "core/KModule.h"

#include <cstdio>

namespace Korvel {

KWindow::~KWindow() {
    if (isLive()) {
        HWND window = window_;
        detach();
        DestroyWindow(window);
    }
}

HINSTANCE KWindow::instance() {
    void* module = moduleRecord().instance.load(std::memory_order_relaxed);
    if (!module) module = libraryInstanceHandle();
    return module ? static_cast<HINSTANCE>(module) : GetModuleHandleA(nullptr);
}

const char* KWindow::className() {
    if (className_[0] != '\0') return className_;
    std::snprintf(className_, sizeof className_, "KWinClass_%p%p", static_cast<void*>(instance()),
                  reinterpret_cast<void*>(&windowProc));
    WNDCLASSEXA c{};
    c.cbSize = sizeof c;
    c.style = 0; // no CS_DBLCLKS: a quick second click is another click
    c.lpfnWndProc = &windowProc;
    c.hInstance = instance();
    c.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    c.lpszClassName = className_;
    // Fails harmlessly when an earlier object (or an earlier load at the same address, whose
    // procedure sits at the same address) registered it.
    RegisterClassExA(&c);
    return className_;
}

HWND KWindow::create(HWND parent) {
    if (isLive()) return window_;
    CREATESTRUCTA record{};
    record.hInstance = instance();
    record.hMenu = nullptr;
    record.hwndParent = parent;
    record.x = record.y = record.cx = record.cy = CW_USEDEFAULT;
    record.style = 0;
    record.lpszName = nullptr;
    record.dwExStyle = 0;
    record.lpszClass = className();
    preCreate(record);
    return CreateWindowExA(record.dwExStyle, record.lpszClass, record.lpszName,
                           static_cast<DWORD>(record.style), record.x, record.y, record.cx,
                           record.cy, record.hwndParent, record.hMenu, record.hInstance, this);
}

void KWindow::attach(HWND window) {
    window_ = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void KWindow::detach() {
    if (window_ && IsWindow(window_) &&
        GetWindowLongPtrA(window_, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this))
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    window_ = nullptr;
}

LRESULT KWindow::defaultHandler(UINT message, WPARAM w, LPARAM l) {
    return DefWindowProcA(window_, message, w, l);
}

LRESULT KWindow::onCommand(WPARAM w, LPARAM l) {
    HWND parent = window_ ? GetParent(window_) : nullptr;
    if (parent && IsWindow(parent)) return SendMessageA(parent, WM_COMMAND, w, l);
    return defaultHandler(WM_COMMAND, w, l);
}

LRESULT KWindow::onApplicationMessage(UINT message, WPARAM w, LPARAM l) {
    HWND parent = window_ ? GetParent(window_) : nullptr;
    if (parent && IsWindow(parent)) return SendMessageA(parent, message, w, l);
    return defaultHandler(message, w, l);
}

LRESULT CALLBACK KWindow::windowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    KWindow* self = reinterpret_cast<KWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    try {
        if (!self) {
            if (message != WM_NCCREATE) return DefWindowProcA(window, message, w, l);
            auto* create = reinterpret_cast<CREATESTRUCTA*>(l);
            self = create ? static_cast<KWindow*>(create->lpCreateParams) : nullptr;
            // FALSE is what fails WM_NCCREATE (-1 would let the creation go on).
            if (!self) return FALSE;
            self->attach(window);
        }
        LRESULT result = self->dispatch(message, w, l);
        if (message == WM_NCDESTROY) {
            // The handle dies here: the object must not reach a window that may be reused.
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            if (self->window_ == window) self->window_ = nullptr;
        }
        return result;
    } catch (...) {
        return message == WM_NCCREATE ? FALSE : -1;
    }
}

LRESULT KWindow::dispatch(UINT message, WPARAM w, LPARAM l) {
    // Mouse positions are signed: a captured drag goes left of or above the window.
    const int x = static_cast<short>(LOWORD(l)), y = static_cast<short>(HIWORD(l));
    switch (message) {
    case WM_ACTIVATE:
        return onActivate(w, l);
    case WM_CAPTURECHANGED:
        return onCaptureChanged(reinterpret_cast<HWND>(l));
    case WM_CLOSE:
        return onClose();
    case WM_COMMAND:
        return onCommand(w, l);
    case WM_CREATE:
        return onCreate(reinterpret_cast<CREATESTRUCTA*>(l));
    case WM_CTLCOLOREDIT:
        return onCtlColorEdit(w, l);
    case WM_CTLCOLORSTATIC:
        return onCtlColorStatic(w, l);
    case WM_DEVICECHANGE:
        return onDeviceChange(w, l);
    case WM_DESTROY:
        return onDestroy();
    case WM_ENABLE:
        return onEnable(w, l);
    case WM_ERASEBKGND:
        return onEraseBackground(w, l);
    case WM_GETDLGCODE:
        return onGetDlgCode(w, l);
    case WM_GETMINMAXINFO:
        return onGetMinMaxInfo(w, l);
    case WM_INITDIALOG:
        return onInitDialog(w, l);
    case WM_KEYDOWN:
        return onKeyDown(w, l);
    case WM_KEYUP:
        return onKeyUp(w, l);
    case WM_KILLFOCUS:
        return onKillFocus(reinterpret_cast<HWND>(w));
    case WM_LBUTTONDOWN:
        return onLButtonDown(w, x, y);
    case WM_LBUTTONUP:
        return onLButtonUp(w, x, y);
    case WM_MOUSEMOVE:
        return onMouseMove(w, x, y);
    case WM_NCCREATE:
        return onNcCreate(reinterpret_cast<CREATESTRUCTA*>(l));
    case WM_NOTIFY:
        return onNotify(w, l);
    case WM_PAINT:
        return onPaint();
    case WM_RBUTTONDOWN:
        return onRButtonDown(w, x, y);
    case WM_RBUTTONUP:
        return onRButtonUp(w, x, y);
    case WM_SETFOCUS:
        return onSetFocus(w, l);
    case WM_SHOWWINDOW:
        return onShowWindow(w, l);
    case WM_SIZE:
        return onSize(w, l);
    case WM_SYSCOMMAND:
        return onSysCommand(w, l);
    case WM_TIMER:
        return onTimer(w, l);
    default:
        break;
    }
    if (message >= 0x0400 && message <= 0x7FFF) return onUserMessage(message, w, l);
    if (message >= 0x8000 && message <= 0xBFFF) return onApplicationMessage(message, w, l);
    return defaultHandler(message, w, l);
}

} // namespace Korvel

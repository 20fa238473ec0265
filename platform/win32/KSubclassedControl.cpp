#include "platform/win32/KSubclassedControl.h"

namespace Korvel {

KSubclassedControl::~KSubclassedControl() {
    restoreProcedure();
}

HWND KSubclassedControl::create(HWND parent) {
    if (isLive()) return window_;
    CREATESTRUCTA record{};
    record.hInstance = instance();
    record.hwndParent = parent;
    record.x = record.y = record.cx = record.cy = CW_USEDEFAULT;
    record.lpszClass = className();
    preCreate(record);
    HWND window =
        CreateWindowExA(record.dwExStyle, record.lpszClass, record.lpszName,
                        static_cast<DWORD>(record.style), record.x, record.y, record.cx, record.cy,
                        record.hwndParent, record.hMenu, record.hInstance, nullptr);
    if (!window) return nullptr;
    attach(window);
    previous_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&windowProc)));
    return window;
}

void KSubclassedControl::restoreProcedure() {
    if (window_ && IsWindow(window_) && previous_) {
        SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        detach();
    }
    previous_ = nullptr;
}

LRESULT KSubclassedControl::defaultHandler(UINT message, WPARAM w, LPARAM l) {
    if (previous_) return CallWindowProcA(previous_, window_, message, w, l);
    return DefWindowProcA(window_, message, w, l);
}

} // namespace Korvel

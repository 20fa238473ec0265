#include "platform/win32/KTextEntry.h"

#include "core/KEffectInterface.h"
#include "editor/KEditor.h"

#include <atomic>

namespace Korvel {

namespace {
// One field at a time in the process: the hook belongs to whichever is open.
std::atomic<HHOOK> gHook{nullptr};

HFONT createFont(int height) {
    LOGFONTA font{};
    font.lfHeight = height;
    font.lfWeight = FW_NORMAL;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    return CreateFontIndirectA(&font);
}
} // namespace

KTextEntry::KTextEntry(KEditor& editor) : editor_(editor), font_(createFont(kFontHeight)) {}

KTextEntry::~KTextEntry() {
    if (isLive()) DestroyWindow(window_);
    removeHook();
    if (font_) DeleteObject(font_);
    font_ = nullptr;
}

HHOOK KTextEntry::hook() {
    return gHook.load(std::memory_order_relaxed);
}

void KTextEntry::removeHook() {
    HHOOK h = gHook.exchange(nullptr, std::memory_order_relaxed);
    if (h) UnhookWindowsHookEx(h);
}

void KTextEntry::preCreate(CREATESTRUCTA& record) {
    record.style |= WS_CHILD | ES_CENTER;
}

bool KTextEntry::open(HWND parent, int x, int y, int w, int h, bool haveFont, int parameterIndex,
                      int fontHeight) {
    parameter_ = parameterIndex;
    KEffectInterface* effect = editor_.effect();
    if (!parent || !effect || !haveFont || parameterIndex < 0) return false;
    // Another scale since the last field: letters of its size (the old font is no longer set).
    if (fontHeight != fontHeight_ && !isLive()) {
        if (HFONT scaled = createFont(fontHeight)) {
            if (font_) DeleteObject(font_);
            font_ = scaled;
            fontHeight_ = fontHeight;
        }
    }
    if (!isLive() && !create(parent)) return false;
    destroying_ = false;
    SendMessageA(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    SendMessageA(window_, EM_LIMITTEXT, sizeof text_ - 1, 0);
    SetWindowPos(window_, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    char shown[KEffectInterface::kDisplayTextBytes] = {};
    effect->parameterDisplay(parameterIndex, shown, sizeof shown);
    SetWindowTextA(window_, shown);
    SendMessageA(window_, EM_SETSEL, 0, -1);
    editor_.suspendRedraws(true);
    ShowWindow(window_, SW_SHOW);
    SetFocus(window_);
    if (!gHook.load(std::memory_order_relaxed))
        gHook.store(SetWindowsHookExA(WH_KEYBOARD, &keyboardHook, nullptr,
                                      GetWindowThreadProcessId(window_, nullptr)),
                    std::memory_order_relaxed);
    cancelled_ = false;
    return true;
}

LRESULT KTextEntry::onKeyDown(WPARAM key, LPARAM l) {
    if (key != VK_RETURN && key != VK_ESCAPE) return KSubclassedControl::onKeyDown(key, l);
    if (key == VK_ESCAPE) cancelled_ = true;
    finish();
    return 0;
}

LRESULT KTextEntry::onKillFocus(HWND gaining) {
    finish();
    return isLive() ? KSubclassedControl::onKillFocus(gaining) : 0;
}

void KTextEntry::finish() {
    HWND field = window_;
    if (!cancelled_) {
        text_[0] = '\0';
        if (field) GetWindowTextA(field, text_, sizeof text_);
        if (parameter_ >= 0) editor_.commitTypedText(parameter_, text_);
    }
    // Taken over (or discarded) once per opening: the focus loss that the destruction brings
    // finds nothing more to do.
    cancelled_ = true;
    if (field && IsWindow(field) && !destroying_) {
        destroying_ = true;
        DestroyWindow(field);
    }
}

LRESULT KTextEntry::onDestroy() {
    destroying_ = true;
    // Destroyed with the editor window (the host closes the editor or the effect, or destroys
    // its own window): no focus loss need come first, so the text is taken over here.
    finish();
    removeHook();
    editor_.suspendRedraws(false);
    return KSubclassedControl::onDestroy();
}

LRESULT CALLBACK KTextEntry::keyboardHook(int code, WPARAM w, LPARAM l) {
    if (code != HC_ACTION || (l & 0x10000000))
        return CallNextHookEx(gHook.load(std::memory_order_relaxed), code, w, l);
    HWND focus = GetFocus();
    MSG message{};
    message.hwnd = focus;
    message.message = (l & 0x80000000) ? WM_KEYUP : WM_KEYDOWN;
    message.wParam = w;
    message.lParam = l;
    SendMessageA(focus, message.message, w, l);
    // The field gets its WM_CHAR from the host's own message loop.
    TranslateMessage(&message);
    return 1;
}

} // namespace Korvel

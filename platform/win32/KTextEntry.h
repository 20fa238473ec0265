// Typed value entry: a system "Edit" control, subclassed, shown over a value display with the
// parameter's text without unit, all selected. Return or leaving the field commits, Escape
// discards. While it is open a keyboard hook on the UI thread sends every key to the focused
// window and keeps it from the host, and the editor's repaints are suspended so that no paint of
// the OpenGL window covers the field. Everything here is [ui].
#pragma once

#include "platform/win32/KSubclassedControl.h"

namespace Korvel {

class KEditor;

class KTextEntry : public KSubclassedControl {
public:
    // Makes the field's font.
    explicit KTextEntry(KEditor& editor);
    // Destroys the field (which commits, as leaving it does), removes the hook, deletes the font.
    ~KTextEntry() override;

    const char* className() override { return "Edit"; }
    // Hidden child, text centred.
    void preCreate(CREATESTRUCTA& record) override;

    // Shows the field in parent over the rectangle (window pixels), its font fontHeight high
    // (14 at scale 1). False when there is nothing to edit (no effect, no font, negative index)
    // or the field cannot be made.
    bool open(HWND parent, int x, int y, int w, int h, bool haveFont, int parameterIndex,
              int fontHeight = kFontHeight);
    static constexpr int kFontHeight = 14;
    bool isOpen() const { return isLive(); }

    LRESULT onKeyDown(WPARAM key, LPARAM l) override;
    LRESULT onKillFocus(HWND gaining) override;
    LRESULT onDestroy() override;

    // The process's one keyboard hook (null when none is installed).
    static HHOOK hook();

private:
    // Commits unless cancelled, then destroys the field.
    void finish();
    static LRESULT CALLBACK keyboardHook(int code, WPARAM w, LPARAM l);
    static void removeHook();

    KEditor& editor_;
    int parameter_ = -1;
    char text_[256] = {};
    bool cancelled_ = false;
    HFONT font_ = nullptr;
    int fontHeight_ = kFontHeight;
    // Set while the field's window goes away, so that the focus loss it causes does not destroy
    // it a second time.
    bool destroying_ = false;
};

} // namespace Korvel

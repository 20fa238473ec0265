// Typed value entry on X11: a small text field of our own, a child window of the editor window
// placed over a value display, drawn with Xlib in a ~14 px sans font. While it is open it holds
// the keyboard focus (so the host's shortcuts do not fire) and the editor's repaints are
// suspended; closing gives the focus back and repaints once. Everything here is [ui].
#pragma once

#include <X11/Xlib.h>

#include <string>

namespace Korvel {

class KEditor;

class KTextEntry {
public:
    explicit KTextEntry(KEditor& editor) : editor_(editor) {}
    ~KTextEntry() = default;
    KTextEntry(const KTextEntry&) = delete;
    KTextEntry& operator=(const KTextEntry&) = delete;

    // The connection and editor window the field lives in; cleared with detach (the caller
    // closes the field first).
    void attach(Display* display, Window parent);
    void detach();

    // Shows the field over the rectangle with the parameter's text without unit, all selected.
    bool open(int x, int y, int w, int h, int parameterIndex);
    bool isOpen() const { return window_ != 0; }
    Window window() const { return window_; }
    // Commits unless cancelled, closes the field, gives the focus back when we still have it and
    // lifts the suspension of repaints.
    void close(bool commit);
    // An event for the field's window; true when it was one.
    bool handleEvent(XEvent& event);

    const std::string& text() const { return text_; }

private:
    void key(XKeyEvent& event);
    void paint();
    void replaceSelection(const std::string& with);
    unsigned long pixel(unsigned rgb) const;

    KEditor& editor_;
    Display* display_ = nullptr;
    Window parent_ = 0;
    Window window_ = 0;
    GC gc_ = nullptr;
    XFontStruct* font_ = nullptr;
    Window previousFocus_ = 0;
    int parameter_ = -1;
    std::string text_;
    // Selection [anchor_, caret_) in either order; equal when there is only a caret.
    std::size_t anchor_ = 0;
    std::size_t caret_ = 0;
    int width_ = 0, height_ = 0;
};

} // namespace Korvel

// Typed value entry on X11: a small text field of our own, a child window of the editor window
// placed over a value display, drawn with Xlib in a ~14 px sans font (larger at a larger scale).
// While it is open it holds the keyboard focus (so the host's shortcuts do not fire) and the
// editor's repaints are suspended; closing gives the focus back and repaints once. A click places
// the caret (Shift extends the selection), Ctrl+V and Shift+Insert paste the clipboard: the request
// goes to the clipboard's owner through the X server and its answer arrives as an event at a later
// idle, so the user-interface thread never waits for another program. Everything here is [ui].
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

    // The field's letters at scale 1, in pixels.
    static constexpr int kFontPixels = 14;

    // Shows the field over the rectangle (window pixels) with the parameter's text without unit,
    // all selected, in a font of about fontPixels.
    bool open(int x, int y, int w, int h, int parameterIndex, int fontPixels = kFontPixels);
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
    void click(const XButtonEvent& event);
    void askForPaste(Time time);
    void pasted(const XSelectionEvent& event);
    void paint();
    // Left edge of the centred text, and the width of its first `at` characters.
    int textLeft() const;
    int offsetTo(std::size_t at) const;
    void replaceSelection(const std::string& with);
    unsigned long pixel(unsigned rgb) const;

    KEditor& editor_;
    Display* display_ = nullptr;
    Window parent_ = 0;
    Window window_ = 0;
    GC gc_ = nullptr;
    XFontStruct* font_ = nullptr;
    int fontPixels_ = 0;
    Window previousFocus_ = 0;
    int parameter_ = -1;
    std::string text_;
    // Selection [anchor_, caret_) in either order; equal when there is only a caret.
    std::size_t anchor_ = 0;
    std::size_t caret_ = 0;
    int width_ = 0, height_ = 0;
    // CLIPBOARD, UTF8_STRING and the field's property the owner writes the text into; interned
    // at the first paste of a connection.
    Atom clipboard_ = 0, utf8_ = 0, property_ = 0;
    // A paste request is outstanding; only the answer with its time is taken.
    bool pasteAsked_ = false;
    Time pasteTime_ = 0;
};

} // namespace Korvel

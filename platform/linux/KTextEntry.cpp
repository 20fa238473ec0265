#include "platform/linux/KTextEntry.h"

#include "core/KEffectInterface.h"
#include "editor/KEditor.h"
#include "platform/linux/KXErrorTrap.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace Korvel {

namespace {

constexpr std::size_t kMaxText = 255;
// Pasted text beyond this is not read: the field holds kMaxText characters.
constexpr long kMaxPasteBytes = 1024;

// About the asked size in a sans face; the server's built-in "fixed" is always there.
const char* const kFontPatterns[] = {"-*-helvetica-medium-r-normal--%d-*-*-*-p-*-iso8859-1",
                                     "-*-dejavu sans-medium-r-normal--%d-*-*-*-p-*-iso8859-1",
                                     "-*-*-medium-r-normal-sans-%d-*-*-*-p-*-iso8859-1",
                                     "-*-fixed-medium-r-normal--%d-*-*-*-*-*-iso8859-1"};

XFontStruct* loadFont(Display* display, int pixels) {
    for (const char* pattern : kFontPatterns) {
        char name[96];
        std::snprintf(name, sizeof name, pattern, pixels);
        if (XFontStruct* font = XLoadQueryFont(display, name)) return font;
    }
    return XLoadQueryFont(display, "fixed");
}

} // namespace

void KTextEntry::attach(Display* display, Window parent) {
    display_ = display;
    parent_ = parent;
}

void KTextEntry::detach() {
    if (font_) XFreeFont(display_, font_);
    font_ = nullptr;
    fontPixels_ = 0;
    clipboard_ = utf8_ = property_ = 0;
    display_ = nullptr;
    parent_ = 0;
}

unsigned long KTextEntry::pixel(unsigned rgb) const {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, parent_, &attributes) || !attributes.visual)
        return (rgb & 0xffffff) > 0x7fffff ? WhitePixel(display_, DefaultScreen(display_))
                                           : BlackPixel(display_, DefaultScreen(display_));
    // True-colour visuals (the GL window's): place each component under its mask.
    auto place = [](unsigned component, unsigned long mask) {
        unsigned long value = component;
        int shift = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        int bits = 0;
        while (mask & 1) {
            mask >>= 1;
            ++bits;
        }
        return (value >> (8 - std::min(bits, 8))) << shift;
    };
    const Visual* v = attributes.visual;
    return place((rgb >> 16) & 0xff, v->red_mask) | place((rgb >> 8) & 0xff, v->green_mask) |
           place(rgb & 0xff, v->blue_mask);
}

bool KTextEntry::open(int x, int y, int w, int h, int parameterIndex, int fontPixels) {
    KEffectInterface* effect = editor_.effect();
    if (!display_ || !parent_ || !effect || parameterIndex < 0 || w <= 0 || h <= 0) return false;
    if (window_) close(true);
    KXErrorTrap trap(display_);
    if (font_ && fontPixels_ != fontPixels) {
        XFreeFont(display_, font_);
        font_ = nullptr;
    }
    if (!font_) {
        font_ = loadFont(display_, fontPixels);
        fontPixels_ = fontPixels;
    }
    XSetWindowAttributes attributes{};
    attributes.background_pixel = pixel(0xffffff);
    attributes.border_pixel = pixel(0x000000);
    attributes.event_mask = KeyPressMask | FocusChangeMask | ExposureMask | ButtonPressMask;
    window_ = XCreateWindow(display_, parent_, x, y, static_cast<unsigned>(w),
                            static_cast<unsigned>(h), 0, CopyFromParent, InputOutput,
                            CopyFromParent, CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    if (!window_) return false;
    gc_ = XCreateGC(display_, window_, 0, nullptr);
    if (font_) XSetFont(display_, gc_, font_->fid);
    width_ = w;
    height_ = h;
    parameter_ = parameterIndex;
    char display[KEffectInterface::kDisplayTextBytes] = {};
    effect->parameterDisplay(parameterIndex, display, sizeof display);
    text_ = display;
    anchor_ = 0;
    caret_ = text_.size();
    pasteAsked_ = false;
    editor_.suspendRedraws(true);
    int revert = 0;
    previousFocus_ = 0;
    XGetInputFocus(display_, &previousFocus_, &revert);
    XMapRaised(display_, window_);
    // The field must be viewable before it can take the focus.
    XSync(display_, False);
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
    paint();
    return true;
}

void KTextEntry::close(bool commit) {
    if (!window_) return;
    KXErrorTrap trap(display_);
    Window field = window_;
    // Cleared first: committing may lead back here through the editor.
    window_ = 0;
    if (commit && parameter_ >= 0) editor_.commitTypedText(parameter_, text_.c_str());
    parameter_ = -1;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    // Give the focus back only if it is still ours; otherwise someone else took it.
    if (focus == field && previousFocus_ != 0 && previousFocus_ != field)
        XSetInputFocus(display_, previousFocus_, RevertToParent, CurrentTime);
    previousFocus_ = 0;
    if (gc_) XFreeGC(display_, gc_);
    gc_ = nullptr;
    XDestroyWindow(display_, field);
    trap.sync();
    editor_.suspendRedraws(false);
}

bool KTextEntry::handleEvent(XEvent& event) {
    if (!window_ || event.xany.window != window_) return false;
    switch (event.type) {
    case Expose:
        if (event.xexpose.count == 0) paint();
        break;
    case KeyPress:
        key(event.xkey);
        break;
    case ButtonPress:
        click(event.xbutton);
        break;
    case SelectionNotify:
        pasted(event.xselection);
        break;
    case FocusOut:
        // Focus moving inside the field, a grab's temporary move, or the pointer's window losing
        // the pointer-root focus as we take it is not leaving the field.
        if (event.xfocus.detail != NotifyInferior && event.xfocus.detail != NotifyPointer &&
            event.xfocus.mode != NotifyGrab && event.xfocus.mode != NotifyUngrab)
            close(true);
        break;
    default:
        break;
    }
    return true;
}

void KTextEntry::replaceSelection(const std::string& with) {
    std::size_t from = std::min(anchor_, caret_), to = std::max(anchor_, caret_);
    std::string next = text_.substr(0, from) + with + text_.substr(to);
    if (next.size() > kMaxText) return;
    text_ = next;
    caret_ = anchor_ = from + with.size();
}

void KTextEntry::key(XKeyEvent& event) {
    char typed[16] = {};
    KeySym sym = NoSymbol;
    int length = XLookupString(&event, typed, sizeof typed - 1, &sym, nullptr);
    bool selection = anchor_ != caret_;
    if (((event.state & ControlMask) && (sym == XK_v || sym == XK_V)) ||
        ((event.state & ShiftMask) && (sym == XK_Insert || sym == XK_KP_Insert))) {
        askForPaste(event.time);
        return;
    }
    switch (sym) {
    case XK_Return:
    case XK_KP_Enter:
        close(true);
        return;
    case XK_Escape:
        close(false);
        return;
    case XK_BackSpace:
        if (!selection && caret_ > 0) anchor_ = caret_ - 1;
        replaceSelection("");
        break;
    case XK_Delete:
    case XK_KP_Delete:
        if (!selection && caret_ < text_.size()) anchor_ = caret_ + 1;
        replaceSelection("");
        break;
    case XK_Left:
    case XK_KP_Left:
        caret_ = selection ? std::min(anchor_, caret_) : (caret_ > 0 ? caret_ - 1 : 0);
        anchor_ = caret_;
        break;
    case XK_Right:
    case XK_KP_Right:
        caret_ = selection ? std::max(anchor_, caret_) : std::min(caret_ + 1, text_.size());
        anchor_ = caret_;
        break;
    case XK_Home:
    case XK_KP_Home:
        caret_ = anchor_ = 0;
        break;
    case XK_End:
    case XK_KP_End:
        caret_ = anchor_ = text_.size();
        break;
    default: {
        std::string printable;
        for (int i = 0; i < length; ++i) {
            unsigned char c = static_cast<unsigned char>(typed[i]);
            if (c >= 0x20 && c != 0x7f) printable += static_cast<char>(c);
        }
        if (printable.empty()) return;
        replaceSelection(printable);
        break;
    }
    }
    paint();
}

void KTextEntry::click(const XButtonEvent& event) {
    if (event.button != Button1) return;
    // The boundary between characters nearest to the pointer.
    const int left = textLeft();
    std::size_t at = 0;
    int best = -1;
    for (std::size_t i = 0; i <= text_.size(); ++i) {
        int distance = std::abs(left + offsetTo(i) - event.x);
        if (best < 0 || distance < best) {
            best = distance;
            at = i;
        }
    }
    caret_ = at;
    if (!(event.state & ShiftMask)) anchor_ = at;
    paint();
}

void KTextEntry::askForPaste(Time time) {
    if (!clipboard_) {
        const char* names[] = {"CLIPBOARD", "UTF8_STRING", "KORVEL_TEXT_ENTRY_PASTE"};
        Atom atoms[3] = {0, 0, 0};
        if (!XInternAtoms(display_, const_cast<char**>(names), 3, False, atoms)) return;
        clipboard_ = atoms[0];
        utf8_ = atoms[1];
        property_ = atoms[2];
    }
    // A later request replaces an unanswered one; the server answers at once when the
    // clipboard has no owner.
    pasteAsked_ = true;
    pasteTime_ = time;
    XConvertSelection(display_, clipboard_, utf8_, property_, window_, time);
    XFlush(display_);
}

namespace {

// The pasted bytes as the field's Latin-1 text, without control characters (a line break of a
// copied line included); characters beyond Latin-1 are left out.
std::string latin1Text(const unsigned char* bytes, unsigned long count, bool utf8) {
    std::string out;
    for (unsigned long i = 0; i < count; ++i) {
        unsigned c = bytes[i];
        if (utf8 && c >= 0x80) {
            int more = (c & 0xe0) == 0xc0 ? 1 : (c & 0xf0) == 0xe0 ? 2 : (c & 0xf8) == 0xf0 ? 3 : 0;
            unsigned code = more ? c & (0x3fu >> more) : 0xfffd;
            for (; more > 0 && i + 1 < count && (bytes[i + 1] & 0xc0) == 0x80; --more)
                code = (code << 6) | (bytes[++i] & 0x3f);
            c = more ? 0xfffd : code;
        }
        if ((c >= 0x20 && c < 0x7f) || (c >= 0xa0 && c <= 0xff)) out += static_cast<char>(c);
    }
    return out;
}

} // namespace

void KTextEntry::pasted(const XSelectionEvent& event) {
    // The answer carries the time of its request.
    if (!pasteAsked_ || event.selection != clipboard_ || event.time != pasteTime_) return;
    if (event.property == None) {
        // No UTF-8 from this owner: ask once more for Latin-1 text.
        pasteAsked_ = event.target == utf8_;
        if (pasteAsked_)
            XConvertSelection(display_, clipboard_, XA_STRING, property_, window_, pasteTime_);
        return;
    }
    pasteAsked_ = false;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    // Inside the idle's trap, like every event of the field.
    if (XGetWindowProperty(display_, window_, property_, 0, kMaxPasteBytes / 4, True,
                           AnyPropertyType, &type, &format, &count, &after, &data) != Success)
        data = nullptr;
    std::string text;
    // A large transfer in parts (INCR) is more than a value needs and is not followed.
    if (data && format == 8 && (type == utf8_ || type == XA_STRING))
        text = latin1Text(data, count, type == utf8_);
    if (data) XFree(data);
    if (text.empty()) return;
    std::size_t from = std::min(anchor_, caret_), to = std::max(anchor_, caret_);
    std::size_t room = kMaxText - (text_.size() - (to - from));
    replaceSelection(text.substr(0, room));
    paint();
}

int KTextEntry::textLeft() const {
    int textWidth = font_ ? XTextWidth(font_, text_.c_str(), static_cast<int>(text_.size())) : 0;
    return (width_ - textWidth) / 2;
}

int KTextEntry::offsetTo(std::size_t at) const {
    return font_ ? XTextWidth(font_, text_.c_str(), static_cast<int>(at)) : 0;
}

void KTextEntry::paint() {
    if (!window_ || !gc_) return;
    XClearWindow(display_, window_);
    int ascent = font_ ? font_->ascent : 10, descent = font_ ? font_->descent : 3;
    int left = textLeft();
    int baseline = (height_ + ascent - descent) / 2;
    auto offset = [this](std::size_t at) { return offsetTo(at); };
    std::size_t from = std::min(anchor_, caret_), to = std::max(anchor_, caret_);
    if (from != to) {
        XSetForeground(display_, gc_, pixel(0x3874d8));
        XFillRectangle(display_, window_, gc_, left + offset(from), baseline - ascent,
                       static_cast<unsigned>(offset(to) - offset(from)),
                       static_cast<unsigned>(ascent + descent));
    }
    XSetForeground(display_, gc_, pixel(0x000000));
    XDrawString(display_, window_, gc_, left, baseline, text_.c_str(),
                static_cast<int>(text_.size()));
    if (from != to) {
        // Selected text in white over the highlight.
        XSetForeground(display_, gc_, pixel(0xffffff));
        XDrawString(display_, window_, gc_, left + offset(from), baseline, text_.c_str() + from,
                    static_cast<int>(to - from));
    } else {
        XSetForeground(display_, gc_, pixel(0x000000));
        int cx = left + offset(caret_);
        XDrawLine(display_, window_, gc_, cx, baseline - ascent, cx, baseline + descent);
    }
    XFlush(display_);
}

} // namespace Korvel

#include "platform/linux/KEditorWindow.h"

#include "editor/KEditor.h"
#include "editor/KEditorControl.h"
#include "editor/KEditorScale.h"
#include "platform/KEditorWindowFactory.h"
#include "platform/linux/KLinkLauncher.h"
#include "platform/linux/KXErrorTrap.h"

#include <glad/glx.h>

#include <X11/Xresource.h>
#include <X11/cursorfont.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace Korvel {

namespace {

// Drawn with the whole editor each paint, so neither depth nor a back-buffer stencil is needed by
// the presenting pass; NanoVG's fills into the framebuffer use the framebuffer's own stencil.
const int kConfigAttributes[] = {GLX_X_RENDERABLE,
                                 True,
                                 GLX_RENDER_TYPE,
                                 GLX_RGBA_BIT,
                                 GLX_X_VISUAL_TYPE,
                                 GLX_TRUE_COLOR,
                                 GLX_RED_SIZE,
                                 8,
                                 GLX_GREEN_SIZE,
                                 8,
                                 GLX_BLUE_SIZE,
                                 8,
                                 GLX_DEPTH_SIZE,
                                 24,
                                 GLX_STENCIL_SIZE,
                                 8,
                                 GLX_DOUBLEBUFFER,
                                 True,
                                 GLX_DRAWABLE_TYPE,
                                 GLX_WINDOW_BIT | GLX_PBUFFER_BIT,
                                 None};

// The X resource Xft.dpi that desktops set for their scale (96 at 1x) as the connection read it
// when it opened; 0 without one.
double xftScale(Display* display) {
    const char* resources = XResourceManagerString(display);
    if (!resources) return 0.0;
    XrmInitialize();
    XrmDatabase database = XrmGetStringDatabase(resources);
    if (!database) return 0.0;
    char* type = nullptr;
    XrmValue value{};
    double dpi = 0.0;
    if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr)
        dpi = parseEditorScale(std::string(value.addr, value.size).c_str());
    XrmDestroyDatabase(database);
    return dpi / 96.0;
}

} // namespace

KWindowInterface* createEditorWindow(KEditor& editor) {
    return new KEditorWindow(editor);
}

KEditorWindow::KEditorWindow(KEditor& editor)
    : editor_(editor), entry_(editor), canvas_(editor, *this) {
    editor_.setWindow(this);
}

KEditorWindow::~KEditorWindow() {
    close();
    if (editor_.window() == this) editor_.setWindow(nullptr);
}

std::uint32_t KEditorWindow::tickMs() const {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                      static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
}

double KEditorWindow::systemScale(void*) {
    // A variable the user set is a choice for this program; the resource is the desktop's.
    for (const char* variable : {"GDK_SCALE", "QT_SCALE_FACTOR"})
        if (double scale = parseEditorScale(std::getenv(variable)); scale > 0.0)
            return clampEditorScale(scale);
    double scale = 0.0;
    if (display_) {
        scale = xftScale(display_);
    } else if (Display* display = XOpenDisplay(nullptr)) {
        scale = xftScale(display);
        XCloseDisplay(display);
    }
    return clampEditorScale(scale);
}

void KEditorWindow::setScale(double scale) {
    if (!display_) canvas_.setScale(scale);
}

int KEditorWindow::skin(int screen) const {
    return skinPosition(screen, canvas_.scale());
}

bool KEditorWindow::open(void* parent) {
    if (display_) close();
    Window parentWindow = static_cast<Window>(reinterpret_cast<std::uintptr_t>(parent));
    if (!parentWindow || editor_.width() <= 0 || editor_.height() <= 0) return false;
    // Our own connection: the host's may be driven by another toolkit on its own schedule.
    display_ = XOpenDisplay(nullptr);
    if (!display_) return false;
    windowGone_ = false;
    bool ok = false;
    {
        KXErrorTrap trap(display_);
        int screen = DefaultScreen(display_);
        int count = 0;
        GLXFBConfig* configs = nullptr;
        XVisualInfo* visual = nullptr;
        if (gladLoaderLoadGLX(display_, screen) && glXChooseFBConfig)
            configs = glXChooseFBConfig(display_, screen, kConfigAttributes, &count);
        if (configs && count > 0) {
            config_ = configs[0];
            visual = glXGetVisualFromFBConfig(display_, config_);
        }
        if (configs) XFree(configs);
        if (visual) {
            colormap_ = XCreateColormap(display_, parentWindow, visual->visual, AllocNone);
            XSetWindowAttributes attributes{};
            attributes.colormap = colormap_;
            attributes.border_pixel = 0;
            attributes.background_pixmap = None;
            attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask |
                                    PointerMotionMask | FocusChangeMask | StructureNotifyMask |
                                    LeaveWindowMask;
            const double scale = canvas_.scale();
            window_ =
                XCreateWindow(display_, parentWindow, 0, 0,
                              static_cast<unsigned>(scaledLength(editor_.width(), scale)),
                              static_cast<unsigned>(scaledLength(editor_.height(), scale)), 0,
                              visual->depth, InputOutput, visual->visual,
                              CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask, &attributes);
            XFree(visual);
            XMapWindow(display_, window_);
            // A parent that does not exist shows up here as an error on our connection.
            if (trap.sync() == 0) ok = setUpGraphics();
        }
        if (ok) {
            cursors_[0] = XCreateFontCursor(display_, XC_left_ptr);
            cursors_[1] = XCreateFontCursor(display_, XC_hand2);
            cursors_[2] = XCreateFontCursor(display_, XC_xterm);
            cursorKind_ = kCursorArrow;
            XDefineCursor(display_, window_, cursors_[0]);
            entry_.attach(display_, window_);
            live_.store(true, std::memory_order_release);
            paint();
        }
    }
    if (!ok) close();
    return ok;
}

bool KEditorWindow::setUpGraphics() {
    context_ = glXCreateNewContext(display_, config_, GLX_RGBA_TYPE, nullptr, True);
    return context_ && canvas_.setUp();
}

void KEditorWindow::tearDownGraphics() {
    if (!context_) return;
    if (windowGone_ && config_ && glXCreatePbuffer) {
        // The window went with the host's parent: the GL objects still need a current context.
        const int attributes[] = {GLX_PBUFFER_WIDTH, 1, GLX_PBUFFER_HEIGHT, 1, None};
        pbuffer_ = glXCreatePbuffer(display_, config_, attributes);
    }
    canvas_.tearDown();
    glXDestroyContext(display_, context_);
    context_ = nullptr;
    if (pbuffer_) glXDestroyPbuffer(display_, pbuffer_);
    pbuffer_ = 0;
}

void KEditorWindow::close() {
    live_.store(false, std::memory_order_release);
    if (!display_) return;
    {
        KXErrorTrap trap(display_);
        // Closing the editor takes the typed text over, as leaving the field does.
        if (entry_.isOpen()) entry_.close(true);
        if (captured_) editor_.cancel();
        captured_ = tookFocus_ = false;
        if (window_ && !windowGone_) {
            XWindowAttributes attributes;
            trap.reset();
            XGetWindowAttributes(display_, window_, &attributes);
            windowGone_ = trap.sync() > 0;
        }
        tearDownGraphics();
        entry_.detach();
        for (Cursor& c : cursors_) {
            if (c) XFreeCursor(display_, c);
            c = 0;
        }
        if (window_ && !windowGone_) XDestroyWindow(display_, window_);
        window_ = 0;
        if (colormap_) XFreeColormap(display_, colormap_);
        colormap_ = 0;
        config_ = nullptr;
    }
    XCloseDisplay(display_);
    display_ = nullptr;
    paintRequested_.store(false, std::memory_order_relaxed);
}

bool KEditorWindow::makeCurrent() {
    GLXDrawable drawable = windowGone_ ? pbuffer_ : window_;
    if (!context_ || !drawable) return false;
    previousContext_ = glXGetCurrentContext();
    previousDisplay_ = previousContext_ ? glXGetCurrentDisplay() : nullptr;
    previousDrawable_ = previousContext_ ? glXGetCurrentDrawable() : 0;
    return glXMakeContextCurrent(display_, drawable, drawable, context_);
}

void KEditorWindow::releaseCurrent() {
    // A host that draws with GL on this thread finds its context as it left it.
    if (previousContext_ && previousDisplay_)
        glXMakeCurrent(static_cast<Display*>(previousDisplay_), previousDrawable_,
                       previousContext_);
    else
        glXMakeContextCurrent(display_, None, None, nullptr);
    previousContext_ = nullptr;
    previousDisplay_ = nullptr;
}

void KEditorWindow::swapBuffers() {
    glXSwapBuffers(display_, window_);
}

void KEditorWindow::paint() {
    if (windowGone_) return;
    if (canvas_.paint()) ++paints_;
}

void KEditorWindow::idle() {
    if (!display_) return;
    // Every request of ours ends with a trap's sync, so reading with nothing to do cannot meet an
    // error of ours outside a trap; this keeps the idle free of round trips.
    if (!paintRequested_.load(std::memory_order_acquire) &&
        XEventsQueued(display_, QueuedAfterReading) == 0)
        return;
    KXErrorTrap trap(display_);
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        // Only the last of a run of moves matters: a slow paint must not fall behind the pointer.
        if (event.type == MotionNotify && XPending(display_) > 0) {
            XEvent next;
            XPeekEvent(display_, &next);
            if (next.type == MotionNotify && next.xmotion.window == event.xmotion.window) continue;
        }
        handle(event);
    }
    // A value change from the host may have hidden the control that holds the mouse.
    followEditorCapture();
    bool requested = paintRequested_.exchange(false, std::memory_order_acq_rel);
    if (exposed_ || (requested && !editor_.redrawsSuspended())) paint();
    exposed_ = false;
}

void KEditorWindow::handle(XEvent& event) {
    if (entry_.handleEvent(event)) return;
    if (event.xany.window != window_) return;
    switch (event.type) {
    case Expose:
        if (event.xexpose.count == 0) exposed_ = true;
        break;
    case ButtonPress:
        press(event.xbutton);
        break;
    case ButtonRelease:
        release(event.xbutton);
        break;
    case MotionNotify: {
        const XMotionEvent& m = event.xmotion;
        editor_.mouseMove(m.state & ShiftMask, m.state & ControlMask, skin(m.x), skin(m.y));
        followEditorCapture();
        updateCursor(skin(m.x), skin(m.y));
        break;
    }
    case FocusOut:
        if (captured_ && event.xfocus.mode != NotifyGrab && event.xfocus.mode != NotifyUngrab &&
            event.xfocus.detail != NotifyInferior && event.xfocus.detail != NotifyPointer) {
            tookFocus_ = false; // someone else has it now
            cancelCapture();
        }
        break;
    case LeaveNotify:
        // Our grab ended without our release: the window became unviewable or was taken over.
        if (captured_ && event.xcrossing.mode == NotifyUngrab) cancelCapture();
        break;
    case UnmapNotify:
        if (captured_) cancelCapture();
        break;
    case DestroyNotify:
        windowGone_ = true;
        live_.store(false, std::memory_order_release);
        break;
    default:
        break;
    }
}

void KEditorWindow::press(const XButtonEvent& b) {
    if (b.button != Button1 && b.button != Button3) return;
    // A click elsewhere on the editor takes the typed text over first.
    if (entry_.isOpen()) entry_.close(true);
    bool shift = b.state & ShiftMask, control = b.state & ControlMask;
    const int x = skin(b.x), y = skin(b.y);
    bool took = b.button == Button1 ? editor_.mouseDown(shift, control, x, y)
                                    : editor_.rightDown(shift, control, x, y);
    if (took && !captured_) {
        captured_ = true;
        XGrabPointer(display_, window_, False,
                     ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                     GrabModeAsync, None, None, b.time);
        takeFocus();
    }
    followEditorCapture();
    updateCursor(x, y);
}

void KEditorWindow::release(const XButtonEvent& b) {
    if (b.button != Button1 && b.button != Button3) return;
    bool shift = b.state & ShiftMask, control = b.state & ControlMask;
    const int x = skin(b.x), y = skin(b.y);
    bool letGo = b.button == Button1 ? editor_.mouseUp(shift, control, x, y)
                                     : editor_.rightUp(shift, control, x, y);
    if (letGo && captured_) {
        captured_ = false;
        XUngrabPointer(display_, b.time);
        giveFocusBack();
    }
    followEditorCapture();
    updateCursor(x, y);
}

void KEditorWindow::followEditorCapture() {
    editor_.releaseHiddenCapture();
    if (!captured_ || editor_.capturedIndex() >= 0) return;
    // Otherwise every click on the desktop would come to us until the editor closes.
    captured_ = false;
    XUngrabPointer(display_, CurrentTime);
    giveFocusBack();
}

void KEditorWindow::cancelCapture() {
    captured_ = false;
    XUngrabPointer(display_, CurrentTime);
    editor_.cancel();
    giveFocusBack();
    cursorKind_ = kCursorArrow;
    XDefineCursor(display_, window_, cursors_[0]);
}

void KEditorWindow::takeFocus() {
    int revert = 0;
    focusBeforeDrag_ = 0;
    XGetInputFocus(display_, &focusBeforeDrag_, &revert);
    if (focusBeforeDrag_ == window_) return;
    tookFocus_ = true;
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
}

void KEditorWindow::giveFocusBack() {
    if (!tookFocus_) return;
    tookFocus_ = false;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    // Between drags the host keeps its keyboard (its shortcuts work after a knob turn).
    if (focus == window_)
        XSetInputFocus(display_, focusBeforeDrag_ ? focusBeforeDrag_ : PointerRoot, RevertToParent,
                       CurrentTime);
}

void KEditorWindow::updateCursor(int x, int y) {
    int kind = editor_.cursorKind(x, y);
    if (kind == cursorKind_) return;
    cursorKind_ = kind;
    Cursor c = kind == kCursorHand ? cursors_[1] : kind == kCursorText ? cursors_[2] : cursors_[0];
    if (c) XDefineCursor(display_, window_, c);
}

bool KEditorWindow::openTextEntry(int x, int y, int w, int h, const KFontResource*,
                                  int parameterIndex) {
    if (!display_ || windowGone_) return false;
    // Over the value display as the screen shows it, its letters as large as the scale makes
    // the skin's.
    const double scale = canvas_.scale();
    const int left = scaledLength(x, scale), top = scaledLength(y, scale);
    return entry_.open(left, top, scaledLength(x + w, scale) - left,
                       scaledLength(y + h, scale) - top, parameterIndex,
                       scaledLength(KTextEntry::kFontPixels, scale));
}

void KEditorWindow::openLink(const char* address) {
    launchLink(address);
}

} // namespace Korvel

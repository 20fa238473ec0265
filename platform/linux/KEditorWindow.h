// The editor window on X11: a child window of the host's parent on the plug-in's own X connection,
// drawn through the GL canvas (KGlCanvas: NanoVG, the offscreen framebuffer, the surface) on a GLX
// context (GLX loaded at run time); this window creates the context, makes it current and swaps.
// Hosts do not deliver our X events: idle() reads them and paints when something asked for it.
#pragma once

#include "editor/KWindowInterface.h"
#include "platform/KGlCanvas.h"
#include "platform/linux/KTextEntry.h"

#include <X11/Xlib.h>

#include <atomic>
#include <cstdint>

struct __GLXcontextRec;
struct __GLXFBConfigRec;

namespace Korvel {

class KEditor;

class KEditorWindow : public KWindowInterface, private KGlContext {
public:
    // [ui] Stores itself in the editor.
    explicit KEditorWindow(KEditor& editor);
    // [ui] Closes the window when open and leaves the editor without a window.
    ~KEditorWindow() override;

    // [ui] parent is the host's X window id. False, with nothing left behind, when the display,
    // the window or OpenGL cannot be set up.
    bool open(void* parent) override;
    // [ui]
    void close() override;
    // [any]
    bool isLive() const override { return live_.load(std::memory_order_acquire); }
    // [any] Only sets a flag; the next idle paints.
    void invalidate() override { paintRequested_.store(true, std::memory_order_release); }
    // [ui] Reads every pending X event, then paints once if anything asked for it.
    void idle() override;
    // [ui]
    bool openTextEntry(int x, int y, int w, int h, const KFontResource* font,
                       int parameterIndex) override;
    // [ui]
    void openLink(const char* address) override;
    // [any] CLOCK_MONOTONIC in milliseconds.
    std::uint32_t tickMs() const override;
    // [ui]
    std::uintptr_t nativeWindow() const override { return window_; }
    // [ui] GDK_SCALE, else QT_SCALE_FACTOR, else the X resource Xft.dpi over 96 (of our open
    // connection, or of the display the editor would open on), else 1.
    double systemScale(void* parent) override;
    // [ui]
    void setScale(double scale) override;
    double scale() const override { return canvas_.scale(); }

    // Inspection for tests and tools [ui].
    Display* display() const { return display_; }
    Window window() const { return window_; }
    std::uint64_t paintCount() const { return paints_; }

private:
    bool setUpGraphics();
    void tearDownGraphics();
    void handle(XEvent& event);
    void press(const XButtonEvent& b);
    void release(const XButtonEvent& b);
    // Lets the pointer go when the editor let go of the mouse without our release.
    void followEditorCapture();
    void paint();
    void updateCursor(int x, int y);
    // An event's window position in skin pixels.
    int skin(int screen) const;
    void takeFocus();
    void giveFocusBack();
    void cancelCapture();
    // KGlContext: the GLX context on the window (or, once the host destroyed the window, on a
    // 1x1 pbuffer for the teardown).
    bool makeCurrent() override;
    void releaseCurrent() override;
    void swapBuffers() override;
    bool glCallsSafeWithoutContext() const override { return true; }

    KEditor& editor_;
    KTextEntry entry_;
    KGlCanvas canvas_;
    Display* display_ = nullptr;
    Window window_ = 0;
    Colormap colormap_ = 0;
    Cursor cursors_[3] = {0, 0, 0};
    int cursorKind_ = 0;
    __GLXFBConfigRec* config_ = nullptr;
    __GLXcontextRec* context_ = nullptr;
    // A 1x1 drawable for the teardown when the host destroyed the window under us.
    unsigned long pbuffer_ = 0;
    bool captured_ = false;
    bool tookFocus_ = false;
    Window focusBeforeDrag_ = 0;
    bool exposed_ = false;
    bool windowGone_ = false;
    std::uint64_t paints_ = 0;
    // What was current before we made our context current, put back after.
    void* previousDisplay_ = nullptr;
    unsigned long previousDrawable_ = 0;
    __GLXcontextRec* previousContext_ = nullptr;
    std::atomic<bool> live_{false};
    std::atomic<bool> paintRequested_{false};
};

} // namespace Korvel

// The editor window on Windows: a child of the host's window, drawn through the GL canvas
// (KGlCanvas: NanoVG, the offscreen framebuffer, the surface) on a WGL context that this window
// creates, makes current and swaps; each WM_PAINT is one canvas paint. Mouse messages go to the
// editor core, which says when to capture the mouse and which cursor to show. Messages arrive
// through the host's own message loop, so idle has nothing to pump.
#pragma once

#include "editor/KWindowInterface.h"
#include "platform/KGlCanvas.h"
#include "platform/win32/KTextEntry.h"
#include "platform/win32/KWindow.h"

#include <atomic>
#include <cstdint>

namespace Korvel {

class KEditor;

class KEditorWindow : public KWindow, public KWindowInterface, private KGlContext {
public:
    // [ui] Stores itself in the editor.
    explicit KEditorWindow(KEditor& editor);
    // [ui] Closes the window when open and leaves the editor without a window.
    ~KEditorWindow() override;

    // [ui] parent is the host's HWND. False, with nothing left behind, when the window or its
    // OpenGL set-up fails.
    bool open(void* parent) override;
    // [ui]
    void close() override;
    // [any]
    bool isLive() const override;
    // [any] InvalidateRect, which any thread may call.
    void invalidate() override;
    // [ui] Nothing: the host's message loop delivers our messages.
    void idle() override {}
    // [ui]
    bool openTextEntry(int x, int y, int w, int h, const KFontResource* font,
                       int parameterIndex) override;
    // [ui] Returns when the shell has taken the request.
    void openLink(const char* address) override;
    // [any] GetTickCount.
    std::uint32_t tickMs() const override;
    // [ui] The DPI of parent (GetDpiForWindow, where user32 has it) over 96, else the screen's
    // LOGPIXELSX over 96.
    double systemScale(void* parent) override;
    // [ui]
    void setScale(double scale) override;
    double scale() const override { return canvas_.scale(); }

    // WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN at the editor's size.
    void preCreate(CREATESTRUCTA& record) override;

    LRESULT onCreate(CREATESTRUCTA* create) override;
    LRESULT onPaint() override;
    LRESULT onClose() override;
    LRESULT onDestroy() override;
    LRESULT onLButtonDown(WPARAM keys, int x, int y) override;
    LRESULT onRButtonDown(WPARAM keys, int x, int y) override;
    LRESULT onLButtonUp(WPARAM keys, int x, int y) override;
    LRESULT onRButtonUp(WPARAM keys, int x, int y) override;
    LRESULT onMouseMove(WPARAM keys, int x, int y) override;
    LRESULT onKillFocus(HWND gaining) override;
    LRESULT onCaptureChanged(HWND gaining) override;

    // Inspection for tests [ui].
    const KTextEntry& textEntry() const { return entry_; }
    int cursorKind() const { return cursorKind_; }

private:
    bool setUpGraphics();
    void tearDownGraphics();
    // KGlContext: the WGL context on dc_, the device context of the set-up, paint or teardown
    // under way (null outside them).
    bool makeCurrent() override;
    void releaseCurrent() override;
    void swapBuffers() override;
    LRESULT buttonDown(bool right, WPARAM keys, int x, int y);
    LRESULT buttonUp(bool right, WPARAM keys, int x, int y);
    LRESULT loseMouse();
    // Lets the capture go when the editor let go of the mouse without our release.
    void followEditorCapture();
    void updateCursor(int x, int y);
    void showCursor(int kind);
    // A message's window position in skin pixels.
    int skin(int screen) const;

    KEditor& editor_;
    int cursorKind_ = 0;
    KTextEntry entry_;
    KGlCanvas canvas_;
    HGLRC context_ = nullptr;
    HDC dc_ = nullptr;
    // What was current before we made our context current, put back after.
    HDC previousDc_ = nullptr;
    HGLRC previousContext_ = nullptr;
    // The window once its graphics are set up, read by invalidate on any thread.
    std::atomic<HWND> live_{nullptr};
};

} // namespace Korvel

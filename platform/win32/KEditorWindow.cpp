#include "platform/win32/KEditorWindow.h"

#include "editor/KDrawSurface.h"
#include "editor/KEditor.h"
#include "platform/KEditorWindowFactory.h"
#include "platform/KNanoVgGl.h"
#include "platform/win32/KLinkLauncher.h"

#include <new>

namespace Korvel {

namespace {

// Loaded once per process; system cursors are shared and never freed.
HCURSOR cursorFor(int kind) {
    static const HCURSOR cursors[3] = {LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)),  // arrow
                                       LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)),  // hand
                                       LoadCursorA(nullptr, MAKEINTRESOURCEA(32513))}; // beam
    return kind == 2 ? cursors[1] : kind == 3 ? cursors[2] : cursors[0];
}

} // namespace

KWindowInterface* createEditorWindow(KEditor& editor) {
    return new KEditorWindow(editor);
}

KEditorWindow::KEditorWindow(KEditor& editor) : editor_(editor), entry_(editor) {
    editor_.setWindow(this);
}

KEditorWindow::~KEditorWindow() {
    close();
    if (editor_.window() == this) editor_.setWindow(nullptr);
}

bool KEditorWindow::open(void* parent) {
    HWND parentWindow = static_cast<HWND>(parent);
    if (!parentWindow || !IsWindow(parentWindow) || editor_.width() <= 0 || editor_.height() <= 0)
        return false;
    // A failed graphics set-up fails WM_CREATE, so CreateWindowExA leaves no window.
    return create(parentWindow) != nullptr && isLive();
}

void KEditorWindow::close() {
    live_.store(nullptr, std::memory_order_release);
    tearDownGraphics();
    // Destroying the window also destroys an open text field (which takes its text over) and
    // ends a drag (the capture goes, the control is cancelled).
    if (KWindow::isLive()) DestroyWindow(window_);
}

bool KEditorWindow::isLive() const {
    HWND window = live_.load(std::memory_order_acquire);
    return window && IsWindow(window);
}

void KEditorWindow::invalidate() {
    HWND window = live_.load(std::memory_order_acquire);
    if (window) InvalidateRect(window, nullptr, FALSE);
}

std::uint32_t KEditorWindow::tickMs() const {
    return GetTickCount();
}

bool KEditorWindow::openTextEntry(int x, int y, int w, int h, const KFontResource* font,
                                  int parameterIndex) {
    if (!isLive()) return false;
    return entry_.open(window_, x, y, w, h, font != nullptr, parameterIndex);
}

void KEditorWindow::openLink(const char* address) {
    launchLink(address);
}

void KEditorWindow::preCreate(CREATESTRUCTA& record) {
    record.style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    record.cx = editor_.width();
    record.cy = editor_.height();
}

LRESULT KEditorWindow::onCreate(CREATESTRUCTA* create) {
    KWindow::onCreate(create);
    if (!setUpGraphics()) {
        tearDownGraphics();
        return -1; // CreateWindowExA fails and destroys the window
    }
    live_.store(window_, std::memory_order_release);
    return 0;
}

bool KEditorWindow::makeCurrent(HDC dc) {
    previousContext_ = wglGetCurrentContext();
    previousDc_ = previousContext_ ? wglGetCurrentDC() : nullptr;
    return wglMakeCurrent(dc, context_) != FALSE;
}

void KEditorWindow::releaseCurrent() {
    // A host that draws with OpenGL on this thread finds its context as it left it.
    if (previousContext_)
        wglMakeCurrent(previousDc_, previousContext_);
    else
        wglMakeCurrent(nullptr, nullptr);
    previousContext_ = nullptr;
    previousDc_ = nullptr;
}

bool KEditorWindow::setUpGraphics() {
    const int w = editor_.width(), h = editor_.height();
    HDC dc = GetDC(window_);
    if (!dc) return false;
    PIXELFORMATDESCRIPTOR pfd{};
    pfd.nSize = sizeof pfd; // 40
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;
    pfd.cDepthBits = 24;
    pfd.cStencilBits = 8;
    pfd.iLayerType = PFD_MAIN_PLANE;
    int format = ChoosePixelFormat(dc, &pfd);
    bool ok = format > 0 && SetPixelFormat(dc, format, &pfd);
    if (ok) context_ = wglCreateContext(dc);
    bool current = context_ && makeCurrent(dc);
    // The loader opens opengl32.dll and resolves through wglGetProcAddress.
    ok = current && gladLoaderLoadGL() && GLAD_GL_ARB_framebuffer_object;
    if (ok) nvg_ = nvgCreateGL2(NVG_ANTIALIAS);
    if (nvg_) {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        framebuffer_ = nvgluCreateFramebuffer(nvg_, w, h, 0);
    }
    if (framebuffer_) {
        editor_.editorOpened();
        // Never reused across openings: a surface holds the NanoVG context it was made for.
        surface_ = new (std::nothrow) KDrawSurface(nvg_, w, h);
        if (surface_) editor_.attachSurface(*surface_);
    }
    if (current) releaseCurrent();
    ReleaseDC(window_, dc);
    return surface_ != nullptr;
}

void KEditorWindow::tearDownGraphics() {
    if (!context_) {
        // Nothing was made current or created: a surface cannot exist without a context.
        return;
    }
    HDC dc = KWindow::isLive() ? GetDC(window_) : nullptr;
    // Current before the surface goes: releasing the skin's images deletes GL textures.
    bool current = dc && makeCurrent(dc);
    if (surface_) {
        editor_.detachSurface(*surface_);
        delete surface_;
        surface_ = nullptr;
    }
    if (current) {
        if (framebuffer_) nvgluDeleteFramebuffer(framebuffer_);
        if (nvg_) nvgDeleteGL2(nvg_);
        releaseCurrent();
    }
    // Without a window to make it current, the context's deletion frees its GL objects.
    framebuffer_ = nullptr;
    nvg_ = nullptr;
    if (dc) ReleaseDC(window_, dc);
    wglDeleteContext(context_);
    context_ = nullptr;
}

LRESULT KEditorWindow::onPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    if (dc && surface_ && makeCurrent(dc)) {
        const int w = editor_.width(), h = editor_.height();
        glViewport(0, 0, w, h);
        nvgluBindFramebuffer(framebuffer_);
        editor_.draw(*surface_);
        nvgluBindFramebuffer(nullptr);
        const float fw = static_cast<float>(w), fh = static_cast<float>(h);
        nvgBeginFrame(nvg_, fw, fh, 1.0f);
        nvgBeginPath(nvg_);
        nvgRect(nvg_, 0, 0, fw, fh);
        nvgFillPaint(nvg_, nvgImagePattern(nvg_, 0, 0, fw, fh, 0, framebuffer_->image, 1.0f));
        nvgFill(nvg_);
        nvgEndFrame(nvg_);
        SwapBuffers(dc);
        releaseCurrent();
    }
    EndPaint(window_, &ps);
    return 0;
}

LRESULT KEditorWindow::onClose() {
    live_.store(nullptr, std::memory_order_release);
    tearDownGraphics();
    return KWindow::onClose();
}

LRESULT KEditorWindow::onDestroy() {
    // Also when the host destroys its window first: the window is still there to make the
    // context current, so the GL objects go with it.
    live_.store(nullptr, std::memory_order_release);
    tearDownGraphics();
    return KWindow::onDestroy();
}

LRESULT KEditorWindow::buttonDown(bool right, WPARAM keys, int x, int y) {
    SetFocus(window_);
    const bool shift = keys & MK_SHIFT, control = keys & MK_CONTROL;
    bool took =
        right ? editor_.rightDown(shift, control, x, y) : editor_.mouseDown(shift, control, x, y);
    if (took) SetCapture(window_);
    updateCursor(x, y);
    return 0;
}

LRESULT KEditorWindow::buttonUp(bool right, WPARAM keys, int x, int y) {
    const bool shift = keys & MK_SHIFT, control = keys & MK_CONTROL;
    bool letGo =
        right ? editor_.rightUp(shift, control, x, y) : editor_.mouseUp(shift, control, x, y);
    if (letGo && GetCapture() == window_) ReleaseCapture();
    updateCursor(x, y);
    return 0;
}

LRESULT KEditorWindow::onLButtonDown(WPARAM keys, int x, int y) {
    return buttonDown(false, keys, x, y);
}

LRESULT KEditorWindow::onRButtonDown(WPARAM keys, int x, int y) {
    return buttonDown(true, keys, x, y);
}

LRESULT KEditorWindow::onLButtonUp(WPARAM keys, int x, int y) {
    return buttonUp(false, keys, x, y);
}

LRESULT KEditorWindow::onRButtonUp(WPARAM keys, int x, int y) {
    return buttonUp(true, keys, x, y);
}

LRESULT KEditorWindow::onMouseMove(WPARAM keys, int x, int y) {
    editor_.mouseMove(keys & MK_SHIFT, keys & MK_CONTROL, x, y);
    updateCursor(x, y);
    return 0;
}

LRESULT KEditorWindow::loseMouse() {
    // Only our own capture: another window of the thread may have just taken it.
    if (GetCapture() == window_) ReleaseCapture();
    editor_.cancel();
    showCursor(1);
    return 0;
}

LRESULT KEditorWindow::onKillFocus(HWND) {
    return loseMouse();
}

LRESULT KEditorWindow::onCaptureChanged(HWND) {
    return loseMouse();
}

void KEditorWindow::updateCursor(int x, int y) {
    showCursor(editor_.cursorKind(x, y));
}

void KEditorWindow::showCursor(int kind) {
    if (kind == cursorKind_ || !window_) return;
    cursorKind_ = kind;
    HCURSOR cursor = cursorFor(kind);
    SetClassLongPtrA(window_, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(cursor));
    // The class cursor shows from the next WM_SETCURSOR; show it now when the pointer is ours.
    POINT at{};
    if (GetCapture() == window_ || (GetCursorPos(&at) && WindowFromPoint(at) == window_))
        SetCursor(cursor);
}

} // namespace Korvel

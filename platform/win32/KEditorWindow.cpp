#include "platform/win32/KEditorWindow.h"

#include "editor/KEditor.h"
#include "editor/KEditorControl.h"
#include "editor/KEditorScale.h"
#include "platform/KEditorWindowFactory.h"
#include "platform/win32/KLinkLauncher.h"

namespace Korvel {

namespace {

// Loaded once per process; system cursors are shared and never freed.
HCURSOR cursorFor(int kind) {
    static const HCURSOR cursors[3] = {LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)),  // arrow
                                       LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)),  // hand
                                       LoadCursorA(nullptr, MAKEINTRESOURCEA(32513))}; // beam
    return kind == kCursorHand ? cursors[1] : kind == kCursorText ? cursors[2] : cursors[0];
}

// Windows 10 1607 and later: the DPI of the monitor a window is on, for per-monitor aware hosts.
// Looked up at run time, so that the plug-in loads on older systems and under Wine.
using DpiForWindow = UINT(WINAPI*)(HWND);

DpiForWindow dpiForWindow() {
    static const DpiForWindow function = [] {
        HMODULE user32 = GetModuleHandleA("user32.dll");
        void* address =
            user32 ? reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")) : nullptr;
        return reinterpret_cast<DpiForWindow>(address);
    }();
    return function;
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

double KEditorWindow::systemScale(void* parent) {
    HWND window = static_cast<HWND>(parent);
    UINT dpi = 0;
    if (window && IsWindow(window) && dpiForWindow()) dpi = dpiForWindow()(window);
    if (dpi == 0) {
        HDC dc = GetDC(nullptr);
        if (dc) {
            dpi = static_cast<UINT>(GetDeviceCaps(dc, LOGPIXELSX));
            ReleaseDC(nullptr, dc);
        }
    }
    return clampEditorScale(static_cast<double>(dpi) / 96.0);
}

void KEditorWindow::setScale(double scale) {
    if (!isLive()) canvas_.setScale(scale);
}

int KEditorWindow::skin(int screen) const {
    return skinPosition(screen, canvas_.scale());
}

bool KEditorWindow::openTextEntry(int x, int y, int w, int h, const KFontResource* font,
                                  int parameterIndex) {
    if (!isLive()) return false;
    // Over the value display as the screen shows it, its letters scaled with the skin's.
    const double scale = canvas_.scale();
    const int left = scaledLength(x, scale), top = scaledLength(y, scale);
    return entry_.open(window_, left, top, scaledLength(x + w, scale) - left,
                       scaledLength(y + h, scale) - top, font != nullptr, parameterIndex,
                       scaledLength(KTextEntry::kFontHeight, scale));
}

void KEditorWindow::openLink(const char* address) {
    launchLink(address);
}

void KEditorWindow::preCreate(CREATESTRUCTA& record) {
    record.style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    record.cx = scaledLength(editor_.width(), canvas_.scale());
    record.cy = scaledLength(editor_.height(), canvas_.scale());
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

bool KEditorWindow::makeCurrent() {
    if (!dc_ || !context_) return false;
    previousContext_ = wglGetCurrentContext();
    previousDc_ = previousContext_ ? wglGetCurrentDC() : nullptr;
    return wglMakeCurrent(dc_, context_) != FALSE;
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

void KEditorWindow::swapBuffers() {
    SwapBuffers(dc_);
}

bool KEditorWindow::setUpGraphics() {
    dc_ = GetDC(window_);
    if (!dc_) return false;
    PIXELFORMATDESCRIPTOR pfd{};
    pfd.nSize = sizeof pfd; // 40
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;
    pfd.cDepthBits = 24;
    pfd.cStencilBits = 8;
    pfd.iLayerType = PFD_MAIN_PLANE;
    int format = ChoosePixelFormat(dc_, &pfd);
    if (format > 0 && SetPixelFormat(dc_, format, &pfd)) context_ = wglCreateContext(dc_);
    bool ok = context_ && canvas_.setUp();
    ReleaseDC(window_, dc_);
    dc_ = nullptr;
    return ok;
}

void KEditorWindow::tearDownGraphics() {
    // Nothing was made current or created: a canvas cannot exist without a context.
    if (!context_) return;
    dc_ = KWindow::isLive() ? GetDC(window_) : nullptr;
    // Without a window to make it current, the context's deletion frees its GL objects.
    canvas_.tearDown();
    if (dc_) ReleaseDC(window_, dc_);
    dc_ = nullptr;
    wglDeleteContext(context_);
    context_ = nullptr;
}

LRESULT KEditorWindow::onPaint() {
    // A value change from the host may have hidden the control that holds the mouse; what its
    // release changes is drawn by this paint.
    followEditorCapture();
    PAINTSTRUCT ps;
    dc_ = BeginPaint(window_, &ps);
    canvas_.paint();
    dc_ = nullptr;
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

LRESULT KEditorWindow::buttonDown(bool right, WPARAM keys, int screenX, int screenY) {
    SetFocus(window_);
    const int x = skin(screenX), y = skin(screenY);
    const bool shift = keys & MK_SHIFT, control = keys & MK_CONTROL;
    bool took =
        right ? editor_.rightDown(shift, control, x, y) : editor_.mouseDown(shift, control, x, y);
    if (took) SetCapture(window_);
    followEditorCapture();
    updateCursor(x, y);
    return 0;
}

LRESULT KEditorWindow::buttonUp(bool right, WPARAM keys, int screenX, int screenY) {
    const int x = skin(screenX), y = skin(screenY);
    const bool shift = keys & MK_SHIFT, control = keys & MK_CONTROL;
    bool letGo =
        right ? editor_.rightUp(shift, control, x, y) : editor_.mouseUp(shift, control, x, y);
    if (letGo && GetCapture() == window_) ReleaseCapture();
    followEditorCapture();
    updateCursor(x, y);
    return 0;
}

void KEditorWindow::followEditorCapture() {
    editor_.releaseHiddenCapture();
    // Otherwise the capture would stay with us until the editor closes.
    if (editor_.capturedIndex() < 0 && GetCapture() == window_) ReleaseCapture();
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

LRESULT KEditorWindow::onMouseMove(WPARAM keys, int screenX, int screenY) {
    const int x = skin(screenX), y = skin(screenY);
    editor_.mouseMove(keys & MK_SHIFT, keys & MK_CONTROL, x, y);
    followEditorCapture();
    updateCursor(x, y);
    return 0;
}

LRESULT KEditorWindow::loseMouse() {
    // Only our own capture: another window of the thread may have just taken it.
    if (GetCapture() == window_) ReleaseCapture();
    editor_.cancel();
    showCursor(kCursorArrow);
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

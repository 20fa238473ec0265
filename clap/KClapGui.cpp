// The editor embedded through the GUI extension, at the skin's fixed size times the scale the host
// gives through set_scale (else the one the display's settings ask for), in physical pixels.
//
// The event loop: a CLAP host calls no editor idle. On Linux the editor's window lives on an X
// connection of its own whose events nobody else reads, so the editor asks the host for a timer
// on its main thread and each tick does what a VST host's idle call does there: read every
// pending X event, paint what changed, finish a throttled refresh. Without the host's timers an
// X11 editor could not run, so creating one is refused. On Windows the host's message loop
// drives the window; the timer (when the host has one) only finishes throttled refreshes. Each
// tick also looks for values changed inside the plug-in that no edit announced (the coupled
// frequency limits, a restored state) and asks the host to collect them.
#include "clap/KClapEffect.h"
#include "clap/KClapExtensions.h"
#include "clap/KShield.h"
#include "host/KHostEditor.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace Korvel {

namespace {

#ifdef _WIN32
constexpr const char* kWindowApi = CLAP_WINDOW_API_WIN32;
constexpr bool kNeedsTimer = false;
#else
constexpr const char* kWindowApi = CLAP_WINDOW_API_X11;
constexpr bool kNeedsTimer = true;
#endif
// Close to a display's frame rate: the pointer's moves and the knobs' repaints keep up with the
// hand. Hosts may lengthen it.
constexpr std::uint32_t kTimerMs = 16;

bool CLAP_ABI guiIsApiSupported(const clap_plugin_t* p, const char* api, bool floating) {
    KClapEffect* e = KClapEffect::from(p);
    return e && e->guiSupported(api, floating);
}
bool CLAP_ABI guiPreferredApi(const clap_plugin_t* p, const char** api, bool* floating) {
    if (!KClapEffect::from(p) || !api || !floating) return false;
    *api = kWindowApi;
    *floating = false;
    return true;
}
bool CLAP_ABI guiCreate(const clap_plugin_t* p, const char* api, bool floating) {
    KClapEffect* e = KClapEffect::from(p);
    return e && shielded(false, [&] { return e->guiCreate(api, floating); });
}
void CLAP_ABI guiDestroy(const clap_plugin_t* p) {
    KClapEffect* e = KClapEffect::from(p);
    if (e && e->onMainThread()) shieldedVoid([&] { e->guiDestroy(); });
}
bool CLAP_ABI guiSetScale(const clap_plugin_t* p, double scale) {
    KClapEffect* e = KClapEffect::from(p);
    return e && shielded(false, [&] { return e->guiSetScale(scale); });
}
bool CLAP_ABI guiGetSize(const clap_plugin_t* p, std::uint32_t* width, std::uint32_t* height) {
    KClapEffect* e = KClapEffect::from(p);
    return e && width && height && e->guiSize(*width, *height);
}
bool CLAP_ABI guiCanResize(const clap_plugin_t*) {
    return false;
}
bool CLAP_ABI guiResizeHints(const clap_plugin_t* p, clap_gui_resize_hints_t* hints) {
    // Known hints, all of them "no": hosts warn when a plug-in has none to give.
    if (!KClapEffect::from(p) || !hints) return false;
    *hints = clap_gui_resize_hints_t{};
    return true;
}
bool CLAP_ABI guiAdjustSize(const clap_plugin_t* p, std::uint32_t* width, std::uint32_t* height) {
    // The one size there is.
    KClapEffect* e = KClapEffect::from(p);
    return e && width && height && e->guiSize(*width, *height);
}
bool CLAP_ABI guiSetSize(const clap_plugin_t* p, std::uint32_t width, std::uint32_t height) {
    KClapEffect* e = KClapEffect::from(p);
    return e && e->guiSetSize(width, height);
}
bool CLAP_ABI guiSetParent(const clap_plugin_t* p, const clap_window_t* window) {
    KClapEffect* e = KClapEffect::from(p);
    return e && window && shielded(false, [&] { return e->guiSetParent(*window); });
}
bool CLAP_ABI guiSetTransient(const clap_plugin_t*, const clap_window_t*) {
    return false; // embedded only
}
void CLAP_ABI guiSuggestTitle(const clap_plugin_t*, const char*) {}
bool CLAP_ABI guiShow(const clap_plugin_t* p) {
    KClapEffect* e = KClapEffect::from(p);
    return e && shielded(false, [&] { return e->guiShow(); });
}
bool CLAP_ABI guiHide(const clap_plugin_t* p) {
    KClapEffect* e = KClapEffect::from(p);
    return e && shielded(false, [&] { return e->guiHide(); });
}
void CLAP_ABI timerTick(const clap_plugin_t* p, clap_id id) {
    if (KClapEffect* e = KClapEffect::from(p)) shieldedVoid([&] { e->onTimer(id); });
}

} // namespace

const clap_plugin_gui_t kClapGui = {
    guiIsApiSupported, guiPreferredApi, guiCreate,       guiDestroy,    guiSetScale,
    guiGetSize,        guiCanResize,    guiResizeHints,  guiAdjustSize, guiSetSize,
    guiSetParent,      guiSetTransient, guiSuggestTitle, guiShow,       guiHide};

const clap_plugin_timer_support_t kClapTimer = {timerTick};

// The window system alone: hosts ask while scanning, through a host that may offer no extension
// at all, and remember the answer for the instances they make later.
bool KClapEffect::guiSupported(const char* api, bool floating) const {
    return !floating && api && !std::strcmp(api, kWindowApi) && effect() && effect()->hostEditor();
}

bool KClapEffect::guiCreate(const char* api, bool floating) {
    if (guiCreated_ || !onMainThread() || !guiSupported(api, floating)) return false;
    if (timers_ && timers_->register_timer)
        timerRegistered_ = timers_->register_timer(host_, kTimerMs, &timer_);
    if (kNeedsTimer && !timerRegistered_) return false;
    guiCreated_ = true;
    return true;
}

void KClapEffect::closeEditorWindow() {
    if (!parent_ || !effect() || !effect()->hostEditor()) return;
    // The window object closes what it opened, also when its open failed half way or the host
    // destroyed the parent first.
    effect()->hostEditor()->close();
    shown_ = false;
}

void KClapEffect::guiDestroy() {
    if (!guiCreated_) return;
    closeEditorWindow();
    parent_ = nullptr;
    // A later editor follows the display again unless its host says otherwise.
    effect()->hostEditor()->setHostScale(0);
    if (timerRegistered_ && timers_ && timers_->unregister_timer)
        timers_->unregister_timer(host_, timer_);
    timerRegistered_ = false;
    timer_ = CLAP_INVALID_ID;
    guiCreated_ = false;
}

// The host's scale overrides the display's; an editor already shown opens again at it, and the
// host is asked to make room.
bool KClapEffect::guiSetScale(double scale) {
    KHostEditor* editor = effect() ? effect()->hostEditor() : nullptr;
    if (!editor || !onMainThread() || !std::isfinite(scale) || scale <= 0) return false;
    editor->setHostScale(scale);
    if (!shown_ || editor->scale() == editor->hostScale()) return true;
    closeEditorWindow();
    shown_ = editor->open(parent_);
    std::uint32_t w = 0, h = 0;
    if (shown_ && hostGui_ && hostGui_->request_resize && guiSize(w, h))
        hostGui_->request_resize(host_, w, h);
    return true;
}

bool KClapEffect::guiSize(std::uint32_t& width, std::uint32_t& height) const {
    KHostEditor* editor = effect() ? effect()->hostEditor() : nullptr;
    ERect* rect = nullptr;
    if (!editor || !editor->getRect(&rect) || !rect) return false;
    width = static_cast<std::uint32_t>(rect->right - rect->left);
    height = static_cast<std::uint32_t>(rect->bottom - rect->top);
    return true;
}

bool KClapEffect::guiSetSize(std::uint32_t width, std::uint32_t height) const {
    std::uint32_t w = 0, h = 0;
    return guiSize(w, h) && w == width && h == height;
}

bool KClapEffect::guiSetParent(const clap_window_t& window) {
    if (!guiCreated_ || !onMainThread()) return false;
    if (window.api && std::strcmp(window.api, kWindowApi) != 0) return false;
#ifdef _WIN32
    void* parent = window.win32;
#else
    void* parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(window.x11));
#endif
    if (!parent) return false;
    closeEditorWindow();
    parent_ = parent;
    // Embedded at once, as a VST host's open does; show and hide map to opening and closing.
    shown_ = effect()->hostEditor()->open(parent_);
    return shown_;
}

bool KClapEffect::guiShow() {
    if (!guiCreated_ || !parent_ || !onMainThread()) return false;
    if (!shown_) shown_ = effect()->hostEditor()->open(parent_);
    return shown_;
}

bool KClapEffect::guiHide() {
    if (!guiCreated_ || !onMainThread()) return false;
    if (shown_) closeEditorWindow();
    return true;
}

void KClapEffect::onTimer(clap_id id) {
    if (!guiCreated_ || id != timer_ || !onMainThread()) return;
    if (shown_) effect()->hostEditor()->idle();
    if (valuesDiffer()) requestFlush();
}

} // namespace Korvel

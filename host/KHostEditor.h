// The editor the effect holds: answers the host's editor requests, owns the editor core and the
// window object, and turns the effect's change notices into throttled repaints.
#pragma once

#include "host/AEffEditor.h"

#include <atomic>
#include <cstdint>

namespace Korvel {

class KEditor;
class KEffectInterface;
class KWindowInterface;

class KHostEditor : public AEffEditor {
public:
    // Takes ownership of editor and window (window may be null: then the editor never opens).
    // owner is the host-facing effect that getEffect answers.
    KHostEditor(AudioEffect* owner, KEffectInterface* effect, KEditor* editor,
                KWindowInterface* window);
    // [ui] Destroys the window object, then the editor core.
    ~KHostEditor() override;

    // [ui] (0, 0, height, width) of the editor at its scale, in screen pixels; true.
    bool getRect(ERect** rect) override;
    // [ui] False without a window object or when the native window does not come up.
    bool open(void* parent) override;
    // [ui]
    void close() override;
    // [ui] Repeats a pending refresh request, then lets the window pump its events.
    void idle() override;
    // Keys, wheel and knob modes are declined (inherited answers: false).

    // [any] The throttled repaint that ends applyParameters while the editor is open.
    virtual void refreshRequest();

    // [ui] The scale a host gives (CLAP set_scale, LV2 ui:scaleFactor), clamped; it overrides the
    // system's display settings from the next open on. 0 follows the system again.
    void setHostScale(double scale);
    double hostScale() const { return hostScale_; }
    // [ui] The editor's scale: the open window's, else the one it would open at now.
    double scale();

    KEditor* editor() const { return editor_; }
    KWindowInterface* window() const { return window_; }
    KEffectInterface* effectInterface() const { return keffect_; }
    bool refreshPending() const { return refreshPending_.load(std::memory_order_relaxed); }

private:
    KEffectInterface* keffect_;
    KEditor* editor_;
    KWindowInterface* window_;
    ERect rect_{0, 0, 0, 0};
    double hostScale_ = 0.0;
    std::atomic<bool> refreshPending_{false};
    std::atomic<std::uint32_t> lastRefreshMs_{0};
};

} // namespace Korvel

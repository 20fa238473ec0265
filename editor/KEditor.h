// The editor core: size and pages, resources, checks, backgrounds and controls, what is drawn
// when, and the routing of the mouse. It knows no platform: it draws through a KDrawSurface and
// asks its window (KWindowInterface) to invalidate. Everything here runs on the user-interface
// thread [ui] unless marked otherwise.
#pragma once

#include "core/KList.h"
#include "skin/KConditionRef.h"
#include "skin/KConditionSet.h"

#include <atomic>
#include <cstdint>

namespace Korvel {

class KCheck;
class KDrawSurface;
class KEditorControl;
class KEffectInterface;
class KImageResource;
class KResource;
class KWindowInterface;

struct KBackgroundEntry {
    // 0 = every page.
    int page;
    const KImageResource* image;
    // Counted from 0.
    int frame;
    KConditionSet conditions;
};

class KEditor {
public:
    static constexpr std::uint32_t kDefaultRefreshThrottleMs = 40;

    explicit KEditor(KEffectInterface* effect);
    KEditor(const KEditor&) = delete;
    KEditor& operator=(const KEditor&) = delete;
    // Slot 1: destroys backgrounds, controls, condition references, checks, resources, in order.
    virtual ~KEditor();
    // Slot 2 [any]: asks the window for a paint when one is live and redraws are not suspended.
    virtual void invalidate();
    // Slot 3: the next draw starts from the background.
    virtual void redrawAll();
    // Slot 4: clearing the flag invalidates at once.
    virtual void suspendRedraws(bool suspended);
    // Slot 5: any number; invalidates.
    virtual void setPage(int page);
    // Slot 6.
    virtual int currentPage() const { return currentPage_; }

    // --- What the window calls.
    int width() const { return width_; }
    int height() const { return height_; }
    // Shows the start page and lifts the suspension of redraws.
    void editorOpened();
    // Marks every control for redraw, then loads every resource for the surface's NanoVG context
    // (none for a surface without one).
    void attachSurface(KDrawSurface& surface);
    // Releases every resource.
    void detachSurface(KDrawSurface& surface);
    // Redraws the background where needed and each control that needs it.
    void draw(KDrawSurface& surface);
    // Positions in editor pixels. Down: true when a control took the mouse (capture it); up:
    // true when it let go (release it).
    bool mouseDown(bool shift, bool control, int x, int y);
    bool mouseUp(bool shift, bool control, int x, int y);
    bool rightDown(bool shift, bool control, int x, int y);
    bool rightUp(bool shift, bool control, int x, int y);
    void mouseMove(bool shift, bool control, int x, int y);
    // The window lost capture or focus: the captured control lets go.
    void cancel();
    // A captured control that is no longer visible (a page selector on its own page, a control
    // hidden by a condition on its own value) gets no more events, not even its release: it
    // loses the mouse here, cancelled as on a lost capture and then given the release it can no
    // longer get, so every begin-edit has its end-edit; the rest of that press goes nowhere.
    // True when it did; the window then lets the system pointer go. The window asks after every
    // mouse event and before every paint.
    bool releaseHiddenCapture();
    // 1 (arrow) when no visible control is concerned.
    int cursorKind(int x, int y);
    // The window object stores itself here on construction and clears it on destruction.
    void setWindow(KWindowInterface* window) { window_ = window; }

    // --- What the skin builder calls.
    void setSize(int width, int height) {
        width_ = width;
        height_ = height;
    }
    void setPageCount(int pages) { pageCount_ = pages; }
    int pageCount() const { return pageCount_; }
    void setStartPage(int page) { startPage_ = page; }
    int startPage() const { return startPage_; }
    void setRefreshThrottleMs(std::uint32_t ms) { refreshThrottleMs_ = ms; }
    // [any]
    std::uint32_t refreshThrottleMs() const { return refreshThrottleMs_; }
    // Take ownership; null is ignored.
    void addResource(KResource* resource);
    void addCheck(KCheck* check);
    void addControl(KEditorControl* control);
    // The shared reference for (check, negate), created on first use.
    const KConditionRef* conditionRef(const KCheck* check, bool negate);
    void addBackground(int page, const KImageResource* image, int frame,
                       const KConditionSet& conditions);
    // One entry per page 1..pageCount: frame p-1 when the image has as many frames as pages.
    // One entry per page, for the first kMaxMappedPages pages.
    void mapBackground(const KImageResource* image, const KConditionSet& conditions);
    static constexpr int kMaxMappedPages = 1024;
    // First with the name (35 characters, exact case), or null.
    KResource* findResource(const char* name) const;
    KCheck* findCheck(const char* name) const;

    // --- What controls call.
    // Fills the control's rectangle black, then the last background's pixels under it; the
    // surface is clipped to the control. Nothing during a draw that began with the whole
    // background when no control has painted over the rectangle since: it shows those pixels.
    void restoreBackground(KDrawSurface& surface, const KEditorControl& control);
    bool isVisible(const KEditorControl& control) const;
    KWindowInterface* window() const { return window_; }
    KEffectInterface* effect() const { return effect_; }
    // [any] The window's millisecond tick; 0 without a window.
    std::uint32_t tickMs() const;
    // [ui] The commit of a typed value (both platforms' text entries), one edit for the host.
    void commitTypedText(int parameterIndex, const char* text);

    // --- Inspection.
    const KList<KEditorControl>& controls() const { return controls_; }
    const KList<KResource>& resources() const { return resources_; }
    const KList<KCheck>& checks() const { return checks_; }
    const KList<KBackgroundEntry>& backgrounds() const { return backgrounds_; }
    const KBackgroundEntry* lastBackground() const { return lastBackground_; }
    // -1 when no control holds the mouse.
    int capturedIndex() const { return captured_; }
    bool redrawsSuspended() const { return suspended_.load(std::memory_order_relaxed); }

private:
    // Marks for redraw every visible control overlapping erased that does not already need one;
    // true when it marked any.
    bool markOverlapping(const KEditorControl& erased);
    // A control drawn in this draw so far overlaps control.
    bool paintedSinceBackground(const KEditorControl& control) const;
    int hitTest(int x, int y) const;
    // The captured control or the one under the point, when visible; null otherwise.
    KEditorControl* target(int x, int y) const;
    bool backgroundApplies(const KBackgroundEntry& entry) const;
    bool press(bool right, bool shift, bool control, int x, int y);
    bool release(bool right, bool shift, bool control, int x, int y);

    KWindowInterface* window_ = nullptr;
    KList<KResource> resources_;
    KList<KCheck> checks_;
    KList<KConditionRef> conditionRefs_;
    KList<KEditorControl> controls_;
    KList<KBackgroundEntry> backgrounds_;
    KEffectInterface* effect_;
    int width_ = 0, height_ = 0, pageCount_ = 0;
    int startPage_ = 1;
    const KBackgroundEntry* lastBackground_ = nullptr;
    std::uint32_t refreshThrottleMs_ = kDefaultRefreshThrottleMs;
    int captured_ = -1;
    // The captured control was hidden mid-press: what remains of that press (its moves and its
    // release) is dropped until the next press, so the release cannot reach whatever now lies
    // under the pointer (a link of the page just shown).
    bool pressLost_ = false;
    // Which button the captured control took, and the last pointer position routed (editor
    // pixels): the release that releaseHiddenCapture gives.
    bool capturedByRight_ = false;
    int lastX_ = 0, lastY_ = 0;
    // Read by invalidate, which effect-side refresh requests reach from any thread.
    std::atomic<bool> suspended_{false};
    int currentPage_ = 1;
    bool fullRedraw_ = false;
    // Within draw: the whole background was drawn at its start, and the controls before
    // paintedBefore_ in the list are the only ones that may have painted since.
    bool backgroundFresh_ = false;
    int paintedBefore_ = 0;
};

} // namespace Korvel

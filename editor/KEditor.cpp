#include "editor/KEditor.h"

#include "core/KEffectInterface.h"
#include "editor/KDrawSurface.h"
#include "editor/KEditorControl.h"
#include "editor/KWindowInterface.h"
#include "skin/KCheck.h"
#include "skin/KImageResource.h"
#include "skin/KResource.h"

namespace Korvel {

namespace {

constexpr std::uint32_t kOpaqueBlack = 0xff000000u;

bool overlaps(const KEditorControl& a, const KEditorControl& b) {
    // 64-bit sums: skin rectangles are not range-checked.
    long long ax = a.x(), ay = a.y(), bx = b.x(), by = b.y();
    return ax < bx + b.width() && bx < ax + a.width() && ay < by + b.height() &&
           by < ay + a.height();
}

} // namespace

KEditor::KEditor(KEffectInterface* effect) : effect_(effect) {}

KEditor::~KEditor() {
    // Controls and backgrounds point at resources and condition references: they go first.
    backgrounds_.clear();
    controls_.clear();
    conditionRefs_.clear();
    checks_.clear();
    resources_.clear();
}

void KEditor::invalidate() {
    if (window_ && !suspended_.load(std::memory_order_relaxed) && window_->isLive())
        window_->invalidate();
}

void KEditor::redrawAll() {
    fullRedraw_ = true;
    invalidate();
}

void KEditor::suspendRedraws(bool suspended) {
    suspended_.store(suspended, std::memory_order_relaxed);
    if (!suspended) invalidate();
}

void KEditor::setPage(int page) {
    currentPage_ = page;
    invalidate();
}

void KEditor::editorOpened() {
    setPage(startPage_);
    suspendRedraws(false);
}

void KEditor::attachSurface(KDrawSurface& surface) {
    for (int i = 0; i < controls_.size(); ++i)
        controls_.get(i)->markForRedraw();
    // The surface may be new while the last background's pixels are gone: start from it.
    fullRedraw_ = true;
    for (int i = 0; i < resources_.size(); ++i)
        resources_.get(i)->load(surface.context());
}

void KEditor::detachSurface(KDrawSurface& surface) {
    for (int i = 0; i < resources_.size(); ++i)
        resources_.get(i)->release(surface.context());
}

bool KEditor::backgroundApplies(const KBackgroundEntry& entry) const {
    return (entry.page == 0 || entry.page == currentPage_) && entry.conditions.holds();
}

bool KEditor::isVisible(const KEditorControl& control) const {
    return (control.page() == 0 || control.page() == currentPage_) && control.conditions().holds();
}

void KEditor::draw(KDrawSurface& surface) {
    surface.resetClip();
    const KBackgroundEntry* chosen = nullptr;
    for (int i = 0; i < backgrounds_.size() && !chosen; ++i)
        if (backgroundApplies(*backgrounds_.get(i))) chosen = backgrounds_.get(i);

    backgroundFresh_ = false;
    paintedBefore_ = 0;
    if (chosen != lastBackground_ || fullRedraw_) {
        lastBackground_ = chosen;
        backgroundFresh_ = true;
        surface.fillRectRGBA(0, 0, width_, height_, kOpaqueBlack);
        int fx = 0, fy = 0;
        if (chosen && chosen->image && chosen->image->drawableFrame(chosen->frame, &fx, &fy))
            surface.image(chosen->image->handle(), fx, fy, chosen->image->frameWidth(),
                          chosen->image->frameHeight(), 0, 0);
        for (int i = 0; i < controls_.size(); ++i)
            controls_.get(i)->markForRedraw();
        fullRedraw_ = false;
    }

    // Erase every invisible control before painting any visible one: restoring the background
    // under a control of the page left behind must not wipe a control of the new page that lies
    // under it and was just painted (page 2's labels over page 1's knobs, going back to page 1).
    for (int i = 0; i < controls_.size(); ++i) {
        KEditorControl* control = controls_.get(i);
        if (isVisible(*control) || !control->isDrawn()) continue;
        markOverlapping(*control);
        surface.setClip(control->x(), control->y(), control->width(), control->height());
        control->erase(surface);
        surface.resetClip();
    }
    // A visible control that repaints erases itself first, which wipes the parts of the controls
    // overlapping it: they paint again too (the later ones on top, in list order).
    for (bool marked = true; marked;) {
        marked = false;
        for (int i = 0; i < controls_.size(); ++i) {
            const KEditorControl* control = controls_.get(i);
            if (control->isDrawn() && isVisible(*control) && control->needsRedraw())
                marked = markOverlapping(*control) || marked;
        }
    }
    for (int i = 0; i < controls_.size(); ++i) {
        KEditorControl* control = controls_.get(i);
        paintedBefore_ = i;
        if (!isVisible(*control)) continue;
        surface.setClip(control->x(), control->y(), control->width(), control->height());
        control->drawIfNeeded(surface);
        surface.resetClip();
    }
    backgroundFresh_ = false;
}

bool KEditor::paintedSinceBackground(const KEditorControl& control) const {
    // Only controls before the one being drawn can have painted since; a control still drawn
    // from before the background (one that did not need a redraw) counts too, to be safe.
    for (int i = 0; i < paintedBefore_; ++i) {
        const KEditorControl* other = controls_.get(i);
        if (other != &control && other->isDrawn() && overlaps(*other, control)) return true;
    }
    return false;
}

bool KEditor::markOverlapping(const KEditorControl& erased) {
    bool marked = false;
    for (int i = 0; i < controls_.size(); ++i) {
        KEditorControl* other = controls_.get(i);
        if (other == &erased || other->needsRedraw() || !isVisible(*other)) continue;
        if (overlaps(*other, erased)) {
            other->markForRedraw();
            marked = true;
        }
    }
    return marked;
}

void KEditor::restoreBackground(KDrawSurface& surface, const KEditorControl& control) {
    // Right after the whole background was drawn the rectangle already shows it, unless a
    // control painted over it since.
    if (backgroundFresh_ && !paintedSinceBackground(control)) return;
    surface.fillRectRGBA(0, 0, control.width(), control.height(), kOpaqueBlack);
    const KBackgroundEntry* bg = lastBackground_;
    int fx = 0, fy = 0;
    if (!bg || !bg->image || !bg->image->drawableFrame(bg->frame, &fx, &fy)) return;
    surface.image(bg->image->handle(), fx + control.x(), fy + control.y(), control.width(),
                  control.height(), 0, 0);
}

int KEditor::hitTest(int x, int y) const {
    for (int i = 0; i < controls_.size(); ++i) {
        const KEditorControl* c = controls_.get(i);
        // 64-bit sums: skin rectangles are not range-checked.
        long long left = c->x(), top = c->y();
        if (x >= left && x < left + c->width() && y >= top && y < top + c->height() &&
            isVisible(*c))
            return i;
    }
    return -1;
}

KEditorControl* KEditor::target(int x, int y) const {
    KEditorControl* control = controls_.get(captured_ >= 0 ? captured_ : hitTest(x, y));
    return control && isVisible(*control) ? control : nullptr;
}

bool KEditor::press(bool right, bool shift, bool control, int x, int y) {
    pressLost_ = false;
    lastX_ = x;
    lastY_ = y;
    int index = captured_ >= 0 ? captured_ : hitTest(x, y);
    KEditorControl* c = target(x, y);
    if (!c) return false;
    const int cx = x - c->x(), cy = y - c->y();
    if (!(right ? c->rightDown(shift, control, cx, cy) : c->mouseDown(shift, control, cx, cy)))
        return false;
    if (captured_ < 0) capturedByRight_ = right;
    captured_ = index;
    return true;
}

bool KEditor::release(bool right, bool shift, bool control, int x, int y) {
    lastX_ = x;
    lastY_ = y;
    if (pressLost_) {
        pressLost_ = false;
        return true;
    }
    KEditorControl* c = target(x, y);
    if (!c) return false;
    const int cx = x - c->x(), cy = y - c->y();
    if (!(right ? c->rightUp(shift, control, cx, cy) : c->mouseUp(shift, control, cx, cy)))
        return false;
    captured_ = -1;
    return true;
}

bool KEditor::mouseDown(bool shift, bool control, int x, int y) {
    return press(false, shift, control, x, y);
}

bool KEditor::rightDown(bool shift, bool control, int x, int y) {
    return press(true, shift, control, x, y);
}

bool KEditor::mouseUp(bool shift, bool control, int x, int y) {
    return release(false, shift, control, x, y);
}

bool KEditor::rightUp(bool shift, bool control, int x, int y) {
    return release(true, shift, control, x, y);
}

void KEditor::mouseMove(bool shift, bool control, int x, int y) {
    lastX_ = x;
    lastY_ = y;
    if (pressLost_) return;
    if (KEditorControl* c = target(x, y)) c->mouseMove(shift, control, x - c->x(), y - c->y());
}

void KEditor::cancel() {
    if (captured_ < 0) return;
    KEditorControl* c = controls_.get(captured_);
    captured_ = -1;
    if (c) c->cancel();
}

bool KEditor::releaseHiddenCapture() {
    if (captured_ < 0) return false;
    KEditorControl* c = controls_.get(captured_);
    if (c && isVisible(*c)) return false;
    captured_ = -1;
    pressLost_ = true;
    if (!c) return true;
    // First as on a lost capture; then the release it can no longer be given, which ends what a
    // lost capture leaves open until the next release (a switch's or a radio's edit). A control
    // that its cancel already let go ignores it (a command does not run).
    c->cancel();
    const int cx = lastX_ - c->x(), cy = lastY_ - c->y();
    if (capturedByRight_)
        c->rightUp(false, false, cx, cy);
    else
        c->mouseUp(false, false, cx, cy);
    return true;
}

int KEditor::cursorKind(int x, int y) {
    KEditorControl* c = target(x, y);
    return c ? c->cursorKind(x - c->x(), y - c->y()) : kCursorArrow;
}

void KEditor::addResource(KResource* resource) {
    if (resource) resources_.add(resource);
}

void KEditor::addCheck(KCheck* check) {
    if (check) checks_.add(check);
}

void KEditor::addControl(KEditorControl* control) {
    if (control) controls_.add(control);
}

const KConditionRef* KEditor::conditionRef(const KCheck* check, bool negate) {
    for (int i = 0; i < conditionRefs_.size(); ++i) {
        const KConditionRef* ref = conditionRefs_.get(i);
        if (ref->check() == check && ref->negated() == negate) return ref;
    }
    KConditionRef* ref = new KConditionRef(check, negate);
    conditionRefs_.add(ref);
    return ref;
}

void KEditor::addBackground(int page, const KImageResource* image, int frame,
                            const KConditionSet& conditions) {
    backgrounds_.add(new KBackgroundEntry{page, image, frame, conditions});
}

void KEditor::mapBackground(const KImageResource* image, const KConditionSet& conditions) {
    if (!image) return;
    bool framePerPage = image->frameCount() == pageCount_;
    // One entry per page: a skin declaring millions of pages would otherwise take the host's
    // memory with one line. Pages beyond the bound show the black of a page without background.
    const int pages = pageCount_ < kMaxMappedPages ? pageCount_ : kMaxMappedPages;
    for (int p = 1; p <= pages; ++p)
        addBackground(p, image, framePerPage ? p - 1 : 0, conditions);
}

KResource* KEditor::findResource(const char* name) const {
    for (int i = 0; i < resources_.size(); ++i)
        if (resources_.get(i)->nameIs(name)) return resources_.get(i);
    return nullptr;
}

KCheck* KEditor::findCheck(const char* name) const {
    for (int i = 0; i < checks_.size(); ++i)
        if (checks_.get(i)->nameIs(name)) return checks_.get(i);
    return nullptr;
}

std::uint32_t KEditor::tickMs() const {
    return window_ ? window_->tickMs() : 0;
}

void KEditor::commitTypedText(int parameterIndex, const char* text) {
    if (!effect_) return;
    // One edit, so hosts that record automation keep the typed value rather than play theirs over
    // it.
    effect_->gesture(parameterIndex, [&] { effect_->parseParameterText(parameterIndex, text); });
}

} // namespace Korvel

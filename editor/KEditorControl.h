// Base of every control: its rectangle (editor pixels), page, condition set and redraw state, and
// the virtual operations through which the editor draws it and hands it the mouse.
//
// Every concrete control's constructor takes `const KControlPlacement&` first, then the arguments
// the skin line looked up, in the order of the class's skin arguments. Positions handed to the
// cursor and mouse operations are in control coordinates (editor position minus x, y). All
// operations run on the user-interface thread [ui].
#pragma once

#include "core/KIdBase.h"
#include "skin/KConditionSet.h"

namespace Korvel {

class KDrawSurface;
class KEditor;
class KEffectInterface;

struct KControlPlacement {
    int x = 0, y = 0, width = 0, height = 0;
    // 0 = every page.
    int page = 0;
    KConditionSet conditions;
    KEffectInterface* effect = nullptr;
    KEditor* editor = nullptr;
};

// Cursor kinds a control answers; 0 and any other value show the arrow.
enum KCursorKind { kCursorDefault = 0, kCursorArrow = 1, kCursorHand = 2, kCursorText = 3 };

class KEditorControl : public KIdBase {
public:
    explicit KEditorControl(const KControlPlacement& placement);
    // Slot 0.
    ~KEditorControl() override;
    // Slots 1-6: getName, nameIs, typeId, setName, typeIs, matches (KIdBase).

    // Slot 7: dirty; drawn stays as it is.
    virtual void markForRedraw();
    // Slot 8: when drawn, restores the background under the control; then dirty and not drawn.
    virtual void erase(KDrawSurface& surface);
    // Slot 9: when a redraw is needed: erase first if drawn, paint, then clean and drawn.
    virtual void drawIfNeeded(KDrawSurface& surface);
    // Slot 10: dirty or not drawn; controls add "the value shown changed".
    virtual bool needsRedraw() const;
    // Slot 11: the surface is clipped to the control, origin at its top-left corner.
    virtual void paint(KDrawSurface& surface);
    // Slot 12: dirty, and the editor invalidates at once.
    virtual void requestRedraw();
    // Slot 13.
    virtual int cursorKind(int x, int y);
    // Slots 14-17: true when the control takes (down) or lets go of (up) the mouse.
    virtual bool mouseDown(bool shift, bool control, int x, int y);
    virtual bool mouseUp(bool shift, bool control, int x, int y);
    virtual bool rightDown(bool shift, bool control, int x, int y);
    virtual bool rightUp(bool shift, bool control, int x, int y);
    // Slot 18.
    virtual void mouseMove(bool shift, bool control, int x, int y);
    // Slot 19: the control loses the mouse (capture lost, focus lost).
    virtual void cancel();

    int x() const { return x_; }
    int y() const { return y_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int page() const { return page_; }
    const KConditionSet& conditions() const { return conditions_; }
    KEffectInterface* effect() const { return effect_; }
    KEditor* editor() const { return editor_; }
    bool isDirty() const { return dirty_; }
    bool isDrawn() const { return drawn_; }
    // On the current page (or page 0) and the condition set holds.
    bool isVisible() const;

protected:
    int x_, y_, width_, height_;
    int page_;
    KConditionSet conditions_;
    KEffectInterface* effect_;
    KEditor* editor_;
    bool dirty_ = true;
    bool drawn_ = false;
};

} // namespace Korvel

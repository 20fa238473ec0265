// Event scripts through the editor core: the real effect built by its factory with the built-in
// skin, a fake window with a fake clock, and a host callback that records edit notices.
#include "EditorTestKit.h"

#include "editor/KDrawSurface.h"
#include "params/OmbrelParameters.h"
#include "skin/KCheck.h"
#include "skin/KImageResource.h"
#include "skin/KParamCheck.h"

#include <gtest/gtest.h>

using namespace Korvel;
using namespace OmbrelTest;

namespace {

// Drawing without GL: the surface skips its primitives, the editor's bookkeeping still runs.
struct NullSurface : KDrawSurface {
    NullSurface() : KDrawSurface(nullptr, 640, 395) {}
};

RecordingControl* addRecording(KEditor& editor, int page, int x, int y, int w, int h,
                               const KConditionSet& conditions = KConditionSet()) {
    KControlPlacement p;
    p.x = x;
    p.y = y;
    p.width = w;
    p.height = h;
    p.page = page;
    p.conditions = conditions;
    p.editor = &editor;
    auto* c = new RecordingControl(p);
    editor.addControl(c);
    return c;
}

TEST(EditorHost, FactoryBuildsTheBuiltInEditorAndAnswersTheEditorOpcodes) {
    RealEffect fx;
    ASSERT_NE(fx.host(), nullptr);
    EXPECT_TRUE(fx.effect->getAeffect()->flags & effFlagsHasEditor);

    ERect* rect = nullptr;
    ASSERT_EQ(fx.dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 395);
    EXPECT_EQ(rect->right, 640);

    EXPECT_FALSE(fx.effect->editorIsOpen());
    EXPECT_EQ(fx.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(0x1234)), 1);
    EXPECT_TRUE(fx.effect->editorIsOpen());
    fx.dispatch(effEditClose);
    EXPECT_FALSE(fx.effect->editorIsOpen());
    EXPECT_FALSE(fx.window().live);
}

TEST(EditorHost, WithoutAWindowObjectOpeningFailsAndWithoutASkinThereIsNoEditor) {
    std::unique_ptr<Ombrel> noWindow(createEffect(recordingHost, "ombrelskin.TXT", nullptr));
    ASSERT_NE(noWindow->hostEditor(), nullptr);
    AEffect* e = noWindow->getAeffect();
    EXPECT_EQ(e->dispatcher(e, effEditOpen, 0, 0, reinterpret_cast<void*>(0x1234), 0), 0);
    EXPECT_FALSE(noWindow->editorIsOpen());
    noWindow->setParameter(kGate, 0.9f); // a refresh request with no window must be harmless

    std::unique_ptr<Ombrel> noSkin(createEffect(recordingHost, "NoSuchSkin.txt", makeFakeWindow));
    EXPECT_EQ(noSkin->hostEditor(), nullptr);
    e = noSkin->getAeffect();
    EXPECT_FALSE(e->flags & effFlagsHasEditor);
    EXPECT_EQ(e->dispatcher(e, effEditOpen, 0, 0, reinterpret_cast<void*>(0x1234), 0), 0);
    noSkin->setParameter(kGate, 0.9f); // and the audio side works without an editor
    EXPECT_FLOAT_EQ(noSkin->getParameter(kGate), 0.9f);
}

TEST(EditorEvents, OverlappingControlsEarlierGetsTheClickLaterIsDrawnOnTop) {
    KEditor editor(nullptr);
    editor.setSize(640, 395);
    editor.setPageCount(1);
    FakeWindow window(editor);
    RecordingControl* first = addRecording(editor, 1, 10, 10, 50, 50);
    RecordingControl* second = addRecording(editor, 1, 40, 40, 50, 50);
    window.open(nullptr);

    // The press lands where both overlap: the earlier control takes it, in its own coordinates,
    // and keeps every event until it lets go, even outside the window.
    EXPECT_TRUE(editor.mouseDown(false, false, 45, 45));
    editor.mouseMove(false, false, 900, -20);
    EXPECT_TRUE(editor.mouseUp(false, false, 900, -20));
    EXPECT_EQ(first->events,
              (std::vector<std::string>{"down 35 35", "move 890 -30", "up 890 -30"}));
    EXPECT_TRUE(second->events.empty());
    EXPECT_EQ(editor.capturedIndex(), -1);
    // Outside the overlap the later control is reached; nowhere, the arrow and nothing taken.
    EXPECT_TRUE(editor.mouseDown(false, false, 85, 85));
    EXPECT_EQ(second->events.back(), "down 45 45");
    editor.cancel();
    EXPECT_EQ(second->events.back(), "cancel");
    EXPECT_FALSE(editor.mouseDown(false, false, 300, 300));
    EXPECT_EQ(editor.cursorKind(300, 300), kCursorArrow);
    EXPECT_EQ(editor.cursorKind(45, 45), kCursorHand);

    // Drawing follows the list: the later control paints last, over the earlier one.
    NullSurface surface;
    editor.draw(surface);
    EXPECT_EQ(first->paints, 1);
    EXPECT_EQ(second->paints, 1);
    EXPECT_GT(second->paintedAt, first->paintedAt);
    editor.draw(surface);
    EXPECT_EQ(first->paints + second->paints, 2) << "clean controls are not repainted";

    // Repainting the earlier one restores the background under it, over part of the later one:
    // the later one paints again, on top.
    first->markForRedraw();
    editor.draw(surface);
    EXPECT_EQ(first->paints, 2);
    EXPECT_EQ(second->paints, 2);
    EXPECT_GT(second->paintedAt, first->paintedAt);
}

TEST(EditorEvents, AControlWhoseConditionFailsIsErasedAndLosesTheMouseEvenWhileCaptured) {
    RealEffect fx;
    KEditor& editor = fx.editor();
    // A check on Gate's real value (dB), as a skin's "AddCheck loud Param Gate > -30" makes it.
    auto* check = new KParamCheck(fx.effect.get(), kGate, kGreater, -30.0);
    editor.addCheck(check);
    KConditionSet when;
    when.add(editor.conditionRef(check, false));
    EXPECT_EQ(editor.conditionRef(check, false), when.at(0)) << "one shared reference per pair";
    RecordingControl* c = addRecording(editor, 0, 600, 0, 40, 30, when);

    fx.effect->setParamReal(kGate, -20);
    fx.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(0x1234));
    NullSurface surface;
    editor.draw(surface);
    EXPECT_TRUE(c->isDrawn());

    ASSERT_TRUE(editor.mouseDown(false, false, 610, 10));
    fx.effect->setParamReal(kGate, -40);
    editor.mouseMove(false, false, 615, 12);
    EXPECT_FALSE(editor.mouseUp(false, false, 615, 12));
    EXPECT_EQ(c->events, (std::vector<std::string>{"down 10 10"}));
    EXPECT_EQ(editor.cursorKind(610, 10), kCursorArrow);

    editor.draw(surface);
    EXPECT_EQ(c->erases, 1);
    EXPECT_FALSE(c->isDrawn());
    int paints = c->paints;
    // Holding again brings it back at the next draw.
    fx.effect->setParamReal(kGate, -15);
    editor.draw(surface);
    EXPECT_EQ(c->paints, paints + 1);
    EXPECT_TRUE(c->isDrawn());
}

TEST(EditorEvents, PageSwitchIsAFullRedrawThatErasesPageOneControls) {
    RealEffect fx;
    KEditor& editor = fx.editor();
    RecordingControl* everyPage = addRecording(editor, 0, 0, 380, 10, 10);
    fx.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(0x1234));
    NullSurface surface;
    editor.attachSurface(surface);
    editor.draw(surface);
    ASSERT_NE(editor.lastBackground(), nullptr);
    EXPECT_EQ(editor.lastBackground()->frame, 0);
    int pageOne = 0;
    for (int i = 0; i < editor.controls().size(); ++i) {
        const KEditorControl* c = editor.controls().get(i);
        EXPECT_EQ(c->isDrawn(), c->page() != 2) << i;
        pageOne += c->page() == 1;
    }
    EXPECT_EQ(pageOne, 2 + 29 + 29);
    editor.draw(surface);
    EXPECT_EQ(everyPage->paints, 1);

    int before = fx.window().invalidations;
    editor.setPage(2);
    EXPECT_EQ(fx.window().invalidations, before + 1);
    editor.draw(surface);
    EXPECT_EQ(editor.lastBackground()->frame, 1) << "page 2 shows the right half";
    EXPECT_EQ(everyPage->paints, 2) << "a new background repaints every visible control";
    EXPECT_EQ(everyPage->erases, 1) << "erased first: drawn over the new background";
    for (int i = 0; i < editor.controls().size(); ++i) {
        const KEditorControl* c = editor.controls().get(i);
        EXPECT_EQ(c->isDrawn(), c->page() != 1) << i;
    }

    // Closing and reopening shows the start page again.
    fx.dispatch(effEditClose);
    fx.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(0x1234));
    EXPECT_EQ(editor.currentPage(), 1);
    editor.detachSurface(surface);
}

TEST(EditorEvents, ThrottledRefreshRepaintsOncePerPeriodAndOnceAtTheFirstIdleAfter) {
    RealEffect fx;
    fx.editor().setRefreshThrottleMs(1000);
    std::uint32_t& now = FakeWindow::clock();
    now = 0xfffff800u; // the tick wraps round during the run
    fx.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(0x1234));
    FakeWindow& window = fx.window();
    window.invalidations = 0;

    // Host automation at 100 changes per second for 3 s, host idle every 50 ms.
    const std::uint32_t start = now;
    AEffect* e = fx.effect->getAeffect();
    for (int k = 0; k < 300; ++k) {
        now = start + 10u * static_cast<std::uint32_t>(k);
        e->setParameter(e, kGate, static_cast<float>(k % 100) / 100.0f);
        if (k % 5 == 4) fx.dispatch(effEditIdle);
    }
    EXPECT_EQ(window.invalidations, 3) << "at 0, 1000 and 2000 ms";
    EXPECT_TRUE(fx.host()->refreshPending());

    now = start + 2995;
    fx.dispatch(effEditIdle);
    EXPECT_EQ(window.invalidations, 3) << "the period has not run out";
    now = start + 3000;
    fx.dispatch(effEditIdle);
    EXPECT_EQ(window.invalidations, 4) << "the last change shows at the first idle after";
    now = start + 5000;
    fx.dispatch(effEditIdle);
    EXPECT_EQ(window.invalidations, 4);

    // Closed: the effect stops asking.
    fx.dispatch(effEditClose);
    e->setParameter(e, kGate, 0.5f);
    EXPECT_EQ(window.invalidations, 4);
    now = 100000;
}

TEST(EditorEvents, TypedTextCommitsAsOneEditWithTheOldAndTheNewValue) {
    RealEffect fx;
    float before = fx.effect->getParameter(kGate);
    fx.editor().commitTypedText(kGate, "-25");
    EXPECT_NEAR(fx.effect->parameterReal(kGate), -25, 1e-9);
    ASSERT_EQ(hostNotices().size(), 4u);
    EXPECT_EQ(hostNotices()[0], (HostNotice{audioMasterBeginEdit, kGate, 0}));
    EXPECT_EQ(hostNotices()[1], (HostNotice{audioMasterAutomate, kGate, 0}));
    EXPECT_FLOAT_EQ(hostNotices()[1].value, before);
    EXPECT_EQ(hostNotices()[2], (HostNotice{audioMasterAutomate, kGate, 0}));
    EXPECT_FLOAT_EQ(hostNotices()[2].value, fx.effect->getParameter(kGate));
    EXPECT_EQ(hostNotices()[3], (HostNotice{audioMasterEndEdit, kGate, 0}));
}

} // namespace

// Switches, radios, buttons, commands, page selectors and links built from a skin on the real
// effect, driven through the editor's mouse routing, with the host notices they send recorded.
#include "editor/KEditor.h"
#include "editor/KEditorSkinBuilder.h"
#include "editor/buttons/KHlRadio.h"
#include "editor/buttons/KImgButton.h"
#include "editor/buttons/KImgCommand.h"
#include "editor/buttons/KImgRadio.h"
#include "editor/buttons/KImgSwitch.h"
#include "editor/buttons/KPageSelHlt.h"
#include "host/Ombrel.h"
#include "tests/editor/EditorTestKit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace Korvel {
namespace {

using OmbrelTest::FakeWindow;
using OmbrelTest::hostNotices;

// The recorded host notices as text, then forgets them.
std::string takeLog() {
    std::string log;
    for (const OmbrelTest::HostNotice& n : hostNotices()) {
        char line[64] = {};
        if (n.opcode == audioMasterBeginEdit)
            std::snprintf(line, sizeof line, "begin %d; ", n.index);
        if (n.opcode == audioMasterEndEdit) std::snprintf(line, sizeof line, "end %d; ", n.index);
        if (n.opcode == audioMasterAutomate)
            std::snprintf(line, sizeof line, "auto %d %.4g; ", n.index,
                          static_cast<double>(n.value));
        log += line;
    }
    hostNotices().clear();
    return log;
}

// Indexes of the parameters and command used below (the effect's table).
constexpr int kGate = 2, kLfoFreq = 25, kLfoDepth = 27, kMainLvl = 28;

const char kSkin[] = "Init 200 200 2\r\n"
                     "AddResource hl RGBAColour 255 255 255 60\r\n"
                     "AddResource two PngResource OmbrelRnd.png 85 20 2\r\n"
                     "AddControl 1 0 0 20 20 KImgSwitch Gate two\r\n"
                     "AddControl 1 0 20 20 20 KImgRadio LFODepth 0 2 two\r\n"
                     "AddControl 1 20 20 20 20 KImgRadio LFODepth 1 2 two\r\n"
                     "AddControl 1 40 20 20 20 KHlRadio LFODepth 2 2 2 2 16 16 hl hl hl\r\n"
                     "AddControl 1 0 40 20 20 KImgButton LFOFreq two\r\n"
                     "AddControl 1 0 60 85 20 KImgCommand AutoLevel two\r\n"
                     "AddControl 0 100 0 50 16 KPageSelHlt 2 hl\r\n"
                     "AddControl 1 0 100 100 30 KUrl \"https://example.org/ombrel\"\r\n"
                     "AddControl 1 0 140 100 30 KUrl \"a.b/cde\"\r\n";

class ButtonControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        KEditorSkinBuilder builder(fx.get());
        editor.reset(
            builder.buildEditor(reinterpret_cast<const unsigned char*>(kSkin), std::strlen(kSkin)));
        ASSERT_TRUE(editor);
        ASSERT_EQ(9, editor->controls().size());
        window.reset(new FakeWindow(*editor));
        window->open(nullptr);
        hostNotices().clear();
    }
    template <typename T> T& control(int i) {
        auto* c = dynamic_cast<T*>(editor->controls().get(i));
        EXPECT_NE(nullptr, c);
        return *c;
    }
    // Sets a value as the host would, then forgets the notices that caused.
    void set(int index, double value) {
        fx->setParamNormalised(index, value);
        hostNotices().clear();
    }

    std::unique_ptr<Ombrel> fx{new Ombrel(OmbrelTest::recordingHost)};
    std::unique_ptr<KEditor> editor;
    std::unique_ptr<FakeWindow> window;
};

TEST_F(ButtonControlsTest, SwitchTogglesInsideOneEditAndControlClickRestoresTheDefault) {
    auto& sw = control<KImgSwitch>(0);
    set(kGate, 0.3);
    EXPECT_TRUE(editor->mouseDown(false, false, 5, 5));
    EXPECT_EQ("begin 2; auto 2 0.3; auto 2 1; ", takeLog());
    EXPECT_EQ(1.0, fx->parameterValue(kGate));
    // Two frames: the pressed look is the on frame.
    EXPECT_EQ(1, sw.frameToDraw());
    EXPECT_TRUE(editor->mouseUp(false, false, 150, 150));
    EXPECT_EQ("end 2; ", takeLog());
    EXPECT_EQ(-1, editor->capturedIndex());

    set(kGate, 0.5);
    editor->mouseDown(false, false, 5, 5);
    editor->mouseUp(false, false, 5, 5);
    EXPECT_EQ(0.0, fx->parameterValue(kGate));
    EXPECT_EQ(0, sw.frameToDraw());

    // Ctrl-click at 0.3 restores the default (-40 dB of -80..-10) rather than toggling.
    set(kGate, 0.3);
    editor->mouseDown(false, true, 5, 5);
    EXPECT_DOUBLE_EQ(fx->parameterDefault(kGate), fx->parameterValue(kGate));
    EXPECT_NEAR(40.0 / 70.0, fx->parameterValue(kGate), 1e-12);
    takeLog();

    // Losing the mouse leaves the edit open until the next release on the switch.
    editor->cancel();
    EXPECT_TRUE(sw.isPressed());
    EXPECT_EQ("", takeLog());
    EXPECT_TRUE(editor->mouseUp(false, false, 5, 5));
    EXPECT_EQ("end 2; ", takeLog());
}

TEST_F(ButtonControlsTest, RadioOptionsOwnTheirRangesAndAClickSetsTheCentre) {
    auto& first = control<KImgRadio>(1);
    auto& middle = control<KImgRadio>(2);
    auto& last = control<KHlRadio>(3);
    set(kLfoDepth, 0.0);
    EXPECT_TRUE(editor->mouseDown(false, false, 25, 25));
    EXPECT_EQ("begin 27; auto 27 0; auto 27 0.5; ", takeLog());
    EXPECT_TRUE(editor->mouseUp(false, false, 25, 25));
    EXPECT_EQ("end 27; ", takeLog());
    EXPECT_FALSE(first.isSelected());
    EXPECT_TRUE(middle.isSelected());
    EXPECT_FALSE(last.isSelected());

    // Option 1 of 0..2 owns 1/3 <= v < 2/3; the last option owns 1 itself.
    set(kLfoDepth, 0.66);
    EXPECT_TRUE(middle.isSelected());
    set(kLfoDepth, 0.67);
    EXPECT_FALSE(middle.isSelected());
    EXPECT_TRUE(last.isSelected());
    set(kLfoDepth, 1.0);
    EXPECT_TRUE(last.isSelected());
    EXPECT_FALSE(middle.isSelected());

    editor->mouseDown(false, true, 45, 25);
    EXPECT_EQ("begin 27; auto 27 1; auto 27 0; ", takeLog());
    EXPECT_TRUE(first.isSelected());
}

TEST_F(ButtonControlsTest, ButtonHoldsOneWhilePressedAndReleasesOnUpOrWhenTheMouseIsLost) {
    auto& button = control<KImgButton>(4);
    set(kLfoFreq, 0.25);
    EXPECT_TRUE(editor->mouseDown(false, false, 5, 45));
    EXPECT_EQ("auto 25 0.25; auto 25 1; ", takeLog());
    EXPECT_EQ(1, button.frameToDraw());
    EXPECT_TRUE(editor->mouseUp(false, false, 5, 45));
    EXPECT_EQ("auto 25 1; auto 25 0; ", takeLog());
    EXPECT_EQ(0.0, fx->parameterValue(kLfoFreq));
    EXPECT_EQ(0, button.frameToDraw());

    editor->mouseDown(false, false, 5, 45);
    takeLog();
    editor->cancel();
    EXPECT_EQ("auto 25 1; auto 25 0; ", takeLog());
    EXPECT_FALSE(button.isPressed());
    EXPECT_FALSE(editor->mouseUp(false, false, 5, 45));
    EXPECT_EQ("", takeLog());
}

TEST_F(ButtonControlsTest, CommandRunsOnReleaseWhereverTheMouseIsButNotWhenTheMouseIsLost) {
    auto& command = control<KImgCommand>(5);
    set(kMainLvl, 1.0);
    EXPECT_TRUE(editor->mouseDown(true, false, 40, 70));
    EXPECT_EQ(1, command.frameToDraw());
    editor->mouseMove(false, false, 190, 190);
    EXPECT_EQ(1.0, fx->parameterValue(kMainLvl));
    // AutoLevel over three full-level oscillators: -3 dB less 20 log10(3), about -12.5 dB.
    EXPECT_TRUE(editor->mouseUp(false, false, 190, 190));
    EXPECT_NEAR(0.2371, fx->parameterValue(kMainLvl), 0.002);
    EXPECT_FALSE(command.isPressed());
    EXPECT_EQ(0, command.frameToDraw());

    set(kMainLvl, 1.0);
    editor->mouseDown(false, false, 40, 70);
    editor->cancel();
    EXPECT_FALSE(editor->mouseUp(false, false, 40, 70));
    EXPECT_EQ(1.0, fx->parameterValue(kMainLvl));
    EXPECT_EQ(0, command.frameToDraw());
}

TEST_F(ButtonControlsTest, PageSelectorShowsItsPageOnPressAndHighlightsOnlyWhileHeld) {
    auto& selector = control<KPageSelHlt>(6);
    editor->setPage(1);
    int before = window->invalidations;
    EXPECT_TRUE(editor->mouseDown(false, false, 110, 5));
    EXPECT_EQ(2, editor->currentPage());
    EXPECT_GT(window->invalidations, before);
    EXPECT_TRUE(selector.isPressed());
    EXPECT_TRUE(selector.needsRedraw());
    EXPECT_TRUE(editor->mouseUp(false, false, 110, 5));
    EXPECT_FALSE(selector.isPressed());
    // Page-1 controls are hidden now and take no mouse.
    EXPECT_FALSE(editor->mouseDown(false, false, 5, 5));
    EXPECT_EQ("", takeLog());
}

TEST_F(ButtonControlsTest, LinkOpensOnReleaseOverItUnlessAnotherControlHoldsTheMouse) {
    // A press on no control, released over the link.
    EXPECT_FALSE(editor->mouseDown(false, false, 150, 150));
    EXPECT_FALSE(editor->mouseUp(false, false, 10, 110));
    ASSERT_EQ(1u, window->links.size());
    EXPECT_EQ("https://example.org/ombrel", window->links[0]);
    EXPECT_EQ(2, editor->cursorKind(10, 110));

    // Seven characters cannot be an address.
    editor->mouseUp(false, false, 10, 150);
    // The command holds the mouse: its release is not the link's.
    editor->mouseDown(false, false, 40, 70);
    editor->mouseUp(false, false, 10, 110);
    EXPECT_EQ(1u, window->links.size());
}

} // namespace
} // namespace Korvel

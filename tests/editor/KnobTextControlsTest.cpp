// Knobs and text controls as a user meets them: mouse scripts through the editor core on the real
// effect (built-in skin, fake window and clock, recording host callback), and text controls built
// from a small skin on an effect that publishes a peak level and refuses typed text for Speed.
#include "editor/KDrawSurface.h"
#include "editor/KEditor.h"
#include "editor/KEditorSkinBuilder.h"
#include "editor/knobs/KImgPot.h"
#include "editor/knobs/KPotDot.h"
#include "editor/knobs/KSlide.h"
#include "editor/text/KBgValue.h"
#include "editor/text/KLabel.h"
#include "editor/text/KTextPeak.h"
#include "editor/text/KValue.h"
#include "params/OmbrelParameters.h"
#include "skin/KImageResource.h"
#include "tests/editor/EditorTestKit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace Korvel;
using namespace OmbrelTest;

namespace {

// Drawing without GL: the surface skips its primitives, the controls' bookkeeping still runs.
struct NullSurface : KDrawSurface {
    NullSurface() : KDrawSurface(nullptr, 640, 395) {}
};

template <typename T> int indexOf(const KEditor& editor, int parameter) {
    for (int i = 0; i < editor.controls().size(); ++i) {
        auto* c = dynamic_cast<T*>(editor.controls().get(i));
        if (c && c->parameter() == parameter) return i;
    }
    return -1;
}

struct Notice {
    VstInt32 opcode;
    float value;
};

// The notices for one parameter, in order; automate carries the value the host was given.
std::vector<Notice> noticesFor(int parameter) {
    std::vector<Notice> out;
    for (const HostNotice& n : hostNotices())
        if (n.index == parameter) out.push_back({n.opcode, n.value});
    return out;
}

class KnobEvents : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(fx.host(), nullptr);
        ASSERT_EQ(fx.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(0x1234)), 1);
        knob = indexOf<KPotDot>(editor(), kGate);
        ASSERT_GE(knob, 0);
        editor().draw(surface);
    }
    KEditor& editor() { return fx.editor(); }
    double gate() { return fx.effect->parameterValue(kGate); }

    RealEffect fx;
    NullSurface surface;
    int knob = -1;
    // The built-in skin's Gate knob is 40 by 40 at (370, 35).
    static constexpr int kCx = 390, kCy = 55;
};

TEST_F(KnobEvents, DragStepsClampWithAMovingAnchorAndReportInEditOrder) {
    fx.effect->setParameter(kGate, 0.3f);
    hostNotices().clear();
    const double start = gate();
    std::vector<Notice> expected{{audioMasterBeginEdit, 0},
                                 {audioMasterAutomate, static_cast<float>(start)}};
    auto step = [&](bool shift, int x, int y, double want) {
        editor().mouseMove(shift, false, x, y);
        EXPECT_NEAR(want, gate(), 1e-9) << "move to " << x << " " << y;
        expected.push_back({audioMasterAutomate, static_cast<float>(gate())});
    };

    EXPECT_TRUE(editor().mouseDown(false, false, kCx, kCy));
    EXPECT_EQ(knob, editor().capturedIndex());
    step(false, kCx, kCy - 10, start + 0.1);       // 10 px up
    step(true, kCx, kCy - 20, start + 0.11);       // 10 px up, fine
    step(false, kCx + 40, kCy - 20, start + 0.21); // 40 px right
    // Far outside the editor the knob still follows, and stops at the end of the range...
    step(false, kCx + 40, -1000, 1.0);
    // ...and turns back at once, because the anchor moved with the mouse.
    step(false, kCx + 40, -995, 0.95);
    step(false, kCx + 40, 5000, 0.0);
    EXPECT_TRUE(editor().mouseUp(false, false, kCx + 40, 5000));
    EXPECT_EQ(-1, editor().capturedIndex());
    expected.push_back({audioMasterEndEdit, 0});

    std::vector<Notice> got = noticesFor(kGate);
    ASSERT_EQ(expected.size(), got.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(expected[i].opcode, got[i].opcode) << "notice " << i;
        if (got[i].opcode == audioMasterAutomate) {
            EXPECT_FLOAT_EQ(expected[i].value, got[i].value) << "notice " << i;
        }
    }
    EXPECT_EQ(hostNotices().size(), got.size()) << "only Gate was edited";
}

TEST_F(KnobEvents, ControlClickRestoresTheDefaultAndIgnoresMovesUntilRelease) {
    fx.effect->setParameter(kGate, 0.9f);
    hostNotices().clear();
    const double dflt = fx.effect->parameterDefault(kGate);
    ASSERT_GT(std::fabs(dflt - 0.9), 0.1);

    EXPECT_TRUE(editor().mouseDown(false, true, kCx, kCy));
    EXPECT_DOUBLE_EQ(dflt, gate());
    editor().mouseMove(false, false, kCx, kCy - 30);
    EXPECT_DOUBLE_EQ(dflt, gate());
    // A second press while held opens no second edit.
    EXPECT_TRUE(editor().mouseDown(false, false, kCx, kCy - 30));
    EXPECT_TRUE(editor().mouseUp(false, false, kCx, kCy - 30));

    std::vector<Notice> got = noticesFor(kGate);
    ASSERT_EQ(4u, got.size());
    EXPECT_EQ(audioMasterBeginEdit, got[0].opcode);
    EXPECT_EQ(audioMasterAutomate, got[1].opcode);
    EXPECT_FLOAT_EQ(0.9f, got[1].value);
    EXPECT_EQ(audioMasterAutomate, got[2].opcode);
    EXPECT_FLOAT_EQ(static_cast<float>(dflt), got[2].value);
    EXPECT_EQ(audioMasterEndEdit, got[3].opcode);

    // Losing the mouse mid-drag closes the edit as a release does.
    hostNotices().clear();
    EXPECT_TRUE(editor().mouseDown(false, false, kCx, kCy));
    editor().cancel();
    EXPECT_EQ(-1, editor().capturedIndex());
    got = noticesFor(kGate);
    ASSERT_EQ(3u, got.size());
    EXPECT_EQ(audioMasterEndEdit, got[2].opcode);
    editor().mouseMove(false, false, kCx, 0);
    EXPECT_DOUBLE_EQ(dflt, gate());
}

TEST_F(KnobEvents, AKnobStepRepaintsTheKnobAndItsValueOnlyAndHostChangesToo) {
    auto dirty = [&] {
        std::vector<int> out;
        for (int i = 0; i < editor().controls().size(); ++i)
            if (editor().isVisible(*editor().controls().get(i)) &&
                editor().controls().get(i)->needsRedraw())
                out.push_back(i);
        return out;
    };
    const int value = indexOf<KValue>(editor(), kGate);
    ASSERT_TRUE(dirty().empty());

    editor().mouseDown(false, false, kCx, kCy);
    editor().draw(surface); // the highlight
    editor().mouseMove(false, false, kCx, kCy - 10);
    EXPECT_EQ((std::vector<int>{knob, value}), dirty());
    editor().draw(surface);
    editor().mouseUp(false, false, kCx, kCy - 10);
    editor().draw(surface);
    ASSERT_TRUE(dirty().empty());

    // Host automation reaches knob and value through the value comparison alone; a change the
    // quantised value does not show (Gate has 70 steps) repaints nothing.
    fx.effect->setParameter(kGate, static_cast<float>(gate() + 0.001));
    EXPECT_TRUE(dirty().empty());
    fx.effect->setParameter(kGate, static_cast<float>(gate() + 0.05));
    EXPECT_EQ((std::vector<int>{knob, value}), dirty());
}

// A slider 120 high with a 20-high knob (travel 100) and a 64-frame image knob, both on Gate
// (70 steps, so 0.5 is shown exactly).
const char kSlideSkin[] = "Init 200 200 1\n"
                          "AddResource hl RGBAColour 255 255 255 60\n"
                          "AddResource knob PngResource OmbrelRnd.png 30 20 1\n"
                          "AddResource strip PngResource OmbrelRnd.png 10 10 64\n"
                          "AddControl 1 0 0 30 120 KSlide Gate knob hl 0 5 30 10\n"
                          "AddControl 1 100 0 10 10 KImgPot Gate strip\n";

TEST(SlideAndImagePot, OnlyTheSliderKnobTakesTheMouseAndItsTravelCoversTheRange) {
    std::unique_ptr<Ombrel> fx(new Ombrel(recordingHost));
    KEditorSkinBuilder builder(fx.get());
    std::unique_ptr<KEditor> editor(builder.buildEditor(
        reinterpret_cast<const unsigned char*>(kSlideSkin), std::strlen(kSlideSkin)));
    ASSERT_TRUE(editor);
    ASSERT_EQ(2, editor->controls().size());
    static_cast<KImageResource*>(editor->findResource("strip"))->setLoadedForTest(1, 80, 80);
    auto& slide = *dynamic_cast<KSlide*>(editor->controls().get(0));
    auto& pot = *dynamic_cast<KImgPot*>(editor->controls().get(1));
    EXPECT_EQ(100, slide.travel());

    fx->setParameter(kGate, 0.0f);
    EXPECT_EQ(100, slide.knobPosition());
    EXPECT_EQ(0, pot.frameToDraw());
    fx->setParameter(kGate, 1.0f);
    EXPECT_EQ(1, slide.knobPosition());
    EXPECT_EQ(63, pot.frameToDraw());
    fx->setParameter(kGate, 0.5f);
    EXPECT_EQ(50, slide.knobPosition()); // 100 - (49.5 + 0.5)
    EXPECT_EQ(32, pot.frameToDraw());    // 31.5 + 0.5

    hostNotices().clear();
    EXPECT_EQ(kCursorDefault, editor->cursorKind(10, 45));
    EXPECT_FALSE(editor->mouseDown(false, false, 10, 45)) << "above the knob (50..69)";
    EXPECT_EQ(-1, editor->capturedIndex());
    EXPECT_TRUE(hostNotices().empty());

    EXPECT_EQ(kCursorHand, editor->cursorKind(10, 55));
    EXPECT_TRUE(editor->mouseDown(false, false, 10, 55));
    editor->mouseMove(false, false, 200, 30); // 25 px of 100 up; sideways ignored
    EXPECT_NEAR(0.75, fx->parameterValue(kGate), 1e-9);
    editor->mouseMove(true, false, 200, 40); // 10 px down, fine
    EXPECT_NEAR(0.74, fx->parameterValue(kGate), 1e-9);
    EXPECT_EQ(kCursorHand, editor->cursorKind(10, 199)) << "held: hand anywhere";
    EXPECT_TRUE(editor->mouseUp(false, false, 200, 40));
    std::vector<Notice> got = noticesFor(kGate);
    ASSERT_EQ(5u, got.size());
    EXPECT_EQ(audioMasterBeginEdit, got[0].opcode);
    EXPECT_EQ(audioMasterEndEdit, got[4].opcode);
}

// An effect with a peak level source whose Speed refuses typed text.
class TextEffect : public Ombrel {
public:
    TextEffect() : Ombrel(recordingHost) {
        addDisplaySource("Peak", &peak);
        setSampleRate(44100);
    }
    bool parameterAcceptsText(int index) const override {
        return index != kSpeed && Ombrel::parameterAcceptsText(index);
    }
    KDoubleSource peak{1.0};
};

const char kTextSkin[] = "Init 200 120 1\n"
                         "AddResource white RGBColour 255 255 255\n"
                         "AddResource red RGBColour 255 0 0\n"
                         "AddResource font DefFont 10 white KSans\n"
                         "AddResource hot DefFont 10 red KSans\n"
                         "AddControl 1 10 0 60 15 KValue Gate font\n"
                         "AddControl 1 10 20 60 15 KValue Speed font\n"
                         "AddControl 1 0 40 120 15 KTextPeak Peak Random font hot\n"
                         "AddControl 1 0 60 200 15 KLabel Left \"Rate ${SRate} Hz\" font 15000\n"
                         "AddControl 1 0 80 200 15 KLabel Left \"Rate ${SRate} Hz\" font 0\n"
                         "AddControl 1 0 100 200 15 KLabel Left \"Plain text\" font 15000\n";

class TextControls : public ::testing::Test {
protected:
    void SetUp() override {
        KEditorSkinBuilder builder(&fx);
        editor.reset(builder.buildEditor(reinterpret_cast<const unsigned char*>(kTextSkin),
                                         std::strlen(kTextSkin)));
        ASSERT_TRUE(editor);
        ASSERT_EQ(6, editor->controls().size());
        window.reset(new FakeWindow(*editor));
        window->open(nullptr);
        FakeWindow::clock() = 500000;
        editor->draw(surface);
    }
    template <typename T> T& control(int i) { return *dynamic_cast<T*>(editor->controls().get(i)); }

    TextEffect fx;
    std::unique_ptr<KEditor> editor;
    std::unique_ptr<FakeWindow> window;
    NullSurface surface;
};

TEST_F(TextControls, ValueClickOpensTypedEntryOverItselfWithoutTakingTheMouse) {
    EXPECT_EQ(kCursorText, editor->cursorKind(20, 5));
    EXPECT_FALSE(editor->mouseDown(false, false, 20, 5));
    EXPECT_EQ(-1, editor->capturedIndex());
    ASSERT_EQ(1u, window->textEntries.size());
    const FakeWindow::TextEntry& e = window->textEntries[0];
    EXPECT_EQ(10, e.x);
    EXPECT_EQ(0, e.y);
    EXPECT_EQ(60, e.w);
    EXPECT_EQ(15, e.h);
    EXPECT_EQ(kGate, e.parameter);

    // Speed takes no typed text here: arrow, and a click does nothing.
    EXPECT_EQ(kCursorDefault, editor->cursorKind(20, 25));
    EXPECT_FALSE(editor->mouseDown(false, false, 20, 25));
    EXPECT_EQ(1u, window->textEntries.size());
}

TEST_F(TextControls, VariableLabelsExpandAgainOnlyAfterTheirPeriod) {
    auto& live = control<KLabel>(3);
    auto& fixed = control<KLabel>(4);
    auto& plain = control<KLabel>(5);
    EXPECT_STREQ("Rate 44100 Hz", live.displayText());
    EXPECT_STREQ("Rate 44100 Hz", fixed.displayText());
    EXPECT_TRUE(fixed.isStatic());
    EXPECT_TRUE(plain.isStatic()) << "no variable: the period is ignored";

    fx.setSampleRate(48000);
    FakeWindow::clock() += 15000;
    EXPECT_FALSE(live.needsRedraw()) << "exactly one period is not more than the period";
    FakeWindow::clock() += 1;
    EXPECT_TRUE(live.needsRedraw());
    EXPECT_FALSE(fixed.needsRedraw());
    EXPECT_FALSE(plain.needsRedraw());
    editor->draw(surface);
    EXPECT_STREQ("Rate 48000 Hz", live.displayText());
    EXPECT_STREQ("Rate 44100 Hz", fixed.displayText());
    EXPECT_STREQ("Plain text", plain.displayText());
    EXPECT_FALSE(live.needsRedraw());

    // A tick that went back (the counter wrapped) repaints at once.
    FakeWindow::clock() -= 1000;
    EXPECT_TRUE(live.needsRedraw());
}

TEST_F(TextControls, PeakShowsDecibelsRepaintsOnChangeAndItsClickRunsTheCommand) {
    auto& peak = control<KTextPeak>(2);
    auto text = [](double v, bool* over) {
        char buffer[KTextPeak::kTextBytes];
        KTextPeak::formatPeak(v, buffer, sizeof buffer, over);
        return std::string(buffer);
    };
    bool over = true;
    EXPECT_EQ("Peak: 0.0 dB", text(1.0, &over));
    EXPECT_FALSE(over);
    EXPECT_EQ("Peak: 6.0 dB", text(2.0, &over));
    EXPECT_TRUE(over);
    EXPECT_EQ("Peak: -Inf dB", text(0.0, &over));
    EXPECT_FALSE(over);

    EXPECT_FALSE(peak.needsRedraw());
    fx.peak = 1.000001;
    EXPECT_FALSE(peak.needsRedraw());
    fx.peak = 0.0000009; // below the floor: shown as silence
    EXPECT_EQ(0.0, peak.value());
    EXPECT_TRUE(peak.needsRedraw());
    fx.peak = std::nan("");
    EXPECT_EQ(0.0, peak.value());
    editor->draw(surface);

    double before[kOmbrelParamCount];
    for (int i = 0; i < kOmbrelParamCount; ++i)
        before[i] = fx.parameterValue(i);
    EXPECT_EQ(kCursorHand, editor->cursorKind(50, 45));
    EXPECT_FALSE(editor->mouseDown(false, false, 50, 45));
    EXPECT_EQ(-1, editor->capturedIndex());
    int changed = 0;
    for (int i = 0; i < kOmbrelParamCount; ++i)
        changed += before[i] != fx.parameterValue(i);
    EXPECT_GT(changed, 0) << "Random drew a new sound";
}

// An effect on which another thread's change of a parameter lands right after a value display
// has read its text, before it reads the value again.
class RacingEffect : public Ombrel {
public:
    RacingEffect() : Ombrel(recordingHost) {}
    void parameterDisplayWithUnit(int index, char* out, std::size_t size) const override {
        Ombrel::parameterDisplayWithUnit(index, out, size);
        if (index != raceOn) return;
        raceOn = -1;
        const_cast<RacingEffect*>(this)->setParamNormalised(index, landing);
    }
    mutable int raceOn = -1;
    double landing = 0;
};

TEST(ValueDisplays, ShowTheNewTextWhenTheValueChangesWhileTheyPaint) {
    const char skin[] = "Init 200 40 1\n"
                        "AddResource white RGBColour 255 255 255\n"
                        "AddResource font DefFont 10 white KSans\n"
                        "AddResource two PngResource OmbrelRnd.png 85 20 2\n"
                        "AddControl 1 0 0 60 15 KValue Gate font\n"
                        "AddControl 1 0 20 85 20 KBgValue Speed two font\n";
    RacingEffect fx;
    std::unique_ptr<KEditor> editor(KEditorSkinBuilder(&fx).buildEditor(
        reinterpret_cast<const unsigned char*>(skin), std::strlen(skin)));
    ASSERT_TRUE(editor);
    ASSERT_EQ(2, editor->controls().size());
    FakeWindow window(*editor);
    window.open(nullptr);
    NullSurface surface;
    editor->draw(surface);
    auto text = [&fx](int index) {
        char t[KEffectInterface::kDisplayTextBytes] = {};
        fx.parameterDisplayWithUnit(index, t, sizeof t);
        return std::string(t);
    };
    for (int parameter : {kGate, kSpeed}) {
        auto& display = *dynamic_cast<KValue*>(editor->controls().get(parameter == kGate ? 0 : 1));
        fx.setParamNormalised(parameter, 0.3);
        const std::string before = text(parameter);
        fx.raceOn = parameter;
        fx.landing = 0.8;
        editor->draw(surface);
        EXPECT_EQ(before, display.paintedText()) << "painted before the change landed";
        EXPECT_NE(before, text(parameter));
        EXPECT_TRUE(display.needsRedraw()) << parameter;
        editor->draw(surface);
        EXPECT_EQ(text(parameter), display.paintedText()) << parameter;
        EXPECT_FALSE(display.needsRedraw());
    }
}

} // namespace

// Meters and wave displays built from a skin on an effect that publishes display sources, drawn
// through the editor on an offscreen GL context: which frame, bar and rows they choose, when they
// repaint, and the zoom bar's mouse handling.
#include "core/KHistory.h"
#include "editor/KDrawSurface.h"
#include "editor/KEditor.h"
#include "editor/KEditorSkinBuilder.h"
#include "editor/meters/KBarFracMeter.h"
#include "editor/meters/KImgFracMeter.h"
#include "editor/meters/KImgMeter.h"
#include "editor/meters/KImgPeak.h"
#include "editor/meters/KWave.h"
#include "editor/meters/KZoomWave.h"
#include "tests/editor/EditorTestKit.h"
#include "tests/platform/OffscreenContext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace Korvel {
namespace {

class MeterEffect : public Ombrel {
public:
    MeterEffect() : Ombrel(OmbrelTest::recordingHost) {
        addDisplaySource("Level", &level);
        addDisplaySource("Count", &count);
        addDisplaySource("Wave", &history);
    }
    KDoubleSource level{0.0};
    KIntSource count{0};
    KHistory history;
};

// "OmbrelRnd.png" is 170 by 20 pixels: as 17 by 2 frames it holds a ten-frame image.
const char kSkin[] = "Init 300 200 1\n"
                     "InstallTTF KSans KSans.ttf\n"
                     "AddResource red RGBAColour 255 0 0 255\n"
                     "AddResource white RGBColour 255 255 255\n"
                     "AddResource font DefFont 10 white KSans\n"
                     "AddResource ten PngResource OmbrelRnd.png 17 2 10\n"
                     "AddControl 1 0 0 100 10 KBarFracMeter Level RightToLeft red\n"
                     "AddControl 1 0 20 17 2 KImgFracMeter Level ten\n"
                     "AddControl 1 0 30 17 2 KImgMeter Count 2 -1 ten\n"
                     "AddControl 1 0 40 17 2 KImgPeak Level Random ten\n"
                     "AddControl 1 0 50 100 40 KWave Wave Level Null red red red\n"
                     "AddControl 1 0 100 241 56 KZoomWave Wave Null Null red red red red red red "
                     "font\n";

class MeterControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gl.ok()) << gl.error();
        KEditorSkinBuilder builder(&fx);
        editor.reset(
            builder.buildEditor(reinterpret_cast<const unsigned char*>(kSkin), std::strlen(kSkin)));
        ASSERT_TRUE(editor);
        ASSERT_EQ(6, editor->controls().size());
        window.reset(new OmbrelTest::FakeWindow(*editor));
        window->open(nullptr);
        editor->attachSurface(surface);
    }
    void TearDown() override {
        if (editor) editor->detachSurface(surface);
    }
    template <typename T> T& control(int i) {
        auto* c = dynamic_cast<T*>(editor->controls().get(i));
        EXPECT_NE(nullptr, c);
        return *c;
    }
    void draw() { editor->draw(surface); }

    OffscreenContext gl{300, 200};
    KDrawSurface surface{gl.nvg(), 300, 200};
    MeterEffect fx;
    std::unique_ptr<KEditor> editor;
    std::unique_ptr<OmbrelTest::FakeWindow> window;
};

TEST_F(MeterControlsTest, ImageMetersPickTheirFrameAndRepaintOnlyWhenItChanges) {
    auto& frac = control<KImgFracMeter>(1);
    auto& meter = control<KImgMeter>(2);
    auto& peak = control<KImgPeak>(3);
    fx.level = 0.999;
    fx.count = -5;
    draw();
    // Ten frames: 0.999 shows frame 8, only 1 reaches frame 9.
    EXPECT_EQ(8, frac.frame().drawn());
    EXPECT_EQ(0, meter.frame().drawn());
    EXPECT_EQ(0, peak.frame().drawn());
    EXPECT_FALSE(frac.needsRedraw());

    fx.level = 0.95;
    EXPECT_FALSE(frac.needsRedraw());
    fx.level = 1.0;
    fx.count = 3; // 3 x 2 - 1, rounded
    EXPECT_TRUE(frac.needsRedraw());
    EXPECT_TRUE(peak.needsRedraw());
    draw();
    EXPECT_EQ(9, frac.frame().drawn());
    EXPECT_EQ(5, meter.frame().drawn());
    EXPECT_EQ(1, peak.frame().drawn());

    fx.level = 7.0;
    fx.count = 1000;
    draw();
    EXPECT_EQ(9, frac.frame().drawn());
    EXPECT_EQ(9, meter.frame().drawn());
    fx.level = std::nan("");
    EXPECT_EQ(0, frac.frameToDraw());
    EXPECT_EQ(0, peak.frameToDraw());
}

TEST_F(MeterControlsTest, PeakClickRunsItsCommandWithoutTakingTheMouse) {
    double before[29];
    for (int i = 0; i < 29; ++i)
        before[i] = fx.parameterValue(i);
    EXPECT_EQ(2, editor->cursorKind(5, 41));
    EXPECT_FALSE(editor->mouseDown(false, false, 5, 41));
    EXPECT_EQ(-1, editor->capturedIndex());
    int changed = 0;
    for (int i = 0; i < 29; ++i)
        changed += fx.parameterValue(i) != before[i];
    EXPECT_GT(changed, 5) << "Random draws new oscillator and LFO settings";
}

TEST_F(MeterControlsTest, BarFillsFromItsEdgeAndIgnoresTinyChanges) {
    auto& bar = control<KBarFracMeter>(0);
    fx.level = 0.25;
    draw();
    EXPECT_DOUBLE_EQ(0.25, bar.drawnFraction());
    std::vector<std::uint32_t> pixels = gl.readPixels();
    auto at = [&](int x, int y) { return pixels[static_cast<std::size_t>(y) * 300 + x]; };
    // Right to left, width 100 at 0.25: x 75 to 99.
    for (int x : {75, 80, 99})
        EXPECT_EQ(0xff0000ffu, at(x, 5)) << x;
    for (int x : {0, 50, 74, 100})
        EXPECT_EQ(0xff000000u, at(x, 5)) << x;

    fx.level = 0.25005;
    EXPECT_FALSE(bar.needsRedraw());
    fx.level = 0.2502;
    EXPECT_TRUE(bar.needsRedraw());
    fx.level = -3.0;
    EXPECT_EQ(0.0, bar.fraction());
}

TEST_F(MeterControlsTest, WaveDrawsTheNewestEntriesAtTheRightAndRepaintsOnNewEntries) {
    auto& wave = control<KWave>(4);
    // 30 entries of 10 samples each, narrower than the control.
    fx.history.setUp(300.0, 1.0, 30);
    for (int i = 0; i < 10; ++i)
        fx.history.add(i < 5 ? 0.5 : -0.5, 0.25);
    ASSERT_EQ(1u, fx.history.written());
    EXPECT_EQ(0.5, fx.history.entry(0).max1);
    EXPECT_EQ(-0.5, fx.history.entry(0).min1);
    EXPECT_EQ(30, wave.columnCount());

    fx.level = 0.5;
    draw();
    EXPECT_EQ(1u, wave.drawnWritten());
    EXPECT_FALSE(wave.needsRedraw());
    // Height 40: centre 20, scale 19, rows clamped to the control.
    EXPECT_EQ(20, wave.centre());
    EXPECT_EQ(10, wave.rowOf(0.5));
    EXPECT_EQ(30, wave.rowOf(-0.5));
    EXPECT_EQ(0, wave.rowOf(5.0));
    EXPECT_EQ(40, wave.rowOf(-5.0));
    EXPECT_EQ(0, wave.rowOf(std::nan("")));
    EXPECT_EQ(10, wave.levelOffset(&fx.level));
    std::vector<std::uint32_t> pixels = gl.readPixels();
    auto at = [&](int x, int y) { return pixels[static_cast<std::size_t>(y) * 300 + x]; };
    // The newest entry is the rightmost column (a one-pixel line on the pixel edge, so at least
    // half red); columns beyond the history stay empty.
    EXPECT_GE(at(99, 50 + 15) & 0xffu, 0x7fu);
    EXPECT_EQ(0xff000000u, at(60, 50 + 15));

    for (int i = 0; i < 9; ++i)
        fx.history.add(0.0, 0.0);
    EXPECT_FALSE(wave.needsRedraw());
    fx.history.add(0.0, 0.0);
    EXPECT_TRUE(wave.needsRedraw());
    draw();
    fx.level = 0.500005;
    EXPECT_FALSE(wave.needsRedraw());
    fx.level = 0.50002;
    EXPECT_TRUE(wave.needsRedraw());
}

TEST(HistoryTest, RingKeepsTheNewestBlocksAndCountsEveryEntry) {
    KHistory history;
    // 3 entries over 12 samples: 4 samples per entry.
    history.setUp(4.0, 3.0, 3);
    ASSERT_EQ(4, history.samplesPerEntry());
    for (int block = 0; block < 5; ++block)
        for (int i = 0; i < 4; ++i)
            history.add(block + 0.1 * i, -block - 0.1 * i);
    EXPECT_EQ(5u, history.written());
    // Newest first; each block's extremes are its own, not carried over from the last.
    EXPECT_DOUBLE_EQ(4.0, history.entry(0).min1);
    EXPECT_DOUBLE_EQ(4.3, history.entry(0).max1);
    EXPECT_DOUBLE_EQ(-4.3, history.entry(0).min2);
    EXPECT_DOUBLE_EQ(2.0, history.entry(2).min1);
    EXPECT_EQ(0.0, history.entry(3).max1);
    EXPECT_EQ(0.0, history.entry(-1).max1);

    // A span shorter than the ring folds each sample alone; a ring of 0 takes samples harmlessly.
    history.setUp(1.0, 1.0, 3);
    history.add(0.5, 0.5);
    EXPECT_EQ(1u, history.written());
    history.setUp(44100.0, 1.0, 0);
    history.add(0.5, 0.5);
    EXPECT_EQ(0u, history.written());
    EXPECT_EQ(0.0, history.entry(0).max1);
}

TEST_F(MeterControlsTest, ZoomBarPlacesTheHandleAndSetsTheZoomFromTheMouse) {
    auto& zoom = control<KZoomWave>(5);
    // 241 wide: the handle at 1, 101 and 201 for zooms 0.1, 1 and 10.
    EXPECT_EQ(101, zoom.handleX());
    EXPECT_STREQ("1.00x", zoom.zoomText());
    zoom.setZoom(0.1f);
    EXPECT_EQ(1, zoom.handleX());
    zoom.setZoom(10.0f);
    EXPECT_EQ(201, zoom.handleX());
    draw();

    // The bar is the bottom 16 rows of the 56-high control at y 100.
    EXPECT_EQ(1, editor->cursorKind(50, 100 + 39));
    EXPECT_EQ(2, editor->cursorKind(50, 100 + 40));
    EXPECT_FALSE(editor->mouseDown(false, false, 120, 100 + 39));
    EXPECT_TRUE(editor->mouseDown(false, false, 120, 100 + 45));
    EXPECT_FLOAT_EQ(1.0f, zoom.zoom());
    EXPECT_EQ(KZoomWave::kDragging, zoom.dragState());
    editor->mouseMove(false, false, -50, 0);
    EXPECT_FLOAT_EQ(0.1f, zoom.zoom());
    EXPECT_STREQ("0.10x", zoom.zoomText());
    draw();
    // The drag ends with the handle back in its resting colour.
    EXPECT_TRUE(editor->mouseUp(false, false, -50, 0));
    EXPECT_EQ(KZoomWave::kIdle, zoom.dragState());
    EXPECT_TRUE(zoom.needsRedraw());
    draw();

    EXPECT_TRUE(editor->mouseDown(false, true, 230, 100 + 50));
    EXPECT_FLOAT_EQ(1.0f, zoom.zoom());
    EXPECT_EQ(KZoomWave::kHeldAtOne, zoom.dragState());
    editor->mouseMove(false, false, 230, 100 + 50);
    EXPECT_FLOAT_EQ(1.0f, zoom.zoom());
    editor->mouseUp(false, false, 230, 100 + 50);

    // Zoom 2 doubles every value before the scale (area 40 high: centre 20, scale 19).
    zoom.setZoom(2.0f);
    EXPECT_EQ(20 - 19, zoom.rowOf(0.5));
    EXPECT_EQ(40, zoom.rowOf(-0.75));
}

TEST_F(MeterControlsTest, ZoomDragLostWithTheMouseEndsThere) {
    auto& zoom = control<KZoomWave>(5);
    draw();
    ASSERT_TRUE(editor->mouseDown(false, false, 120, 100 + 45));
    ASSERT_EQ(KZoomWave::kDragging, zoom.dragState());
    editor->cancel();
    EXPECT_EQ(KZoomWave::kIdle, zoom.dragState());
    EXPECT_TRUE(zoom.needsRedraw()) << "the handle returns to its resting colour";
    // A move over the bar with no button held is no drag.
    editor->mouseMove(false, false, 10, 100 + 45);
    EXPECT_FLOAT_EQ(1.0f, zoom.zoom());
    EXPECT_EQ(1, editor->cursorKind(50, 100 + 39));
}

} // namespace
} // namespace Korvel

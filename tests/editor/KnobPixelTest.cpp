// A dot knob drawn through the editor on an offscreen GL context: the dot's pixels centre where
// the knob's angle formula puts them, and the highlight disc comes and goes with the press.
#include "editor/KDrawSurface.h"
#include "editor/KEditor.h"
#include "editor/KEditorSkinBuilder.h"
#include "params/OmbrelParameters.h"
#include "tests/editor/EditorTestKit.h"
#include "tests/platform/OffscreenContext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace Korvel {
namespace {

// Red dot of radius 11 on a 40 by 40 knob at (10, 10); the highlight is opaque blue.
const char kSkin[] = "Init 60 60 1\n"
                     "AddResource dot RGBColour 255 0 0\n"
                     "AddResource hl RGBAColour 0 0 255 255\n"
                     "AddControl 1 10 10 40 40 KPotDot Gate hl 11 dot\n";

TEST(KnobPixels, TheDotSitsAtTheValuesAngleAndTheHighlightFollowsThePress) {
    OffscreenContext gl(60, 60);
    ASSERT_TRUE(gl.ok()) << gl.error();
    gl.clear(0xff000000u);
    KDrawSurface surface(gl.nvg(), 60, 60);
    std::unique_ptr<Ombrel> fx(new Ombrel(OmbrelTest::recordingHost));
    KEditorSkinBuilder builder(fx.get());
    std::unique_ptr<KEditor> editor(
        builder.buildEditor(reinterpret_cast<const unsigned char*>(kSkin), std::strlen(kSkin)));
    ASSERT_TRUE(editor);
    OmbrelTest::FakeWindow window(*editor);
    window.open(nullptr);
    editor->attachSurface(surface);

    // Gate has 70 steps: these values are shown exactly.
    for (int step : {0, 10, 35, 56, 70}) {
        double v = step / 70.0;
        fx->setParameter(kGate, static_cast<float>(v));
        editor->draw(surface);
        std::vector<std::uint32_t> pixels = gl.readPixels();
        double sum = 0, sx = 0, sy = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 60; ++x) {
                double red = pixels[y * 60 + x] & 0xffu;
                sum += red;
                sx += red * (x + 0.5);
                sy += red * (y + 0.5);
            }
        ASSERT_GT(sum, 255.0 * 6) << "a dot of radius 2 covers about 12 pixels";
        // 3/4 of a turn from down-left (v 0) clockwise through straight up (v 0.5).
        const double pi = std::acos(-1.0);
        double angle = v * 1.5 * pi + pi / 4;
        EXPECT_NEAR(30 - 11 * std::sin(angle), sx / sum, 0.25) << "v " << v;
        EXPECT_NEAR(30 + 11 * std::cos(angle), sy / sum, 0.25) << "v " << v;
    }

    auto centre = [&] { return gl.readPixels()[30 * 60 + 30]; };
    EXPECT_EQ(0xff000000u, centre());
    ASSERT_TRUE(editor->mouseDown(false, false, 30, 30));
    editor->draw(surface);
    EXPECT_EQ(0xffff0000u, centre()) << "highlight disc while held";
    EXPECT_EQ(0xff000000u, gl.readPixels()[10 * 60 + 10]) << "the disc stays inside the knob";
    editor->mouseUp(false, false, 30, 30);
    editor->draw(surface);
    EXPECT_EQ(0xff000000u, centre()) << "background restored after the release";
    editor->detachSurface(surface);
}

} // namespace
} // namespace Korvel

// The built-in skin drawn through the real editor and drawing surface on an offscreen GL context:
// both pages against reference pictures, page switches that erase what the other page drew, and
// the repaint of one knob step, page 1 at twice the scale, and other editors and reopenings that
// decode no image again. OMBREL_UPDATE_REFERENCES=1 rewrites the references; every run leaves its
// pictures in the build folder.
#include "editor/KDrawSurface.h"
#include "editor/KEditor.h"
#include "editor/KEditorScale.h"
#include "host/KHostEditor.h"
#include "host/Ombrel.h"
#include "params/OmbrelParameters.h"
#include "skin/KDecodedImages.h"
#include "skin/KImageResource.h"
#include "tests/platform/OffscreenContext.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace Korvel {
namespace {

constexpr int kW = 640;
constexpr int kH = 395;
// llvmpipe is deterministic on one machine; allow small anti-aliasing differences elsewhere.
constexpr int kTolerance = 6;

VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct Rect {
    int x, y, w, h;
    bool contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

int channelDifference(std::uint32_t a, std::uint32_t b) {
    int worst = 0;
    for (int i = 0; i < 4; ++i)
        worst = std::max(worst, std::abs(static_cast<int>((a >> (8 * i)) & 0xff) -
                                         static_cast<int>((b >> (8 * i)) & 0xff)));
    return worst;
}

int differingPixels(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    int n = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        n += channelDifference(a[i], b[i]) > kTolerance;
    return n + static_cast<int>(a.size() > b.size() ? a.size() - b.size() : b.size() - a.size());
}

// Compares with the reference picture, or rewrites it when asked; leaves the picture drawn in
// the build folder either way.
void expectReference(const std::vector<std::uint32_t>& pixels, const std::string& name,
                     int width = kW, int height = kH) {
    ASSERT_TRUE(writePng(std::string(OMBREL_OUTPUT_DIR) + "/" + name, width, height, pixels));
    const std::string reference = std::string(OMBREL_REFERENCE_DIR) + "/" + name;
    const char* update = std::getenv("OMBREL_UPDATE_REFERENCES");
    if (update && std::string(update) == "1") {
        ASSERT_TRUE(writePng(reference, width, height, pixels));
        return;
    }
    int w = 0, h = 0;
    std::vector<std::uint32_t> expected;
    ASSERT_TRUE(readPng(reference, w, h, expected)) << reference;
    ASSERT_EQ(width, w);
    ASSERT_EQ(height, h);
    EXPECT_EQ(0, differingPixels(expected, pixels))
        << name << " differs from its reference; see " << OMBREL_OUTPUT_DIR;
}

// One effect with the built-in skin and its editor drawn offscreen.
class EditorPagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gl.ok()) << gl.error();
        ASSERT_TRUE(fx);
        editor = fx->hostEditor() ? fx->hostEditor()->editor() : nullptr;
        ASSERT_TRUE(editor);
        editor->editorOpened();
        editor->attachSurface(surface);
    }
    void TearDown() override {
        if (editor) editor->detachSurface(surface);
    }
    std::vector<std::uint32_t> draw() {
        editor->draw(surface);
        return gl.readPixels();
    }

    OffscreenContext gl{kW, kH};
    KDrawSurface surface{gl.nvg(), kW, kH};
    std::unique_ptr<Ombrel> fx{createEffect(quietHost, "OmbrelSkin.txt")};
    KEditor* editor = nullptr;
};

TEST_F(EditorPagesTest, BothPagesMatchTheirReferencesAndSwitchingErasesTheOtherPage) {
    const auto page1 = draw();
    expectReference(page1, "page1.png");

    editor->setPage(2);
    const auto page2 = draw();
    expectReference(page2, "page2.png");

    // Back again: every page-2 label erased, every page-1 control painted as on a fresh draw.
    editor->setPage(1);
    const auto again = draw();
    writePng(std::string(OMBREL_OUTPUT_DIR) + "/page1-again.png", kW, kH, again);
    EXPECT_EQ(0, differingPixels(page1, again));

    // A second editor that starts on page 2 draws the same picture as the switch did.
    std::unique_ptr<Ombrel> other(createEffect(quietHost, "OmbrelSkin.txt"));
    KEditor* second = other->hostEditor()->editor();
    second->setStartPage(2);
    second->editorOpened();
    gl.clear(0);
    KDrawSurface otherSurface(gl.nvg(), kW, kH);
    second->attachSurface(otherSurface);
    second->draw(otherSurface);
    EXPECT_EQ(0, differingPixels(page2, gl.readPixels()));
    second->detachSurface(otherSurface);
}

TEST_F(EditorPagesTest, AKnobStepRepaintsTheKnobAndItsValueDisplayOnly) {
    const auto before = draw();
    surface.resetCounts();
    fx->setParameter(kMinFreq, fx->getParameter(kMinFreq) + 0.1f);
    const auto after = draw();
    EXPECT_EQ(2u, surface.drawnClipCount());

    // Where the MinFreq knob and its value display sit in the built-in skin.
    const Rect knob{240, 35, 40, 40};
    const Rect value{230, 80, 60, 15};
    int inKnob = 0, inValue = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * kW + x;
            if (channelDifference(before[i], after[i]) <= kTolerance) continue;
            ASSERT_TRUE(knob.contains(x, y) || value.contains(x, y)) << "at " << x << ", " << y;
            (knob.contains(x, y) ? inKnob : inValue)++;
        }
    EXPECT_GT(inKnob, 10) << "the dot moved";
    EXPECT_GT(inValue, 10) << "the value text changed";

    // Nothing changed: nothing is drawn.
    surface.resetCounts();
    editor->draw(surface);
    EXPECT_EQ(0u, surface.frameCount());
}

// At 2x the page is drawn at the screen's resolution (its reference has been looked at). At 1.5x,
// where skin edges fall between screen pixels, a knob erased and painted twice leaves exactly the
// pixels of the first full draw: no seam of half-covered pixels grows round it.
TEST(EditorScaleTest, PageOneAtTwiceTheScaleAndErasesBetweenScreenPixels) {
    for (const double scale : {2.0, 1.5}) {
        SCOPED_TRACE(scale);
        const int w = scaledLength(kW, scale), h = scaledLength(kH, scale);
        OffscreenContext gl{w, h};
        ASSERT_TRUE(gl.ok()) << gl.error();
        KDrawSurface surface{gl.nvg(), kW, kH, scale};
        std::unique_ptr<Ombrel> fx(createEffect(quietHost, "OmbrelSkin.txt"));
        KEditor* editor = fx->hostEditor()->editor();
        editor->editorOpened();
        editor->attachSurface(surface);
        editor->draw(surface);
        const auto first = gl.readPixels();
        if (scale == 2.0) expectReference(first, "page1-2x.png", w, h);

        const float minFreq = fx->getParameter(kMinFreq);
        fx->setParameter(kMinFreq, minFreq + 0.25f);
        editor->draw(surface);
        EXPECT_GT(differingPixels(first, gl.readPixels()), 100) << "the knob turned";
        fx->setParameter(kMinFreq, minFreq);
        editor->draw(surface);
        EXPECT_EQ(0, differingPixels(first, gl.readPixels()));
        editor->detachSurface(surface);
    }
}

TEST_F(EditorPagesTest, ASecondEditorAndAReopeningDecodeNoImageAgain) {
    // Every editor of this process shows the built-in skin: its three PNGs, decoded once.
    EXPECT_EQ(3u, imageDecodeCount());
    std::unique_ptr<Ombrel> other(createEffect(quietHost, "OmbrelSkin.txt"));
    KEditor* second = other->hostEditor()->editor();
    second->editorOpened();
    gl.clear(0);
    KDrawSurface otherSurface(gl.nvg(), kW, kH);
    second->attachSurface(otherSurface);
    second->draw(otherSurface);
    expectReference(gl.readPixels(), "page1.png");
    second->detachSurface(otherSurface);

    // Closed and opened again: new NanoVG images of the same pixels.
    editor->detachSurface(surface);
    int images = 0;
    for (int i = 0; i < editor->resources().size(); ++i) {
        const KResource* r = editor->resources().get(i);
        if (!r->typeIs(KImageResource::classId())) continue;
        EXPECT_EQ(0, static_cast<const KImageResource*>(r)->handle());
        ++images;
    }
    EXPECT_EQ(3, images);
    editor->editorOpened();
    editor->attachSurface(surface);
    gl.clear(0);
    expectReference(draw(), "page1.png");
    EXPECT_EQ(3u, imageDecodeCount());
}

} // namespace
} // namespace Korvel

// Skins drawn through the real editor on an offscreen GL context: images whose frames cannot all
// be drawn give backgrounds of plain black, as controls draw nothing of such images; a full
// repaint erases only where a control painted since the background.
#include "editor/KDrawSurface.h"
#include "editor/KEditor.h"
#include "editor/KEditorSkinBuilder.h"
#include "host/Ombrel.h"
#include "tests/platform/OffscreenContext.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace Korvel {
namespace {

constexpr int kW = 640;
constexpr int kH = 395;
constexpr std::uint32_t kBlack = 0xff000000u;

// The editor of a skin on Ombrel.png (1280 by 395: two frames of 640 by 395), drawn page by page.
struct DrawnSkin {
    explicit DrawnSkin(const std::string& script) : gl(kW, kH), surface(gl.nvg(), kW, kH) {
        KEditorSkinBuilder builder(&fx);
        editor.reset(builder.buildEditor(reinterpret_cast<const unsigned char*>(script.data()),
                                         script.size()));
        if (editor) editor->attachSurface(surface);
    }
    ~DrawnSkin() {
        if (editor) editor->detachSurface(surface);
    }
    // Pixels of the page that are not opaque black, outside the square of side `skip` at
    // (skip, skip).
    int litPixels(int page, int skip = 0) {
        editor->setPage(page);
        editor->draw(surface);
        std::vector<std::uint32_t> pixels = gl.readPixels();
        int lit = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                bool skipped = x >= skip && x < 2 * skip && y >= skip && y < 2 * skip;
                lit += !skipped && pixels[y * kW + x] != kBlack;
            }
        return lit;
    }

    OffscreenContext gl;
    KDrawSurface surface;
    Ombrel fx{nullptr};
    std::unique_ptr<KEditor> editor;
};

TEST(SkinDraw, ABackgroundFrameTheImageDoesNotHoldIsNotDrawn) {
    // Page 3 maps to frame 2, which lies below the image: sampling there stretched the image's
    // edge rows over the whole editor. The image as declared is not usable, so no page shows it.
    const std::string pages = "Init 640 395 3\n"
                              "AddResource img PngResource Ombrel.png 640 395 3\n"
                              "BackgroundMap img\n"
                              "AddResource fits PngResource Ombrel.png 640 395 2\n"
                              "AddControl 1 100 100 100 100 KImg fits\n";
    DrawnSkin overDeclared(pages);
    ASSERT_TRUE(overDeclared.gl.ok()) << overDeclared.gl.error();
    ASSERT_TRUE(overDeclared.editor);
    EXPECT_EQ(overDeclared.litPixels(3), 0);
    EXPECT_EQ(overDeclared.litPixels(1, 100), 0) << "only the control shows";
    EXPECT_GT(overDeclared.litPixels(1), 0);
    EXPECT_EQ(overDeclared.litPixels(2), 0) << "the control's rectangle is restored to black";

    // A frame past the frames an image declares is not drawn as frame 0 either.
    DrawnSkin pastTheLast("Init 640 395 1\n"
                          "AddResource img PngResource Ombrel.png 640 395 2\n"
                          "BackgroundImage 0 img 3\n");
    ASSERT_TRUE(pastTheLast.editor);
    EXPECT_EQ(pastTheLast.litPixels(1), 0);

    // The same image declared with the frames it holds draws on every page.
    DrawnSkin usable("Init 640 395 2\n"
                     "AddResource img PngResource Ombrel.png 640 395 2\n"
                     "BackgroundMap img\n");
    ASSERT_TRUE(usable.editor);
    EXPECT_GT(usable.litPixels(1), kW * kH / 2);
    EXPECT_GT(usable.litPixels(2), kW * kH / 2);
}

TEST(SkinDraw, AFullRepaintErasesOnlyWhereAControlPaintedSinceTheBackground) {
    // "part" shows a corner of the background's page-1 frame wherever it sits; "none" cannot be
    // drawn. Erasing "none" over the right half of "over" must still wipe "over" there.
    const std::string images = "Init 640 395 2\n"
                               "AddResource img PngResource Ombrel.png 640 395 2\n"
                               "AddResource none PngResource Ombrel.png 640 395 3\n"
                               "BackgroundMap img\n";
    const std::string controls = "AddControl 0 100 100 100 100 KImg img\n"  // over
                                 "AddControl 0 150 100 100 100 KImg none\n" // under
                                 "AddControl 1 300 100 50 50 KImg img\n"    // page 1 only
                                 "AddControl 0 400 100 50 50 KImg img\n";   // alone
    DrawnSkin skin(images + controls);
    DrawnSkin plain(images);
    ASSERT_TRUE(skin.gl.ok()) << skin.gl.error();
    ASSERT_TRUE(skin.editor && plain.editor);
    skin.litPixels(1);
    skin.surface.resetCounts();
    skin.litPixels(2);
    const std::vector<std::uint32_t> drawn = skin.gl.readPixels();
    // The background (2), two paints, and the one erase over a paint (2).
    EXPECT_EQ(skin.surface.frameCount(), 6u);

    plain.litPixels(2);
    const std::vector<std::uint32_t> background = plain.gl.readPixels();
    int overPaint = 0, offBackground = 0;
    for (int y = 100; y < 200; ++y)
        for (int x = 100; x < 250; ++x) {
            const bool differs = drawn[y * kW + x] != background[y * kW + x];
            (x < 150 ? overPaint : offBackground) += differs;
        }
    EXPECT_GT(overPaint, 2500) << "the left half of the control over the other shows its image";
    EXPECT_EQ(offBackground, 0) << "the erase restored the background over the earlier paint";
    int hidden = 0;
    for (int y = 100; y < 150; ++y)
        for (int x = 300; x < 350; ++x)
            hidden += drawn[y * kW + x] != background[y * kW + x];
    EXPECT_EQ(hidden, 0) << "the page-1 control is gone";
}

} // namespace
} // namespace Korvel

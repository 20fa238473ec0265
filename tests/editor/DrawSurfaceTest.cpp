// The drawing surface on a real GL context: clipping, scissoring, the text line and images, read
// back from the framebuffer.
#include "editor/KDrawSurface.h"
#include "platform/KNanoVgGl.h"
#include "tests/platform/OffscreenContext.h"

#include "core/KNamedFiles.h"
#include "skin/KFontResource.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace Korvel {
namespace {

constexpr std::uint32_t kBlack = 0xff000000u;
constexpr std::uint32_t kRed = 0xff0000ffu;
constexpr std::uint32_t kGreen = 0xff00ff00u;
constexpr std::uint32_t kWhite = 0xffffffffu;

class DrawSurfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gl.ok()) << gl.error();
        gl.clear(kBlack);
    }
    std::uint32_t at(const std::vector<std::uint32_t>& pixels, int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * gl.width() + x];
    }

    OffscreenContext gl{64, 48};
    KDrawSurface surface{gl.nvg(), 64, 48};
};

int channelDifference(std::uint32_t a, std::uint32_t b) {
    int worst = 0;
    for (int i = 0; i < 4; ++i)
        worst = std::max(worst, std::abs(static_cast<int>((a >> (8 * i)) & 0xff) -
                                         static_cast<int>((b >> (8 * i)) & 0xff)));
    return worst;
}

TEST_F(DrawSurfaceTest, ClipIsCutAtTheEdgesAndIsTheOriginOfEveryCoordinate) {
    surface.setClip(40, 30, 100, 100);
    EXPECT_EQ(40, surface.clipX());
    EXPECT_EQ(30, surface.clipY());
    EXPECT_EQ(24, surface.clipWidth());
    EXPECT_EQ(18, surface.clipHeight());
    // The RGB fill ignores the alpha byte: it is opaque even with alpha 0.
    surface.fillRectRGB(-50, -50, 200, 200, kRed & 0x00ffffffu);

    // A negative origin becomes 0 without shortening the clip.
    surface.setClip(-5, -7, 10, 12);
    EXPECT_EQ(0, surface.clipX());
    EXPECT_EQ(0, surface.clipY());
    EXPECT_EQ(10, surface.clipWidth());
    EXPECT_EQ(12, surface.clipHeight());
    surface.fillRectRGBA(2, 3, 100, 100, kGreen);

    const auto pixels = gl.readPixels();
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            std::uint32_t expected = kBlack;
            if (x >= 40 && y >= 30)
                expected = kRed;
            else if (x >= 2 && x < 10 && y >= 3 && y < 12)
                expected = kGreen;
            ASSERT_EQ(expected, at(pixels, x, y)) << "at " << x << ", " << y;
        }
}

// Scissoring happens in NanoVG's fragment shader, so a scissor at the surface's edges looks the
// same as none; what shows is what the last draw gave the shader: the scissor half-extent and
// scale are (1, 1, 1, 1) exactly when no scissor was set (frag[8] of NanoVG's GL2 uniforms).
std::vector<float> lastScissorUniform() {
    GLuint program = 0;
    for (GLuint id = 1; id < 256 && !program; ++id)
        if (glIsProgram(id)) program = id;
    std::vector<float> values(4, -1.0f);
    const GLint location = glGetUniformLocation(program, "frag[8]");
    if (program && location >= 0) glGetUniformfv(program, location, values.data());
    return values;
}

TEST_F(DrawSurfaceTest, ScissorOnlyWhenTheClipIsSmallerThanTheSurface) {
    surface.setClip(0, 0, 64, 48);
    surface.fillCircle(10, 10, 5, kWhite);
    EXPECT_EQ((std::vector<float>{1, 1, 1, 1}), lastScissorUniform());

    surface.setClip(0, 0, 64, 47);
    surface.fillCircle(10, 10, 5, kWhite);
    EXPECT_EQ((std::vector<float>{32.0f, 23.5f, 1, 1}), lastScissorUniform());

    // A clip reaching beyond the surface is cut back to it: no scissor either.
    surface.setClip(0, 0, 100, 100);
    surface.hLine(0, 20, 30, kWhite);
    EXPECT_EQ((std::vector<float>{1, 1, 1, 1}), lastScissorUniform());
}

TEST_F(DrawSurfaceTest, FailedImageDrawsNothingAndAnImageCopiesItsSourceRectangle) {
    surface.fillRectRGB(0, 0, 64, 48, 0x00336699u);
    surface.fillCircle(30, 20, 12, kRed);
    const auto before = gl.readPixels();
    surface.image(0, 0, 0, 16, 16, 0, 0);
    surface.image(4711, 0, 0, 16, 16, 0, 0);
    EXPECT_EQ(before, gl.readPixels());

    // 4 x 2 pixels of distinct colours; columns 2 and 3 go to (5, 6) in a clip at (10, 10).
    const std::vector<std::uint32_t> texels = {0xff0000ffu, 0xff00ff00u, 0xffff0000u, 0xff00ffffu,
                                               0xffff00ffu, 0xffffff00u, 0xff808080u, 0xff204060u};
    const int handle = nvgCreateImageRGBA(gl.nvg(), 4, 2, 0,
                                          reinterpret_cast<const unsigned char*>(texels.data()));
    ASSERT_GT(handle, 0);
    surface.setClip(10, 10, 20, 20);
    surface.image(handle, 2, 0, 2, 2, 5, 6);
    const auto after = gl.readPixels();
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            std::uint32_t expected = at(before, x, y);
            if (x >= 15 && x < 17 && y >= 16 && y < 18)
                expected = texels[static_cast<std::size_t>(y - 16) * 4 + (x - 15 + 2)];
            ASSERT_LE(channelDifference(expected, at(after, x, y)), 1) << "at " << x << ", " << y;
        }
    nvgDeleteImage(gl.nvg(), handle);
}

// Renders text with NanoVG directly at a given point, as the surface's text primitive should.
void drawRawText(NVGcontext* nvg, const KFontResource& font, float x, float y, int align,
                 const char* text) {
    nvgBeginFrame(nvg, 64, 48, 1);
    nvgBeginPath(nvg);
    nvgFontBlur(nvg, 0);
    nvgFontSize(nvg, static_cast<float>(font.size()));
    nvgFontFace(nvg, font.face());
    nvgTextAlign(nvg, align);
    nvgFillColor(nvg, nvgRGBA(255, 255, 255, 255));
    nvgText(nvg, x, y, text, nullptr);
    nvgEndFrame(nvg);
}

TEST_F(DrawSurfaceTest, TextSitsOnTheLineAtFiftyFivePercentOfItsBox) {
    KFileData file;
    ASSERT_TRUE(loadNamedFile("KSans.ttf", file));
    ASSERT_GE(nvgCreateFontMem(gl.nvg(), "KSans", const_cast<unsigned char*>(file.bytes),
                               static_cast<int>(file.size), 0),
              0);
    const KFontResource font(12.0, kWhite, "KSans");

    // Each case: the surface's text, then NanoVG's own at the expected point; pixels must match.
    struct Case {
        int clipX, clipY, x, y, w, h, alignment;
        float rawX, rawY;
        int rawAlign;
    };
    const Case cases[] = {
        // Centre, box of height 15 at y 0: the line is round(0 + 8.25 + 0.5) = 9, not 8.
        {0, 0, 0, 0, 64, 15, KDrawSurface::kAlignCentre, 32, 9,
         NVG_ALIGN_CENTER | NVG_ALIGN_MIDDLE},
        // The clip origin moves the line: round(2 + 8.8 + 20.5) = 31; x = round(10 + 3) = 13.
        {10, 20, 3, 2, 40, 16, KDrawSurface::kAlignLeft, 13, 31, NVG_ALIGN_LEFT | NVG_ALIGN_MIDDLE},
        // Right: the anchor is x + w = 38, so x = 43; y = round(0 + 6.05 + 7.5) = 14.
        {5, 7, 1, 0, 37, 11, KDrawSurface::kAlignRight, 43, 14, NVG_ALIGN_RIGHT | NVG_ALIGN_MIDDLE},
    };
    for (const Case& c : cases) {
        gl.clear(kBlack);
        surface.setClip(c.clipX, c.clipY, 64, 48);
        surface.text("Hg8", c.x, c.y, c.w, c.h, &font, c.alignment);
        const auto drawn = gl.readPixels();
        gl.clear(kBlack);
        drawRawText(gl.nvg(), font, c.rawX, c.rawY, c.rawAlign, "Hg8");
        const auto expected = gl.readPixels();
        EXPECT_NE(std::vector<std::uint32_t>(drawn.size(), kBlack), drawn);
        EXPECT_EQ(expected, drawn) << "clip " << c.clipX << ", " << c.clipY;
        // One pixel higher is a different picture: the comparison sees the line.
        gl.clear(kBlack);
        drawRawText(gl.nvg(), font, c.rawX, c.rawY - 1, c.rawAlign, "Hg8");
        EXPECT_NE(gl.readPixels(), drawn);
    }

    // A face that is not installed and a null font draw nothing.
    gl.clear(kBlack);
    surface.resetClip();
    const KFontResource missing(12.0, kWhite, "NoSuchFace");
    surface.text("Hg8", 0, 0, 64, 15, &missing, 1);
    surface.text("Hg8", 0, 0, 64, 15, nullptr, 1);
    EXPECT_EQ(std::vector<std::uint32_t>(64 * 48, kBlack), gl.readPixels());
}

} // namespace
} // namespace Korvel

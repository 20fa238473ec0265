// libFuzzer target: arbitrary bytes as a skin script, drawn for real. NanoVG on an offscreen GL
// context (EGL on Mesa's surfaceless platform, no window system) decodes the skin's images,
// installs its faces and rasterises its text; the editor draws its pages, with a control held
// and released, on an effect that publishes display sources so meters and waves are built too.
#include "core/KHistory.h"
#include "editor/KDrawSurface.h"
#include "editor/KEditor.h"
#include "editor/KEditorSkinBuilder.h"
#include "host/Ombrel.h"
#include "tests/platform/OffscreenContext.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using namespace Korvel;

// Sources named "Level", "Count" and "Wave", with values that light the meters up.
class SourceEffect : public Ombrel {
public:
    SourceEffect() : Ombrel(nullptr) {
        addDisplaySource("Level", &level);
        addDisplaySource("Count", &count);
        addDisplaySource("Wave", &history);
        history.setUp(44100, 1, 256);
        for (int i = 0; i < 4000; ++i)
            history.add(0.8 * std::sin(0.01 * i), -0.5 * std::cos(0.013 * i));
    }
    KDoubleSource level{0.7};
    KIntSource count{3};
    KHistory history;
};

// The framebuffer is the editor's size up to this side: a skin may declare any size, and a
// window of millions of pixels is the window's business, not the drawing code's.
constexpr int kMaxSide = 1024;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One effect for every input: the lookups need its parameters, commands and sources.
    static SourceEffect* effect = new SourceEffect;
    KEditorSkinBuilder builder(effect);
    std::unique_ptr<KEditor> editor(builder.buildEditor(data, size));
    if (!editor) return 0;
    const int w = std::clamp(editor->width(), 1, kMaxSide);
    const int h = std::clamp(editor->height(), 1, kMaxSide);
    // A NanoVG context of its own for each input, as each opening of the window has: faces
    // installed in a context stay until it goes, and each input starts as a fresh window.
    OffscreenContext gl(w, h);
    if (!gl.ok()) {
        std::fprintf(stderr, "no offscreen GL context: %s\n", gl.error().c_str());
        std::abort();
    }
    KDrawSurface surface(gl.nvg(), w, h);
    editor->attachSurface(surface);
    editor->editorOpened();
    editor->draw(surface);
    const int x = size > 0 ? data[0] * 3 : 0, y = size > 1 ? data[1] * 2 : 0;
    if (editor->mouseDown(false, false, x, y)) {
        editor->mouseMove(true, false, x + 7, y - 9);
        editor->draw(surface);
        editor->mouseUp(false, false, x + 7, y - 9);
    }
    editor->draw(surface);
    // Away from the start page and back: each switch erases what the other page drew.
    const int start = editor->currentPage();
    editor->setPage(start > 1 ? 1 : 2);
    editor->draw(surface);
    editor->setPage(start);
    editor->draw(surface);
    editor->detachSurface(surface);
    return 0;
}

// Opens the built-in skin's editor on Mesa's software renderer through the drawing tests'
// offscreen GL context (no X server), for counting instructions:
//   editor_driver [--instances M] [--opens N]
//   editor_driver --repaint
// Each of M effects opens its editor N times, each time on a new NanoVG context as the window
// makes one: start page, attach, draw, detach; bench/callgrind.sh counts the image decoder's
// instructions in that. --repaint opens one editor, repaints it in full and prints that repaint's
// NanoVG frames and controls drawn.
#include "editor/KDrawSurface.h"
#include "editor/KEditor.h"
#include "host/KHostEditor.h"
#include "host/Ombrel.h"
#include "platform/KNanoVgGl.h"
#include "tests/platform/OffscreenContext.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace Korvel;

namespace {

constexpr int kW = 640;
constexpr int kH = 395;

VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

KEditor* editorOf(Ombrel& fx) {
    return fx.hostEditor() ? fx.hostEditor()->editor() : nullptr;
}

bool open(KEditor& editor) {
    OffscreenContext gl(kW, kH);
    if (!gl.ok()) {
        std::fprintf(stderr, "no offscreen context: %s\n", gl.error().c_str());
        return false;
    }
    KDrawSurface surface(gl.nvg(), kW, kH);
    editor.editorOpened();
    editor.attachSurface(surface);
    editor.draw(surface);
    glFinish();
    editor.detachSurface(surface);
    return true;
}

int repaint() {
    std::unique_ptr<Ombrel> fx(createEffect(quietHost, "OmbrelSkin.txt"));
    KEditor* editor = editorOf(*fx);
    OffscreenContext gl(kW, kH);
    if (!editor || !gl.ok()) return 1;
    KDrawSurface surface(gl.nvg(), kW, kH);
    editor->editorOpened();
    editor->attachSurface(surface);
    editor->draw(surface);
    surface.resetCounts();
    editor->redrawAll();
    editor->draw(surface);
    glFinish();
    std::printf("full repaint: %llu NanoVG frames, %llu controls drawn\n",
                static_cast<unsigned long long>(surface.frameCount()),
                static_cast<unsigned long long>(surface.drawnClipCount()));
    editor->detachSurface(surface);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && !std::strcmp(argv[1], "--repaint")) return repaint();
    int instances = 1, opens = 1;
    bool ok = argc % 2 == 1;
    for (int i = 1; ok && i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--instances"))
            instances = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--opens"))
            opens = std::atoi(argv[i + 1]);
        else
            ok = false;
    }
    if (!ok || instances < 0 || opens < 0) {
        std::fprintf(stderr, "usage: %s [--instances M] [--opens N] | --repaint\n", argv[0]);
        return 2;
    }
    for (int i = 0; i < instances; ++i) {
        std::unique_ptr<Ombrel> fx(createEffect(quietHost, "OmbrelSkin.txt"));
        KEditor* editor = editorOf(*fx);
        if (!editor) return 1;
        for (int k = 0; k < opens; ++k)
            if (!open(*editor)) return 1;
    }
    return 0;
}

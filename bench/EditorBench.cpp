// The editor on llvmpipe through an offscreen GL context: building it from the built-in skin,
// attaching a drawing surface (images and font), a full page-1 paint and a knob-step paint, each
// waited for with glFinish. Counters: the controls painted (clips drawn into) and the NanoVG
// frames per paint, and the heap the editor holds without GPU objects.
#include "core/KNamedFiles.h"
#include "editor/KDrawSurface.h"
#include "editor/KEditor.h"
#include "editor/KEditorSkinBuilder.h"
#include "host/Ombrel.h"
#include "params/OmbrelParameters.h"
#include "platform/KNanoVgGl.h"
#include "tests/platform/OffscreenContext.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <memory>

using namespace Korvel;

namespace {

VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

KEditor* buildEditor(Ombrel& fx) {
    KFileData skin;
    if (!loadNamedFile("OmbrelSkin.txt", skin)) return nullptr;
    KEditorSkinBuilder builder(&fx);
    return builder.buildEditor(skin.bytes, skin.size);
}

void buildFromSkin(benchmark::State& state) {
    Ombrel fx(quietHost);
    double heap = 0;
    double controls = 0;
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        std::unique_ptr<KEditor> editor(buildEditor(fx));
        heap = static_cast<double>(mallinfo2().uordblks - before);
        if (!editor) {
            state.SkipWithError("the built-in skin built no editor");
            return;
        }
        state.PauseTiming();
        controls = editor->controls().size();
        editor.reset();
        state.ResumeTiming();
    }
    state.counters["editor_bytes"] = heap;
    state.counters["controls"] = controls;
}

// A fresh NanoVG context per attach, as each opening of the window has.
void attachSurface(benchmark::State& state) {
    Ombrel fx(quietHost);
    std::unique_ptr<KEditor> editor(buildEditor(fx));
    for (auto _ : state) {
        state.PauseTiming();
        auto gl = std::make_unique<OffscreenContext>(640, 395);
        if (!gl->ok() || !editor) {
            state.SkipWithError("no offscreen context or no editor");
            return;
        }
        KDrawSurface surface(gl->nvg(), 640, 395);
        state.ResumeTiming();
        editor->attachSurface(surface);
        glFinish();
        state.PauseTiming();
        editor->detachSurface(surface);
        gl.reset();
        state.ResumeTiming();
    }
}

// An editor on page 1, attached and drawn once.
struct DrawnEditor {
    Ombrel fx{quietHost};
    std::unique_ptr<KEditor> editor{buildEditor(fx)};
    OffscreenContext gl{640, 395};
    KDrawSurface surface{gl.nvg(), 640, 395};

    bool ready() {
        if (!editor || !gl.ok()) return false;
        editor->editorOpened();
        editor->attachSurface(surface);
        editor->draw(surface);
        glFinish();
        return true;
    }
    ~DrawnEditor() {
        if (editor) editor->detachSurface(surface);
    }
};

void reportCounts(benchmark::State& state, const KDrawSurface& surface) {
    const double paints = static_cast<double>(state.iterations());
    state.counters["controls_per_paint"] = static_cast<double>(surface.drawnClipCount()) / paints;
    state.counters["frames_per_paint"] = static_cast<double>(surface.frameCount()) / paints;
}

void fullPageOnePaint(benchmark::State& state) {
    DrawnEditor e;
    if (!e.ready()) {
        state.SkipWithError("no offscreen context or no editor");
        return;
    }
    e.surface.resetCounts();
    for (auto _ : state) {
        e.editor->redrawAll();
        e.editor->draw(e.surface);
        glFinish();
    }
    reportCounts(state, e.surface);
}

void knobStepPaint(benchmark::State& state) {
    DrawnEditor e;
    if (!e.ready()) {
        state.SkipWithError("no offscreen context or no editor");
        return;
    }
    e.surface.resetCounts();
    float v = 0.3f;
    for (auto _ : state) {
        v = v < 0.5f ? 0.7f : 0.3f;
        e.fx.setParameter(kMinFreq, v);
        e.editor->draw(e.surface);
        glFinish();
    }
    reportCounts(state, e.surface);
}

void pageSwitchPaint(benchmark::State& state) {
    DrawnEditor e;
    if (!e.ready()) {
        state.SkipWithError("no offscreen context or no editor");
        return;
    }
    e.surface.resetCounts();
    for (auto _ : state) {
        e.editor->setPage(e.editor->currentPage() == 1 ? 2 : 1);
        e.editor->draw(e.surface);
        glFinish();
    }
    reportCounts(state, e.surface);
}

} // namespace

BENCHMARK(buildFromSkin)->Unit(benchmark::kMicrosecond);
BENCHMARK(attachSurface)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(fullPageOnePaint)->Unit(benchmark::kMillisecond);
BENCHMARK(knobStepPaint)->Unit(benchmark::kMillisecond);
BENCHMARK(pageSwitchPaint)->Unit(benchmark::kMillisecond);

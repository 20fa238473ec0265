// libFuzzer target: arbitrary bytes as a skin script. The build must not crash, leak or grow
// without bound, and whatever editor it yields must survive a draw and a click anywhere.
#include "editor/KDrawSurface.h"
#include "editor/KEditor.h"
#include "editor/KEditorSkinBuilder.h"
#include "host/Ombrel.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One effect for every input: the lookups need its parameters and commands.
    static Korvel::Ombrel* effect = new Korvel::Ombrel(nullptr);
    Korvel::KEditorSkinBuilder builder(effect);
    Korvel::KEditor* editor = builder.buildEditor(data, size);
    if (!editor) return 0;
    // Without a NanoVG context the surface draws nothing but the editor's logic all runs.
    Korvel::KDrawSurface surface(nullptr, 640, 395);
    editor->attachSurface(surface);
    editor->draw(surface);
    int x = size > 0 ? data[0] * 3 : 0, y = size > 1 ? data[1] * 2 : 0;
    if (editor->mouseDown(false, false, x, y)) {
        editor->mouseMove(true, false, x + 7, y - 9);
        editor->mouseUp(false, false, x + 7, y - 9);
    }
    editor->setPage(2);
    editor->draw(surface);
    editor->detachSurface(surface);
    delete editor;
    return 0;
}

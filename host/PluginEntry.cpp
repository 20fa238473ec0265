// The library's exported entry: hosts look for "VSTPluginMain", older ones for "main".
#include "host/Ombrel.h"
#ifdef OMBREL_EDITOR_WINDOW
#include "platform/KEditorWindowFactory.h"
#define OMBREL_WINDOWS &Korvel::createEditorWindow
#else
#define OMBREL_WINDOWS nullptr
#endif

// [ui] Nothing may leave an extern "C" function: an escaping exception ends the host.
extern "C" OMBREL_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
    try {
        if (!audioMaster || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0) == 0)
            return nullptr;
        Korvel::Ombrel* effect =
            Korvel::createEffect(audioMaster, "OmbrelSkin.txt", OMBREL_WINDOWS);
        return effect ? effect->getAeffect() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

// C++ reserves the name main, so the second name is bound by assembler label to the same code.
extern "C" OMBREL_EXPORT AEffect* vstMainAlias(audioMasterCallback audioMaster) __asm__("main")
    __attribute__((alias("VSTPluginMain")));

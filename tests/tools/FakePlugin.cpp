// Stand-in plug-ins for the command-line host's tests, written straight against the effect record.
// FAKE_PROBE builds a small working effect that shows what the host feeds it; the others fail in
// the ways a broken plug-in can: FAKE_CRASH is the probe crashing in its first block, FAKE_NAN the
// probe writing NaN and infinity from its third block on, FAKE_NO_CHUNK the probe announcing a
// state chunk it never gives, and FAKE_EDITOR the probe with an X11 editor that misbehaves as
// $FAKE_EDITOR says (see EditorView).
#include "host/VstInterface.h"

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(FAKE_EDITOR)
#include <X11/Xlib.h>
#endif

#if defined(FAKE_PROBE) || defined(FAKE_BAD_COUNTS) || defined(FAKE_CRASH) || defined(FAKE_NAN) || \
    defined(FAKE_NO_CHUNK) || defined(FAKE_EDITOR)
namespace {

#if defined(FAKE_EDITOR)
// A red editor with a white 10-pixel square in its bottom right corner, on its own connection to
// the host's display. $FAKE_EDITOR picks how it tells its size and what else it does:
//   (unset)  300x200, answered before and after opening
//   late     2000x1500, answered only once open (larger than a usual screen)
//   ask      929x788, never answered: asked for with audioMasterSizeWindow while opening
//   exit     calls exit(3) while opening
//   crash    crashes while opening
// $FAKE_EDITOR_MARK names a file made once the editor is open.
struct EditorView {
    Display* display = nullptr;
    Window window = 0;
    ERect rect{};
    static std::string mode() {
        const char* how = std::getenv("FAKE_EDITOR");
        return how ? how : "";
    }
    bool open(audioMasterCallback host, AEffect* e, Window parent) {
        const std::string how = mode();
        if (how == "exit") std::exit(3);
        if (how == "crash") std::raise(SIGSEGV);
        int w = 300, h = 200;
        if (how == "late") w = 2000, h = 1500;
        if (how == "ask") {
            w = 929, h = 788;
            host(e, audioMasterSizeWindow, w, h, nullptr, 0);
        }
        display = XOpenDisplay(nullptr);
        if (!display) return false;
        const int screen = DefaultScreen(display);
        window = XCreateSimpleWindow(display, parent, 0, 0, static_cast<unsigned>(w),
                                     static_cast<unsigned>(h), 0, 0, 0xff0000);
        Window corner = XCreateSimpleWindow(display, window, w - 10, h - 10, 10, 10, 0, 0,
                                            WhitePixel(display, screen));
        XMapWindow(display, corner);
        XMapWindow(display, window);
        XSync(display, False);
        if (how != "ask") rect = ERect{0, 0, static_cast<VstInt16>(h), static_cast<VstInt16>(w)};
        if (const char* mark = std::getenv("FAKE_EDITOR_MARK"))
            if (FILE* f = std::fopen(mark, "w")) std::fclose(f);
        return true;
    }
    ERect* size() {
        if (mode().empty()) rect = ERect{0, 0, 200, 300};
        return rect.right > 0 ? &rect : nullptr;
    }
    void close() {
        if (!display) return;
        XDestroyWindow(display, window);
        XCloseDisplay(display);
        display = nullptr;
    }
};
#endif

// "Gain" scales channel 0 by twice its normalised value; channel 1 reports the transport:
// frame 0 of each block the song position in quarters, frame 1 the tempo / 1000, the rest 0.5
// while playing and 0 when stopped.
struct Probe {
    AEffect effect{};
    audioMasterCallback host = nullptr;
    float params[2][2] = {{0.5f, 0.0f}, {0.5f, 0.0f}}; // per program
    int program = 0;
    int blocks = 0;
    float* current() { return params[program]; }
#if defined(FAKE_EDITOR)
    EditorView editor;
#endif
};

Probe* probeOf(AEffect* e) {
    return static_cast<Probe*>(e->object);
}

VstIntPtr VSTCALLBACK dispatch(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                               void* ptr, float) {
    Probe* p = probeOf(e);
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case effClose:
        delete p;
        return 1;
#if defined(FAKE_NO_CHUNK)
    case effGetChunk:
        *static_cast<void**>(ptr) = p->params;
        return -1;
#endif
#if defined(FAKE_EDITOR)
    case effEditGetRect:
        *static_cast<ERect**>(ptr) = p->editor.size();
        return *static_cast<ERect**>(ptr) != nullptr;
    case effEditOpen:
        return p->editor.open(p->host, e, reinterpret_cast<Window>(ptr));
    case effEditClose:
        p->editor.close();
        return 1;
#endif
    case effGetProgramNameIndexed:
        std::snprintf(text, kVstMaxProgNameLen + 1, "Probe %c", 'A' + index);
        return 1;
    case effGetParamName:
        std::snprintf(text, kVstMaxParamStrLen + 1, "%s", index == 0 ? "Gain" : "Mark");
        return 0;
    case effGetParamDisplay:
        std::snprintf(text, kVstMaxParamStrLen + 1, "%.3f", p->current()[index] * 2.0);
        return 0;
    case effString2Parameter: {
        char* end = nullptr;
        double v = text ? std::strtod(text, &end) : 0;
        if (!text || end == text || *end) return 0;
        p->current()[index] = static_cast<float>(v / 2.0);
        return 1;
    }
    case effGetProgram:
        return p->program;
    case effSetProgram:
        if (value >= 0 && value < 2) p->program = static_cast<int>(value);
        return 0;
    case effGetEffectName:
        std::snprintf(text, kVstMaxEffectNameLen + 1, "Probe");
        return 1;
    case effGetVendorString:
        std::snprintf(text, kVstMaxVendorStrLen + 1, "Test Bench");
        return 1;
    case effCanDo:
        return -1;
    default:
        return 0;
    }
}

void VSTCALLBACK setParameter(AEffect* e, VstInt32 index, float v) {
    probeOf(e)->current()[index] = v;
}
float VSTCALLBACK getParameter(AEffect* e, VstInt32 index) {
    return probeOf(e)->current()[index];
}

void VSTCALLBACK process(AEffect* e, float** in, float** out, VstInt32 frames) {
#if defined(FAKE_CRASH)
    std::raise(SIGSEGV);
#endif
    Probe* p = probeOf(e);
    auto* time = reinterpret_cast<VstTimeInfo*>(
        p->host(e, audioMasterGetTime, 0, kVstPpqPosValid | kVstTempoValid, nullptr, 0));
    bool playing = time && (time->flags & kVstTransportPlaying);
    for (VstInt32 i = 0; i < frames; ++i) {
        out[0][i] = in[0][i] * p->current()[0] * 2.0f;
        out[1][i] = playing ? 0.5f : 0.0f;
    }
    if (time && frames > 1) {
        out[1][0] = static_cast<float>(time->ppqPos);
        out[1][1] = static_cast<float>(time->tempo / 1000.0);
    }
#if defined(FAKE_NAN)
    if (++p->blocks >= 3 && frames > 8) {
        out[0][7] = std::nanf("");
        out[0][8] = INFINITY;
    }
#endif
}

} // namespace
#endif

#if defined(FAKE_NO_ENTRY)
extern "C" __attribute__((visibility("default"))) int notAnEntry() {
    return 0;
}
#else
extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host) {
#if defined(FAKE_NULL)
    host(nullptr, audioMasterVersion, 0, 0, nullptr, 0);
    return nullptr;
#else
#if defined(FAKE_BAD_COUNTS)
    // Never closed by a host that refuses it.
    static Probe broken;
    Probe* p = &broken;
#else
    Probe* p = new Probe;
#endif
    p->host = host;
    AEffect& e = p->effect;
    e.magic = kEffectMagic;
    e.dispatcher = dispatch;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.processReplacing = process;
    e.numPrograms = 2;
    e.numParams = 2;
    e.numInputs = 2;
    e.numOutputs = 2;
    e.flags = effFlagsCanReplacing;
#if defined(FAKE_NO_CHUNK)
    e.flags |= effFlagsProgramChunks;
#endif
#if defined(FAKE_EDITOR)
    e.flags |= effFlagsHasEditor;
#endif
    e.object = p;
    e.uniqueID = vstFourCC('P', 'r', 'b', 'e');
    e.version = 7;
#if defined(FAKE_BAD_COUNTS)
    e.numInputs = -3;
#endif
    return &e;
#endif
}
#endif

// Stand-in plug-ins for the command-line host's tests, written straight against the effect record.
// FAKE_PROBE builds a small working effect that shows what the host feeds it; the others fail in
// the ways a broken plug-in can (FAKE_CRASH is the probe crashing in its first block).
#include "host/VstInterface.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(FAKE_PROBE) || defined(FAKE_BAD_COUNTS) || defined(FAKE_CRASH)
namespace {

// "Gain" scales channel 0 by twice its normalised value; channel 1 reports the transport:
// frame 0 of each block the song position in quarters, frame 1 the tempo / 1000, the rest 0.5
// while playing and 0 when stopped.
struct Probe {
    AEffect effect{};
    audioMasterCallback host = nullptr;
    float params[2][2] = {{0.5f, 0.0f}, {0.5f, 0.0f}}; // per program
    int program = 0;
    float* current() { return params[program]; }
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

// info: what a host learns about a plug-in before it uses it.
#include "tools/ombrel-host/Command.h"
#include "tools/ombrel-host/PluginSetup.h"
#include "tools/ombrel-host/ToolError.h"

#include <cstdio>

namespace OmbrelHost {

namespace {

// The capability words hosts ask effects about.
const char* const kCanDoWords[] = {"sendVstEvents",
                                   "sendVstMidiEvent",
                                   "sendVstTimeInfo",
                                   "receiveVstEvents",
                                   "receiveVstMidiEvent",
                                   "receiveVstTimeInfo",
                                   "offline",
                                   "plugAsChannelInsert",
                                   "plugAsSend",
                                   "mixDryWet",
                                   "noRealTime",
                                   "multipass",
                                   "metapass",
                                   "1in1out",
                                   "1in2out",
                                   "2in1out",
                                   "2in2out",
                                   "2in4out",
                                   "4in2out",
                                   "4in4out",
                                   "4in8out",
                                   "8in4out",
                                   "8in8out",
                                   "midiProgramNames",
                                   "conformsToWindowRules",
                                   "bypass"};

const char* categoryName(VstIntPtr c) {
    static const char* const names[] = {"unknown",         "effect",          "instrument",
                                        "analysis",        "mastering",       "spatialiser",
                                        "room effect",     "surround effect", "restoration",
                                        "offline process", "shell",           "generator"};
    return c >= 0 && c < kPlugCategMaxCount ? names[c] : "unknown";
}

std::string flagNames(VstInt32 flags) {
    static const struct {
        VstInt32 bit;
        const char* name;
    } known[] = {{effFlagsHasEditor, "editor"},
                 {effFlagsCanReplacing, "replacing"},
                 {effFlagsProgramChunks, "program chunks"},
                 {effFlagsIsSynth, "synth"},
                 {effFlagsNoSoundInStop, "no sound in stop"},
                 {effFlagsCanDoubleReplacing, "double replacing"}};
    std::string s;
    for (const auto& k : known)
        if (flags & k.bit) s += (s.empty() ? "" : ", ") + std::string(k.name);
    return s.empty() ? "none" : s;
}

int run(const std::vector<std::string>& argv) {
    Args args(argv, {{"plugin", true}, {"rate", true}});
    if (args.positional().size() > 1) throw ToolError(kExitUsage, "info takes at most one plug-in");
    double rate =
        args.has("rate") ? parseDouble(args.value("rate"), "--rate", 1000, 768000) : 44100;
    std::string path = pluginPath(args.positional().empty() ? "" : args.positional()[0], args);
    PluginHost host;
    loadPlugin(host, path, rate, 512);
    AEffect* e = host.effect();

    std::printf("Plug-in:        %s\n", path.c_str());
    std::printf("Effect:         %s\n", host.effectName().c_str());
    std::printf("Vendor:         %s\n", host.vendorName().c_str());
    std::printf("Product:        %s\n", host.productName().c_str());
    std::printf("Vendor version: %ld\n", static_cast<long>(host.vendorVersion()));
    std::printf("Effect version: %d\n", e->version);
    std::printf("VST version:    %ld\n", static_cast<long>(host.vstVersion()));
    std::printf("Unique id:      %s (0x%08X)\n", fourCC(e->uniqueID).c_str(),
                static_cast<unsigned>(e->uniqueID));
    VstIntPtr category = host.category();
    std::printf("Category:       %s (%ld)\n", categoryName(category), static_cast<long>(category));
    std::printf("Channels:       %d in, %d out\n", e->numInputs, e->numOutputs);
    std::printf("Flags:          0x%X (%s)\n", static_cast<unsigned>(e->flags),
                flagNames(e->flags).c_str());
    std::printf("Initial delay:  %d frames\n", e->initialDelay);
    std::printf("Tail size:      %ld\n", static_cast<long>(host.dispatch(effGetTailSize)));

    std::printf("\nParameters (%d): index, name, unit, display text, normalised value\n",
                e->numParams);
    for (int i = 0; i < e->numParams; ++i)
        std::printf("  %3d  %-16s %-8s %-20s %.6f\n", i, host.paramName(i).c_str(),
                    host.paramLabel(i).c_str(), host.paramDisplay(i).c_str(),
                    static_cast<double>(host.getParameter(i)));

    int current = host.program();
    std::printf("\nPrograms (%d), current %d:\n", e->numPrograms, current);
    for (int i = 0; i < e->numPrograms; ++i)
        std::printf("  %3d  %s\n", i, host.programName(i).c_str());

    std::printf("\nCapabilities (canDo: 1 yes, -1 no, 0 don't know):\n");
    for (const char* word : kCanDoWords)
        std::printf("  %-22s %2ld\n", word, static_cast<long>(host.canDo(word)));
    return kExitOk;
}

} // namespace

const Command kInfoCommand = {
    "info", "show a plug-in's identity, channels, flags, parameters, programs and capabilities",
    "Usage: ombrel-host info [PLUGIN] [--rate HZ]\n\n"
    "Loads the plug-in (a VST 2.4 .so; Ombrel by default) and prints its identity (effect, "
    "vendor,\n"
    "product, versions, unique id), channel counts, flags, every parameter with its unit, display\n"
    "text and value, its programs and its answers to the capability words hosts ask.\n\n"
    "Options:\n"
    "  --plugin PATH   the plug-in, when not given as PLUGIN (also $OMBREL_PLUGIN)\n"
    "  --rate HZ       the sample rate the plug-in is set up with (default 44100)\n\n"
    "Example: ombrel-host info /usr/lib/lxvst/DragonflyRoomReverb-vst.so\n",
    run};

} // namespace OmbrelHost

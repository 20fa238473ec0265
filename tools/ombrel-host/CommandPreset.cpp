// preset: state files of each format: VST 2.4 programs (.fxp) and banks (.fxb), CLAP states
// (.clapstate), LV2 states (.ttl).
#include "tools/host/ClapStateFile.h"
#include "tools/host/PluginHost.h"
#include "tools/host/PresetFile.h"
#include "tools/ombrel-host/Command.h"
#include "tools/ombrel-host/OutputFile.h"
#include "tools/ombrel-host/PluginSetup.h"
#include "tools/ombrel-host/ToolError.h"
#ifdef OMBREL_HOST_LV2
#include "tools/host/Lv2Plugin.h"
#endif

#include <cstdio>
#include <cstring>
#include <memory>

namespace OmbrelHost {

namespace {

const char* kindWord(const PresetFile& p) {
    return p.kind == PresetFile::Kind::Bank ? "bank" : "program";
}

std::string pluginFrom(const std::vector<std::string>& pos, const Args& args) {
    return pluginPath(pos.size() == 2 ? pos[0] : "", args);
}

int save(const Args& args) {
    const auto& pos = args.positional();
    if (pos.empty() || pos.size() > 2)
        throw ToolError(kExitUsage, "preset save needs [PLUGIN] FILE");
    const std::string& file = pos.back();
    const std::string plugin = pluginFrom(pos, args);
    checkPresetPath(locatePlugin(plugin).format, file, args.has("parameters"), "--parameters");
    StateOptions state = stateOptions(args);
    std::unique_ptr<HostedPlugin> hosted = loadPlugin(plugin, 44100, 512);
    applyState(*hosted, state);
    OutputFile out(file);
    std::string what, how;
    out.write(presetBytes(*hosted, file, args.has("parameters"), &what, &how));
    out.commit();
    if (!args.has("quiet"))
        std::printf("Saved the %s of %s into %s (%s)\n", what.c_str(), hosted->name().c_str(),
                    file.c_str(), how.c_str());
    return kExitOk;
}

int load(const Args& args) {
    const auto& pos = args.positional();
    if (pos.empty() || pos.size() > 2)
        throw ToolError(kExitUsage, "preset load needs [PLUGIN] FILE");
    std::unique_ptr<HostedPlugin> plugin = loadPlugin(pluginFrom(pos, args), 44100, 512);
    loadPresetFile(*plugin, pos.back());
    if (args.has("quiet")) return kExitOk;
    const int current = plugin->program();
    if (current >= 0 || plugin->format() == PluginFormat::Vst2)
        std::printf("Loaded %s into %s; current program %d \"%s\":\n", pos.back().c_str(),
                    plugin->name().c_str(), current, plugin->programName(current).c_str());
    else
        std::printf("Loaded %s into %s:\n", pos.back().c_str(), plugin->name().c_str());
    for (int i = 0; i < plugin->parameterCount(); ++i)
        std::printf("  %3d  %-16s %s %s\n", i, plugin->parameterName(i).c_str(),
                    plugin->parameterDisplay(i).c_str(), plugin->parameterUnit(i).c_str());
    return kExitOk;
}

void showVst(const PresetFile& p) {
    std::printf("Kind:           %s of %s (container version %d)\n", kindWord(p),
                p.isChunk ? "state chunk" : "parameter values", p.version);
    std::printf("Plug-in id:     %s (0x%08X), version %d\n", fourCC(p.fxId).c_str(),
                static_cast<unsigned>(p.fxId), p.fxVersion);
    if (p.kind == PresetFile::Kind::Program) {
        std::printf("Program:        \"%s\", %d parameters\n", p.programName.c_str(), p.numParams);
    } else {
        std::printf("Programs:       %d, current %d\n", p.numPrograms, p.currentProgram);
    }
    if (p.isChunk) {
        std::printf("Chunk:          %zu bytes\n", p.chunk.size());
        return;
    }
    for (std::size_t i = 0; i < p.programs.size(); ++i) {
        const PresetProgram& prog = p.programs[i];
        if (p.kind == PresetFile::Kind::Bank)
            std::printf("Program %zu:      \"%s\"\n", i, prog.name.c_str());
        for (std::size_t j = 0; j < prog.params.size(); ++j)
            std::printf("  %3zu  %.6f\n", j, static_cast<double>(prog.params[j]));
    }
}

void showClap(const ClapStateFile& f) {
    std::printf("Kind:           CLAP state\n");
    std::printf("Plug-in id:     %s (%s %s)\n", f.id.c_str(), f.name.c_str(), f.version.c_str());
    std::printf("State:          %zu bytes\n", f.state.size());
}

#ifdef OMBREL_HOST_LV2
void showLv2(const Lv2StateSummary& summary) {
    std::printf("Kind:           LV2 state\n");
    std::printf("Plug-in:        %s\n", summary.plugin.c_str());
    if (!summary.label.empty()) std::printf("Label:          \"%s\"\n", summary.label.c_str());
    std::printf("Properties:     %u of the plug-in's own\n", summary.properties);
    std::printf("Port values:    %zu\n", summary.ports.size());
    for (const auto& [symbol, value] : summary.ports)
        std::printf("  %-16s %g\n", symbol.c_str(), static_cast<double>(value));
}
#endif

int show(const Args& args) {
    const auto& pos = args.positional();
    if (pos.size() != 1) throw ToolError(kExitUsage, "preset show needs FILE");
    std::vector<std::uint8_t> bytes = readPresetBytes(pos[0]);
    PresetFile p;
    ClapStateFile clap;
    std::string error;
    const bool vst = bytes.size() >= 4 && std::memcmp(bytes.data(), "CcnK", 4) == 0;
    const bool clapState = isClapState(bytes);
    if (vst && !decodePreset(bytes, p, error)) throw ToolError(kExitPreset, pos[0] + ": " + error);
    if (clapState && !decodeClapState(bytes, clap, error))
        throw ToolError(kExitPreset, pos[0] + ": " + error);
#ifdef OMBREL_HOST_LV2
    Lv2StateSummary lv2;
    const bool lv2State = !vst && !clapState &&
                          Lv2Plugin::summariseState(std::string(bytes.begin(), bytes.end()), lv2);
#else
    const bool lv2State = false;
#endif
    if (!vst && !clapState && !lv2State)
        throw ToolError(kExitPreset, pos[0] +
                                         ": not a VST preset file, nor a CLAP or LV2 state file "
                                         "(.fxp, .fxb, .clapstate, .ttl)");
    std::printf("File:           %s (%zu bytes)\n", pos[0].c_str(), bytes.size());
    if (vst) showVst(p);
    if (clapState) showClap(clap);
#ifdef OMBREL_HOST_LV2
    if (lv2State) showLv2(lv2);
#endif
    return kExitOk;
}

int run(const std::vector<std::string>& argv) {
    if (argv.empty())
        throw ToolError(kExitUsage, "preset needs save, load or show (see preset --help)");
    std::vector<std::string> rest(argv.begin() + 1, argv.end());
    std::vector<OptionDecl> declared = {{"plugin", true}, {"quiet", false}};
    if (argv[0] == "save") {
        declared.push_back({"parameters", false});
        declared.insert(declared.end(), kStateOptionDecls.begin(), kStateOptionDecls.end());
        return save(Args(rest, declared));
    }
    if (argv[0] == "load") return load(Args(rest, declared));
    if (argv[0] == "show") return show(Args(rest, {}));
    throw ToolError(kExitUsage, "unknown preset action '" + argv[0] + "': use save, load or show");
}

} // namespace

const Command kPresetCommand = {
    "preset", "save, load or show state files: .fxp/.fxb (VST 2.4), .clapstate, .ttl (LV2)",
    "Usage: ombrel-host preset save [PLUGIN] FILE [--load F] [--program N] [--name TEXT]\n"
    "                               [--set NAME=TEXT] [--set-normalised NAME=V] [--parameters]\n"
    "       ombrel-host preset load [PLUGIN] FILE\n"
    "       ombrel-host preset show FILE\n\n"
    "save  brings a fresh instance of the plug-in (Ombrel by default) into the state the options\n"
    "      describe (as for render) and writes its state in its format's file. VST 2.4: the\n"
    "      current program (FILE.fxp) or the whole bank (FILE.fxb), the plug-in's state chunk\n"
    "      when it has one, else its parameter values (--parameters asks for parameter values\n"
    "      always). CLAP: FILE.clapstate, the plug-in's state bytes behind a few lines naming it.\n"
    "      LV2: FILE.ttl, the state as Turtle (the plug-in's own state and its port values).\n"
    "load  restores FILE into a fresh instance and prints the resulting parameters; a file made\n"
    "      for another plug-in (another unique id, CLAP id or LV2 URI) is refused.\n"
    "show  prints what FILE holds without loading any plug-in.\n\n" OMBREL_PLUGIN_FORMS_HELP
    "Options:\n"
    "  --plugin PATH  the plug-in, when not given as PLUGIN (also $OMBREL_PLUGIN)\n"
    "  --quiet        print nothing on success\n\n"
    "Example: ombrel-host preset save bright.fxp --program 2 --set Partial2=2\n",
    run};

} // namespace OmbrelHost

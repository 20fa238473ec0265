// preset: VST program (.fxp) and bank (.fxb) files.
#include "tools/host/PresetFile.h"
#include "tools/ombrel-host/Command.h"
#include "tools/ombrel-host/PluginSetup.h"
#include "tools/ombrel-host/ToolError.h"

#include <cstdio>

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
    checkPresetPath(file);
    StateOptions state = stateOptions(args);
    PluginHost host;
    loadPlugin(host, pluginFrom(pos, args), 44100, 512);
    applyState(host, state);
    bool parameters = args.has("parameters") || !host.hasChunk();
    savePresetFile(host, file, parameters);
    PresetFile::Kind kind = PresetFile::Kind::Program;
    presetKindForPath(file, kind);
    if (!args.has("quiet"))
        std::printf("Saved the %s of %s into %s (%s)\n",
                    kind == PresetFile::Kind::Bank ? "bank" : "current program",
                    host.effectName().c_str(), file.c_str(),
                    parameters ? "parameter values" : "state chunk");
    return kExitOk;
}

int load(const Args& args) {
    const auto& pos = args.positional();
    if (pos.empty() || pos.size() > 2)
        throw ToolError(kExitUsage, "preset load needs [PLUGIN] FILE");
    PluginHost host;
    loadPlugin(host, pluginFrom(pos, args), 44100, 512);
    loadPresetFile(host, pos.back());
    if (args.has("quiet")) return kExitOk;
    int current = host.program();
    std::printf("Loaded %s into %s; current program %d \"%s\":\n", pos.back().c_str(),
                host.effectName().c_str(), current, host.programName(current).c_str());
    for (int i = 0; i < host.numParams(); ++i)
        std::printf("  %3d  %-16s %s %s\n", i, host.paramName(i).c_str(),
                    host.paramDisplay(i).c_str(), host.paramLabel(i).c_str());
    return kExitOk;
}

int show(const Args& args) {
    const auto& pos = args.positional();
    if (pos.size() != 1) throw ToolError(kExitUsage, "preset show needs FILE");
    std::vector<std::uint8_t> bytes = readPresetBytes(pos[0]);
    PresetFile p;
    std::string error;
    if (!decodePreset(bytes, p, error)) throw ToolError(kExitPreset, pos[0] + ": " + error);
    std::printf("File:           %s (%zu bytes)\n", pos[0].c_str(), bytes.size());
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
        return kExitOk;
    }
    for (std::size_t i = 0; i < p.programs.size(); ++i) {
        const PresetProgram& prog = p.programs[i];
        if (p.kind == PresetFile::Kind::Bank)
            std::printf("Program %zu:      \"%s\"\n", i, prog.name.c_str());
        for (std::size_t j = 0; j < prog.params.size(); ++j)
            std::printf("  %3zu  %.6f\n", j, static_cast<double>(prog.params[j]));
    }
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
    "preset", "save, load or show .fxp program and .fxb bank files",
    "Usage: ombrel-host preset save [PLUGIN] FILE [--load F] [--program N] [--set NAME=TEXT]\n"
    "                               [--set-normalised NAME=V] [--parameters]\n"
    "       ombrel-host preset load [PLUGIN] FILE\n"
    "       ombrel-host preset show FILE\n\n"
    "save  brings a fresh instance of the plug-in (Ombrel by default) into the state the options\n"
    "      describe (as for render) and writes the current program (FILE.fxp) or the whole bank\n"
    "      (FILE.fxb): the plug-in's state chunk when it has one, else its parameter values\n"
    "      (--parameters asks for parameter values always).\n"
    "load  restores FILE into a fresh instance and prints the resulting parameters; a preset made\n"
    "      for another plug-in (another unique id) is refused.\n"
    "show  prints what FILE holds without loading any plug-in.\n\n"
    "Options:\n"
    "  --plugin PATH  the plug-in, when not given as PLUGIN (also $OMBREL_PLUGIN)\n"
    "  --quiet        print nothing on success\n\n"
    "Example: ombrel-host preset save bright.fxp --program 2 --set Partial2=2\n",
    run};

} // namespace OmbrelHost

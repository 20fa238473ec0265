#include "tools/host/PluginState.h"

namespace OmbrelHost {

namespace {

PresetProgram captureProgram(PluginHost& host) {
    PresetProgram p;
    p.name = host.programName(host.program());
    for (int i = 0; i < host.numParams(); ++i)
        p.params.push_back(host.getParameter(i));
    return p;
}

void restoreProgram(PluginHost& host, const PresetProgram& p) {
    host.setProgramName(p.name);
    for (std::size_t i = 0; i < p.params.size(); ++i)
        host.setParameter(static_cast<int>(i), p.params[i]);
}

} // namespace

PresetFile capturePreset(PluginHost& host, PresetFile::Kind kind, bool preferParameters) {
    PresetFile preset;
    preset.kind = kind;
    preset.fxId = host.effect()->uniqueID;
    preset.fxVersion = host.effect()->version;
    preset.numParams = host.numParams();
    preset.numPrograms = host.numPrograms();
    preset.currentProgram = host.program();
    preset.programName = host.programName(preset.currentProgram);
    preset.isChunk = !preferParameters && host.hasChunk();
    bool program = kind == PresetFile::Kind::Program;
    if (preset.isChunk) {
        preset.chunk = host.chunk(program);
        preset.version = program ? 1 : 2;
        return preset;
    }
    if (program) {
        preset.programs.push_back(captureProgram(host));
        return preset;
    }
    preset.version = 2;
    int current = preset.currentProgram;
    for (int i = 0; i < host.numPrograms(); ++i) {
        host.setProgram(i);
        preset.programs.push_back(captureProgram(host));
    }
    if (host.numPrograms() > 0) host.setProgram(current);
    return preset;
}

RestoreResult restorePreset(PluginHost& host, const PresetFile& preset, std::string& error) {
    if (preset.fxId != host.effect()->uniqueID) {
        error = "the preset is for another plug-in: its id is '" + fourCC(preset.fxId) +
                "', this plug-in's is '" + fourCC(host.effect()->uniqueID) + "'";
        return RestoreResult::OtherPlugin;
    }
    bool program = preset.kind == PresetFile::Kind::Program;
    if (preset.isChunk) {
        if (!host.setChunk(preset.chunk, program)) {
            error = "the plug-in refuses the preset's state chunk (" +
                    std::to_string(preset.chunk.size()) + " bytes)";
            return RestoreResult::Refused;
        }
        if (program) host.setProgramName(preset.programName);
        // Not every bank chunk records which program was current; the container does.
        if (!program && preset.currentProgram >= 0 && preset.currentProgram < host.numPrograms() &&
            preset.currentProgram != host.program())
            host.setProgram(preset.currentProgram);
        return RestoreResult::Ok;
    }
    for (const PresetProgram& p : preset.programs) {
        if (static_cast<int>(p.params.size()) != host.numParams()) {
            error = "the preset holds " + std::to_string(p.params.size()) +
                    " parameter values, the plug-in has " + std::to_string(host.numParams());
            return RestoreResult::Mismatch;
        }
    }
    if (program) {
        if (!preset.programs.empty()) restoreProgram(host, preset.programs.front());
        return RestoreResult::Ok;
    }
    if (static_cast<int>(preset.programs.size()) > host.numPrograms()) {
        error = "the bank holds " + std::to_string(preset.programs.size()) +
                " programs, the plug-in has " + std::to_string(host.numPrograms());
        return RestoreResult::Mismatch;
    }
    for (std::size_t i = 0; i < preset.programs.size(); ++i) {
        host.setProgram(static_cast<int>(i));
        restoreProgram(host, preset.programs[i]);
    }
    if (preset.currentProgram >= 0 && preset.currentProgram < host.numPrograms())
        host.setProgram(preset.currentProgram);
    return RestoreResult::Ok;
}

} // namespace OmbrelHost

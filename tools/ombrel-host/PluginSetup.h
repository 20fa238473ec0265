// What the commands share around a plug-in of any format: finding it, loading it with errors
// turned into exit codes, and bringing it into the state the command line asks for.
#pragma once

#include "tools/host/HostedPlugin.h"
#include "tools/ombrel-host/Args.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace OmbrelHost {

// A plug-in named on the command line, else --plugin, else $OMBREL_PLUGIN, else ours.
std::string pluginPath(const std::string& positional, const Args& args);

// Throws a plug-in error when loading fails.
std::unique_ptr<HostedPlugin> loadPlugin(const std::string& path, double sampleRate, int blockSize);

// Throws a usage error naming the option when the format has no such thing, so that a command
// never seems to do what it cannot (e.g. --double for LV2).
[[noreturn]] void refuseForFormat(PluginFormat format, const std::string& option,
                                  const std::string& why);

// The options that set a plug-in's state, in the order they are applied: --load, --program,
// --name, then each --set and --set-normalised in command-line order.
struct StateOptions {
    std::string load;
    int program = -1;
    std::string name; // empty: the name stays
    struct Setting {
        bool normalised;
        std::string name;
        std::string value;
    };
    std::vector<Setting> settings;
};
extern const std::vector<OptionDecl> kStateOptionDecls;
// Checks the syntax; values are checked against the plug-in in applyState.
StateOptions stateOptions(const Args& args);
void applyState(HostedPlugin& plugin, const StateOptions& state);

// The parameter index for a name or an LV2 symbol (letter case ignored) or, failing that, a
// number; throws a usage error listing the valid names.
int findParameter(HostedPlugin& plugin, const std::string& name);

// Presets of any plug-in fit; a larger file is no preset.
constexpr std::size_t kMaxPresetBytes = std::size_t(64) << 20;
// The bytes of a preset file; throws an input error unless it is a readable regular file, a
// preset error when it is larger than the cap.
std::vector<std::uint8_t> readPresetBytes(const std::string& path);
// Reads a state file of the plug-in's format (.fxp or .fxb for VST 2.4, .clapstate, .ttl for
// LV2) and restores it; throws.
void loadPresetFile(HostedPlugin& plugin, const std::string& path);
// The plug-in's state in the file the path's extension names; throws. what and how, when given,
// say what went in, for the command's report.
std::vector<std::uint8_t> presetBytes(HostedPlugin& plugin, const std::string& path,
                                      bool preferParameters, std::string* what = nullptr,
                                      std::string* how = nullptr);
// Throws a usage error unless the path names a state file of the format (and, for
// preferParameters, unless the format keeps parameter values apart: VST 2.4 only).
void checkPresetPath(PluginFormat format, const std::string& path, bool preferParameters = false,
                     const char* parametersOption = "--save-parameters");

} // namespace OmbrelHost

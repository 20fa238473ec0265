// What the commands share around a plug-in: finding it, loading it with errors turned into exit
// codes, and bringing it into the state the command line asks for.
#pragma once

#include "tools/host/PluginHost.h"
#include "tools/ombrel-host/Args.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace OmbrelHost {

// A plug-in named on the command line, else --plugin, else $OMBREL_PLUGIN, else ours.
std::string pluginPath(const std::string& positional, const Args& args);

// Throws a plug-in error when loading fails.
void loadPlugin(PluginHost& host, const std::string& path, double sampleRate, int blockSize);

// The options that set a plug-in's state, in the order they are applied: --load, --program, then
// each --set and --set-normalised in command-line order.
struct StateOptions {
    std::string load;
    int program = -1;
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
void applyState(PluginHost& host, const StateOptions& state);

// The parameter index for a name (letter case ignored) or, failing that, a number; throws a usage
// error listing the valid names.
int findParameter(PluginHost& host, const std::string& name);

// Presets of any plug-in fit; a larger file is no preset.
constexpr std::size_t kMaxPresetBytes = std::size_t(64) << 20;
// The bytes of a preset file; throws an input error unless it is a readable regular file, a
// preset error when it is larger than the cap.
std::vector<std::uint8_t> readPresetBytes(const std::string& path);
// Reads an .fxp or .fxb file and restores it, or writes the plug-in's state into one; both throw.
void loadPresetFile(PluginHost& host, const std::string& path);
void savePresetFile(PluginHost& host, const std::string& path, bool preferParameters);
// The plug-in's state in the container path's extension names.
std::vector<std::uint8_t> presetBytes(PluginHost& host, const std::string& path,
                                      bool preferParameters);
// Throws a usage error unless the path ends in .fxp or .fxb.
void checkPresetPath(const std::string& path);

} // namespace OmbrelHost

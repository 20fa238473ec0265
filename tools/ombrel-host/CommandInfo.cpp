// info: what a host learns about a plug-in before it uses it.
#include "tools/ombrel-host/Command.h"
#include "tools/ombrel-host/PluginSetup.h"
#include "tools/ombrel-host/ToolError.h"

#include <cstdio>
#include <memory>

namespace OmbrelHost {

namespace {

void printParameters(HostedPlugin& plugin) {
    const int count = plugin.parameterCount();
    double value = 0, min = 0, max = 0;
    const bool native = count > 0 && plugin.nativeValue(0, value, min, max);
    std::printf("\nParameters (%d): index, name, unit, display text, normalised value%s\n", count,
                native ? ", value (range)" : "");
    for (int i = 0; i < count; ++i) {
        std::printf("  %3d  %-16s %-8s %-20s %.6f", i, plugin.parameterName(i).c_str(),
                    plugin.parameterUnit(i).c_str(), plugin.parameterDisplay(i).c_str(),
                    plugin.normalised(i));
        if (plugin.nativeValue(i, value, min, max)) std::printf("  %g (%g to %g)", value, min, max);
        std::printf("\n");
    }
}

void printPrograms(HostedPlugin& plugin) {
    const char* word = plugin.programWord();
    if (!word) {
        std::printf("\nPrograms: none (%s plug-ins have none; a saved state brings back a sound)\n",
                    formatName(plugin.format()));
        return;
    }
    const int count = plugin.programCount();
    const int current = plugin.program();
    std::string title = word;
    title[0] = static_cast<char>(title[0] - 'a' + 'A');
    if (current >= 0 || plugin.format() == PluginFormat::Vst2)
        std::printf("\n%s (%d), current %d:\n", title.c_str(), count, current);
    else
        std::printf("\n%s (%d):\n", title.c_str(), count);
    for (int i = 0; i < count; ++i)
        std::printf("  %3d  %s\n", i, plugin.programName(i).c_str());
}

int run(const std::vector<std::string>& argv) {
    Args args(argv, {{"plugin", true}, {"rate", true}});
    if (args.positional().size() > 1) throw ToolError(kExitUsage, "info takes at most one plug-in");
    double rate =
        args.has("rate") ? parseDouble(args.value("rate"), "--rate", 1000, 768000) : 44100;
    std::string path = pluginPath(args.positional().empty() ? "" : args.positional()[0], args);
    std::unique_ptr<HostedPlugin> plugin = loadPlugin(path, rate, 512);

    std::printf("Plug-in:        %s\n", path.c_str());
    std::printf("Format:         %s\n", formatName(plugin->format()));
    for (const auto& [label, text] : plugin->identity())
        std::printf("%-16s%s\n", (label + ":").c_str(), text.c_str());
    printParameters(*plugin);
    printPrograms(*plugin);
    std::printf("\n%s:\n", plugin->capabilityTitle().c_str());
    for (const auto& [word, answer] : plugin->capabilities())
        std::printf("  %-22s %s\n", word.c_str(), answer.c_str());
    return kExitOk;
}

} // namespace

const Command kInfoCommand = {
    "info", "show a plug-in's identity, channels, flags, parameters, programs and capabilities",
    "Usage: ombrel-host info [PLUGIN] [--rate HZ]\n\n"
    "Loads the plug-in (Ombrel's VST 2.4 build by default) and prints its identity (name, vendor,\n"
    "versions, unique id, URI or id), channel counts, every parameter with its unit, display text\n"
    "and value, its programs or presets and what it offers hosts: the capability words of VST\n"
    "2.4, a CLAP plug-in's extensions, an LV2 plug-in's features and extension "
    "data.\n\n" OMBREL_PLUGIN_FORMS_HELP "Options:\n"
    "  --plugin PATH   the plug-in, when not given as PLUGIN (also $OMBREL_PLUGIN)\n"
    "  --rate HZ       the sample rate the plug-in is set up with (default 44100)\n\n"
    "Example: ombrel-host info /usr/lib/lxvst/DragonflyRoomReverb-vst.so\n",
    run};

} // namespace OmbrelHost

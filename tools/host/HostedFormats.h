// The three formats behind HostedPlugin, each over its own host class; made only through
// loadHostedPlugin, which picks one from the path.
#pragma once

#include "tools/host/HostedPlugin.h"

namespace OmbrelHost {

// Null with the reason when the plug-in cannot be used.
std::unique_ptr<HostedPlugin> loadVstPlugin(const PluginLocation& where, double sampleRate,
                                            int blockSize, std::string& error);
std::unique_ptr<HostedPlugin> loadLv2Plugin(const PluginLocation& where, double sampleRate,
                                            int blockSize, std::string& error);
std::unique_ptr<HostedPlugin> loadClapPlugin(const PluginLocation& where, double sampleRate,
                                             int blockSize, std::string& error);

// A parameter's text split as VST 2.4 hosts show it: the value ("-6.0", "Square") and the unit
// after it ("dB"); formats that give one text (CLAP) are split at the end of its leading number.
void splitUnit(const std::string& text, std::string& value, std::string& unit);

} // namespace OmbrelHost

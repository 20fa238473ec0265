// Moves a plug-in's state into and out of preset containers, the way DAWs save and restore
// programs and banks: through the state chunk when the plug-in has one, else parameter by
// parameter.
#pragma once

#include "tools/host/PluginHost.h"
#include "tools/host/PresetFile.h"

#include <string>

namespace OmbrelHost {

// preferParameters asks for parameter values even from a plug-in with a chunk.
PresetFile capturePreset(PluginHost& host, PresetFile::Kind kind, bool preferParameters = false);

enum class RestoreResult { Ok, OtherPlugin, Mismatch, Refused };
// Refuses a preset made for another plug-in (unique id) or with another parameter count, and
// reports a chunk the plug-in refuses; a refused preset changes nothing, its name included.
RestoreResult restorePreset(PluginHost& host, const PresetFile& preset, std::string& error);

} // namespace OmbrelHost

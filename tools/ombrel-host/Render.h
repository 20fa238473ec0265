// One audio file through one plug-in instance, driven block by block as a DAW drives an insert.
#pragma once

#include "tools/ombrel-host/AudioFile.h"
#include "tools/ombrel-host/PluginSetup.h"

#include <iosfwd>
#include <string>

namespace OmbrelHost {

struct RenderJob {
    std::string plugin;
    std::string input;
    std::string output;
    StateOptions state;
    std::string save; // preset written after the render, when set
    std::string midi; // the plug-in's note output as a Standard MIDI File, when set
    bool saveParameters = false;
    int blockSize = 512;
    bool doublePrecision = false;
    double tempo = 120;
    bool play = false;
    double tailSeconds = 0;
    bool bypass = false;
    int outputs = 0; // 0: as many as the input has
    bool quiet = false;
    // Writes NaN and infinite output samples as they come instead of refusing the render.
    bool allowNonFinite = false;
    // A finished output of the caller's, committed together with the render's own.
    AudioWriter* companion = nullptr;
};

// Throws a ToolError on any failure; the output then does not exist. Says what it did on log
// unless quiet.
void render(const RenderJob& job, std::ostream& log);

} // namespace OmbrelHost

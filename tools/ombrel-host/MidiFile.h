// A plug-in's note output as a Standard MIDI File: format 0, one track, at a fixed tempo in 4/4.
#pragma once

#include "tools/host/HostedPlugin.h"

#include <cstdint>
#include <string>
#include <vector>

namespace OmbrelHost {

// Ticks per quarter note.
constexpr int kMidiDivision = 960;

struct MidiSummary {
    int notes = 0;    // note ons
    int closed = 0;   // notes the plug-in left sounding, ended at the last frame
    int messages = 0; // channel messages written
};

// The file's bytes: tempo and time signature, the track's name, then every channel message at
// the tick nearest its frame (rate frames per second, tempo quarter notes per minute), in frame
// order. Notes still sounding at endFrame get their note off there, so the file leaves none
// hanging.
std::vector<std::uint8_t> standardMidiFile(std::vector<NoteMessage> messages, double rate,
                                           double tempo, long long endFrame,
                                           const std::string& name, MidiSummary& summary);

} // namespace OmbrelHost

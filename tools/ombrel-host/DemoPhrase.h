// The demo input: a short sung-like phrase, made here sample by sample so that every run gives
// the same bytes. A voice-like harmonic series under vowel formants, with vibrato that sets in
// after each onset, glides between legato notes and one breath.
#pragma once

#include <vector>

namespace OmbrelHost {

struct DemoNote {
    double start; // seconds; the glide into the note ends here
    double end;   // seconds; the glide out of it or the breath starts here
    double frequency;
    const char* name;
};

struct DemoPhrase {
    int sampleRate = 44100;
    std::vector<DemoNote> notes;
    std::vector<double> samples; // mono
};

DemoPhrase makeDemoPhrase(int sampleRate = 44100);

} // namespace OmbrelHost

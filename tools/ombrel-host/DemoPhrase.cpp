#include "tools/ombrel-host/DemoPhrase.h"

#include <algorithm>
#include <cmath>

namespace OmbrelHost {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Score {
    int midi;
    double seconds;
    bool breathAfter; // a short silence instead of a glide into the next note
    const char* name;
};

// A minor phrase that rises, turns and falls back home.
const Score kScore[] = {{57, 0.70, false, "A3"}, {60, 0.55, false, "C4"}, {64, 0.90, true, "E4"},
                        {62, 0.55, false, "D4"}, {60, 0.55, false, "C4"}, {59, 0.45, false, "B3"},
                        {57, 1.20, false, "A3"}};
constexpr double kLeadIn = 0.25;
constexpr double kGlide = 0.07;
constexpr double kBreath = 0.18;
constexpr double kTail = 0.30;

double midiToHz(double midi) {
    return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0);
}

// The spectral envelope of an open "ah": three formants over a gently falling slope.
double formantGain(double hz) {
    const double formants[3][3] = {{730, 90, 1.0}, {1090, 110, 0.5}, {2440, 170, 0.25}};
    double g = 0.08;
    for (const auto& f : formants) {
        double x = (hz - f[0]) / f[1];
        g += f[2] / (1.0 + x * x);
    }
    return g;
}

} // namespace

DemoPhrase makeDemoPhrase(int sampleRate) {
    DemoPhrase phrase;
    phrase.sampleRate = sampleRate;
    // Note boundaries in seconds, then the pitch curve (in semitones) and the loudness over time.
    double t = kLeadIn;
    for (const Score& s : kScore) {
        DemoNote n{t, t + s.seconds - (s.breathAfter ? 0 : kGlide), midiToHz(s.midi), s.name};
        phrase.notes.push_back(n);
        t += s.seconds + (s.breathAfter ? kBreath : 0);
    }
    const double total = t + kTail;
    const auto frames = static_cast<long long>(total * sampleRate);
    phrase.samples.assign(static_cast<std::size_t>(frames), 0.0);

    const std::size_t count = std::size(kScore);
    double phase = 0;
    for (long long i = 0; i < frames; ++i) {
        double time = static_cast<double>(i) / sampleRate;
        // Which note sounds, how far into it, and whether a glide to the next is under way.
        std::size_t k = 0;
        while (k + 1 < count && time >= phrase.notes[k + 1].start)
            ++k;
        const DemoNote& note = phrase.notes[k];
        double midi = kScore[k].midi;
        if (k + 1 < count && !kScore[k].breathAfter && time > note.end) {
            double x = std::min(1.0, (time - note.end) / kGlide);
            midi += (kScore[k + 1].midi - kScore[k].midi) * (0.5 - 0.5 * std::cos(kPi * x));
        }
        double since = time - note.start;
        double vibratoDepth = 0.3 * std::clamp((since - 0.2) / 0.25, 0.0, 1.0);
        midi += vibratoDepth * std::sin(2 * kPi * 5.5 * since);

        // Loudness: swells in at each onset after silence, fades before each breath and at the end.
        double amp = 1.0;
        bool afterSilence = k == 0 || kScore[k - 1].breathAfter;
        if (afterSilence) amp *= std::clamp(since / 0.06, 0.0, 1.0);
        bool beforeSilence = kScore[k].breathAfter || k + 1 == count;
        double stop = beforeSilence ? note.end : total;
        if (beforeSilence) amp *= std::clamp((stop - time) / 0.08, 0.0, 1.0);
        if (time < kLeadIn) amp = 0;
        amp *= 1.0 + 0.08 * std::sin(2 * kPi * 5.5 * since + 1.0) * vibratoDepth / 0.3;

        double hz = midiToHz(midi);
        phase += hz / sampleRate;
        phase -= std::floor(phase);
        double v = 0;
        for (int h = 1; h * hz < 0.45 * sampleRate && h <= 40; ++h)
            v += formantGain(h * hz) / std::sqrt(static_cast<double>(h)) *
                 std::sin(2 * kPi * h * phase);
        phrase.samples[static_cast<std::size_t>(i)] = v * amp;
    }
    double peak = 0;
    for (double v : phrase.samples)
        peak = std::max(peak, std::fabs(v));
    // Peaks at -6 dBFS.
    if (peak > 0)
        for (double& v : phrase.samples)
            v *= 0.5 / peak;
    return phrase;
}

} // namespace OmbrelHost

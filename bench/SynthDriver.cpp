// Runs the three oscillators and the LFO as the block routine does, for counting instructions:
//   synth_driver tables
//   synth_driver melody|noise|silence SECONDS [default|busy]
// "tables" builds the wave tables and stops (the start-up cost of the first instance). Otherwise
// the detector turns the input into a confirmed-period track first; the synth then follows that
// track in runSynth, so counting only that function (callgrind --toggle-collect='*runSynth*')
// gives the synth's cost alone. "default" is the default program (three sines at full level, no
// noise, LFO sine at depth 0); "busy" uses every waveform, noise, partials and a playing LFO.
#include "bench/DetectorInputs.h"
#include "dsp/Lfo.h"
#include "dsp/Oscillator.h"
#include "dsp/PitchDetector.h"
#include "dsp/RandomGenerator.h"
#include "dsp/WaveTables.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace Korvel;

namespace {

struct Synth {
    Oscillator osc[3];
    Lfo lfo;
    double smoothedPeriod = 0;
    // 1 - 2^(-3.321928094887362 / 441): the period glide at 44.1 kHz.
    double smoothCoef = 0.00520767419296797;
};

void setUp(Synth& s, bool busy) {
    for (int k = 0; k < 3; ++k) {
        Oscillator& o = s.osc[k];
        o.setSampleRate(44100);
        o.setWaveform(busy ? k + 1 : Oscillator::Sine);
        o.setPartial(busy ? k + 1 : 1);
        o.setDetune(busy ? 7 * k - 5 : 0);
        o.setAttack(0.01);
        o.setRelease(busy ? 0.2 : 0.01);
        o.setNoise(busy ? 0.05 : 0);
        o.setLevel(1);
    }
    s.lfo.setSampleRate(44100);
    s.lfo.setWaveform(busy ? Lfo::Triangle : Lfo::Sine);
    s.lfo.setCyclesPerBar(4);
}

__attribute__((noinline)) double runSynth(Synth& s, const std::vector<double>& periods, long frames,
                                          bool busy) {
    double sum = 0;
    std::size_t n = periods.size();
    for (long i = 0; i < frames; ++i) {
        if (busy && i % 512 == 0) s.lfo.sync(i / 22050.0, 120, true, true);
        double p = periods[static_cast<std::size_t>(i) % n];
        if (p <= 0) {
            s.smoothedPeriod = 0;
            for (Oscillator& o : s.osc)
                o.release();
        } else {
            s.smoothedPeriod = s.smoothedPeriod == 0
                                   ? p
                                   : s.smoothedPeriod + (p - s.smoothedPeriod) * s.smoothCoef;
            double f = 44100 / s.smoothedPeriod;
            for (Oscillator& o : s.osc)
                o.setFrequency(f);
        }
        for (Oscillator& o : s.osc)
            o.process();
        double lfo = s.lfo.process();
        sum += (s.osc[0].output() + s.osc[1].output() + s.osc[2].output()) * (lfo + 2);
    }
    return sum;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "tables") == 0) {
        std::printf("%g\n", WaveTables::shared().level(WaveTables::Square, 11)[512]);
        return 0;
    }
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s tables | melody|noise|silence SECONDS [default|busy]\n",
                     argv[0]);
        return 2;
    }
    bool busy = argc == 4 && std::string(argv[3]) == "busy";
    std::vector<double> input = detectorInput(argv[1]);
    PitchDetector d;
    setDefaultProgram(d);
    std::vector<double> periods;
    periods.reserve(input.size());
    for (double x : input) {
        d.process(x);
        periods.push_back(d.confirmedPeriod());
    }
    WaveTables::shared();
    long frames = static_cast<long>(std::atof(argv[2]) * 44100);
    Synth s;
    setUp(s, busy);
    double sum = runSynth(s, periods, frames, busy);
    std::printf("%s %.1f s: checksum %.6f\n", argv[1], frames / 44100.0, sum);
    return 0;
}

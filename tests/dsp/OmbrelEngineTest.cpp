// The engine runs its stages chunk by chunk and skips work whose result is known; it must give
// exactly what the plain per-sample loop over the same parts gives.
#include "dsp/OmbrelEngine.h"
#include "dsp/EngineKernels.h"
#include "dsp/FastMath.h"
#include "dsp/Lfo.h"
#include "dsp/Oscillator.h"
#include "dsp/PitchDetector.h"
#include "dsp/RandomGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using namespace Korvel;

namespace {

const double kRate = 44100;

// The block routine written out sample by sample, as plainly as it reads.
struct PlainEngine {
    Oscillator osc[3];
    Lfo lfo;
    PitchDetector detector;
    EngineSettings s;
    double smoothCoef = 1 - fastPow2(-3.321928094887362 / (0.01 * kRate));
    double smoothed = 0, last = 0;

    explicit PlainEngine(const EngineSettings& settings) : s(settings) {
        detector.setSampleRate(kRate);
        for (Oscillator& o : osc)
            o.setSampleRate(kRate);
        lfo.setSampleRate(kRate);
        detector.setMinFreq(s.minFreq);
        detector.setMaxFreq(s.maxFreq);
        detector.setGate(s.gateDb);
        detector.setSpeed(s.speed);
        for (int k = 0; k < 3; ++k) {
            osc[k].setWaveform(s.osc[k].waveform);
            osc[k].setPartial(s.osc[k].partial);
            osc[k].setDetune(s.osc[k].detune);
            osc[k].setAttack(s.osc[k].attack);
            osc[k].setRelease(s.osc[k].release);
            osc[k].setNoise(s.osc[k].noise);
            osc[k].setLevel(s.osc[k].level);
        }
        lfo.setWaveform(s.lfoWaveform);
        lfo.setCyclesPerBar(s.lfoCyclesPerBar);
        lfo.setPhaseOffset(s.lfoPhaseOffset);
    }

    void block(const double* in, double* out, int frames, const EngineTransport* t) {
        if (t) lfo.sync(t->ppqPos, t->tempo, t->playing, true);
        for (int i = 0; i < frames; ++i) {
            detector.process(in[i]);
            double p = detector.confirmedPeriod();
            if (p <= 0) {
                smoothed = 0;
                for (Oscillator& o : osc)
                    o.release();
            } else {
                smoothed = smoothed == 0 ? p : smoothed + (p - smoothed) * smoothCoef;
                for (Oscillator& o : osc)
                    o.setFrequency(kRate / smoothed);
            }
            out[i] = last;
            for (Oscillator& o : osc)
                o.process();
            double v = lfo.process();
            double sum = osc[0].output() + osc[1].output() + osc[2].output() +
                         RandomGenerator::shared().uniform() * 5e-6;
            last = sum * s.mainGain * (s.lfoDepth * 0.5 * (v - 1) + 1);
        }
    }
};

// Notes with gaps, a glide, a noise burst and silence: every path of the engine.
std::vector<double> input() {
    std::vector<double> x;
    std::uint32_t seed = 1;
    double phase = 0, hz = 180;
    for (int i = 0; i < 3 * 44100; ++i) {
        int part = i / 11025;
        if (part % 3 == 0) hz += (400 - hz) * 0.0005;
        if (part % 3 == 1) hz = 250 + 30 * (part % 2);
        phase += hz / kRate;
        phase -= std::floor(phase);
        seed = seed * 1664525u + 1013904223u;
        double noise = (seed >> 8) / 8388608.0 - 1;
        bool gap = i % 11025 > 9000;
        x.push_back(part == 7 ? 0.3 * noise : gap || part == 9 ? 0 : 0.4 * (2 * phase - 1));
    }
    return x;
}

void expectSameAsPlain(const EngineSettings& s, bool withTempo, const EngineKernels& kernels) {
    std::vector<double> in = input(), fast(in.size()), plain(in.size());
    EngineTransport transport;
    transport.playing = true;
    transport.tempo = 128;

    RandomGenerator::shared().setState(1234, 5678);
    OmbrelEngine engine;
    engine.useKernels(kernels);
    engine.setSampleRate(kRate);
    engine.reset();
    engine.publish(s);
    // Blocks of varying size, over the chunk size too.
    int sizes[] = {512, 1, 1, 1, 300, 1, 64, 1000, 2, 1};
    for (std::size_t pos = 0, n = 0; pos < in.size(); ++n) {
        int frames = static_cast<int>(std::min<std::size_t>(sizes[n % 10], in.size() - pos));
        transport.ppqPos = pos * (128.0 / 60) / kRate;
        double* ins[1] = {in.data() + pos};
        double* outs[1] = {fast.data() + pos};
        engine.process(ins, 1, outs, 1, frames, false, withTempo ? &transport : nullptr);
        pos += frames;
    }
    RandomGenerator::State after = RandomGenerator::shared().state();

    // The plain loop, with the generator where the engine's construction left it.
    RandomGenerator::shared().setState(1234, 5678);
    PlainEngine reference(s);
    for (std::size_t pos = 0, n = 0; pos < in.size(); ++n) {
        int frames = static_cast<int>(std::min<std::size_t>(sizes[n % 10], in.size() - pos));
        transport.ppqPos = pos * (128.0 / 60) / kRate;
        reference.block(in.data() + pos, plain.data() + pos, frames,
                        withTempo ? &transport : nullptr);
        pos += frames;
    }
    EXPECT_EQ(RandomGenerator::shared().state().z, after.z);
    EXPECT_EQ(RandomGenerator::shared().state().w, after.w);
    double peak = 0;
    for (double v : plain)
        peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.1); // the notes were tracked and played
    for (std::size_t i = 0; i < in.size(); ++i)
        ASSERT_EQ(std::memcmp(&fast[i], &plain[i], sizeof(double)), 0)
            << kernels.name << ", sample " << i << ": " << fast[i] << " vs " << plain[i];
}

// On the baseline instruction set and on the widest this build has, where the processor runs it.
void expectSameAsPlain(const EngineSettings& s, bool withTempo) {
    expectSameAsPlain(s, withTempo, baselineKernels());
    if (wideKernels() && &engineKernels() == wideKernels())
        expectSameAsPlain(s, withTempo, *wideKernels());
}

} // namespace

TEST(OmbrelEngine, MatchesThePlainLoopWithThreeEqualOscillators) {
    EngineSettings s; // three equal sines, no noise, no tremolo
    s.minFreq = 70;
    s.maxFreq = 1200;
    s.mainGain = 0.25;
    expectSameAsPlain(s, false);
    s.lfoDepth = 0.7;
    s.lfoWaveform = 5;
    expectSameAsPlain(s, true);
}

TEST(OmbrelEngine, MatchesThePlainLoopWithNoiseAndDifferentVoices) {
    EngineSettings s;
    s.osc[0].waveform = 3;
    s.osc[0].noise = 0.1;
    s.osc[1].waveform = 2;
    s.osc[1].partial = 2;
    s.osc[1].detune = 7;
    s.osc[2].noise = 0.05; // equal to none of the others
    s.osc[2].attack = 0.2;
    s.lfoWaveform = 1;
    s.lfoDepth = 0.5;
    expectSameAsPlain(s, true);
    expectSameAsPlain(s, false);
    // Two equal voices and one with noise.
    EngineSettings t;
    t.osc[2].noise = 0.2;
    t.osc[2].waveform = 1;
    expectSameAsPlain(t, false);
}

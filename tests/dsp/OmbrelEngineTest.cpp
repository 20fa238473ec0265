// The engine runs its stages chunk by chunk, in vector lanes, and skips work whose result is
// known; it must give exactly what the plain per-sample loop gives, on every instruction set.
#include "dsp/OmbrelEngine.h"
#include "dsp/EngineKernels.h"
#include "dsp/FastMath.h"
#include "dsp/Lfo.h"
#include "dsp/Oscillator.h"
#include "dsp/PitchDetector.h"
#include "dsp/RandomGenerator.h"
#include "tests/dsp/ReferenceEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
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

namespace {

std::uint64_t bitsOf(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// A seeded script: blocks of every length, settings changed between them, transports, bypass,
// resets and sample-rate changes, in both precisions; the input sings, glides, hisses, falls
// silent, cancels out between its channels and now and then holds a sample that is no number.
struct Script {
    std::mt19937_64 rng;
    explicit Script(unsigned seed) : rng(seed) {}
    double uniform(double lo, double hi) {
        return lo + (hi - lo) * std::uniform_real_distribution<double>(0, 1)(rng);
    }
    int integer(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    bool chance(double p) { return uniform(0, 1) < p; }

    EngineSettings settings() {
        EngineSettings s;
        double a = 20 * std::pow(100.0, uniform(0, 1)), b = 20 * std::pow(100.0, uniform(0, 1));
        s.minFreq = std::round(std::min(a, b));
        s.maxFreq = std::round(std::max(a, b));
        s.gateDb = integer(-80, -10);
        s.speed = integer(1, 20);
        for (EngineSettings::Osc& o : s.osc) {
            o.waveform = chance(0.05) ? integer(-3, 9) : integer(0, 3);
            o.partial = chance(0.8) ? integer(1, 6) : uniform(1, 6);
            o.detune = integer(-99, 99);
            o.attack = integer(1, 50) * 0.01;
            o.release = integer(1, 50) * 0.01;
            o.noise = chance(0.5) ? 0 : std::pow(10.0, 0.05 * uniform(-60, 0));
            o.level = chance(0.2) ? 0 : chance(0.4) ? 1 : uniform(0, 1);
        }
        s.lfoWaveform = integer(0, 6);
        s.lfoCyclesPerBar = integer(1, 32);
        s.lfoPhaseOffset = integer(0, 359) * 0.002777777777777778;
        s.lfoDepth = chance(0.3) ? 0 : uniform(0, 1);
        s.mainGain = chance(0.05) ? 0 : std::pow(10.0, 0.05 * integer(-300, 0) * 0.1);
        return s;
    }

    // Seconds of input, two channels.
    void input(double seconds, double rate, std::vector<double>& left, std::vector<double>& right) {
        std::size_t n = static_cast<std::size_t>(seconds * rate);
        left.assign(n, 0);
        right.assign(n, 0);
        double phase = 0, hz = 200;
        std::uint32_t noise = static_cast<std::uint32_t>(rng());
        for (std::size_t i = 0; i < n;) {
            std::size_t len = std::min(n - i, static_cast<std::size_t>(uniform(0.02, 0.6) * rate));
            int kind = integer(0, 6);
            double target = 60 * std::pow(20.0, uniform(0, 1)), amp = uniform(0.001, 0.6);
            for (std::size_t k = 0; k < len; ++k, ++i) {
                hz += (target - hz) * 0.002;
                phase += hz / rate;
                phase -= std::floor(phase);
                noise = noise * 1664525u + 1013904223u;
                double white = (noise >> 8) / 8388608.0 - 1;
                double v = kind == 0   ? amp * (2 * phase - 1)
                           : kind == 1 ? amp * std::sin(6.283185307179586 * phase)
                           : kind == 2 ? amp * white
                           : kind == 3 ? 0.0
                           : kind == 4 ? 0.0005 * std::sin(6.283185307179586 * phase)
                                       : amp * std::sin(6.283185307179586 * phase) + 0.01 * white;
                left[i] = v;
                right[i] = kind == 6 ? -v : kind == 5 ? 0.7 * v : v;
            }
        }
        for (int k = 0; k < 3; ++k) {
            std::size_t at = static_cast<std::size_t>(uniform(0, 1) * (n - 1));
            const double odd[] = {std::nan(""), INFINITY, 1e305, -2.5};
            left[at] = odd[integer(0, 3)];
        }
    }
};

template <class T> struct Channels {
    std::vector<T> data[4];
    T* in[2];
    T* out[2];
    void fill(const std::vector<double>& l, const std::vector<double>& r, std::size_t at,
              int frames) {
        for (auto& d : data)
            d.assign(static_cast<std::size_t>(frames), 0);
        for (int i = 0; i < frames; ++i) {
            data[0][i] = static_cast<T>(l[at + i]);
            data[1][i] = static_cast<T>(r[at + i]);
        }
        in[0] = data[0].data();
        in[1] = data[1].data();
        out[0] = data[2].data();
        out[1] = data[3].data();
    }
};

// The engine and the plain loop side by side, each call made to both from the same generator
// state (the engine's draws must be the loop's draws).
struct Pair {
    OmbrelEngine engine;
    Reference::Engine plain;
    RandomGenerator::State state;
    template <class Fast, class Slow> void both(Fast&& fast, Slow&& slow) {
        RandomGenerator::shared().setState(state.z, state.w);
        fast();
        RandomGenerator::State a = RandomGenerator::shared().state();
        RandomGenerator::shared().setState(state.z, state.w);
        slow();
        RandomGenerator::State b = RandomGenerator::shared().state();
        EXPECT_EQ(a.z, b.z);
        EXPECT_EQ(a.w, b.w);
        state = a;
    }
    void publish(const EngineSettings& s) {
        engine.publish(s);
        plain.publish(s);
    }
    void restart(double rate) {
        both([&] { engine.setSampleRate(rate), engine.reset(); },
             [&] { plain.setSampleRate(rate), plain.reset(); });
    }
    // One block in precision T; every output sample's bits compared.
    template <class T>
    void block(const std::vector<double>& left, const std::vector<double>& right, std::size_t at,
               int frames, int inputs, int outputs, bool bypass, const EngineTransport* t,
               double& peak) {
        Channels<T> fast, slow;
        fast.fill(left, right, at, frames);
        slow.fill(left, right, at, frames);
        both([&] { engine.process(fast.in, inputs, fast.out, outputs, frames, bypass, t); },
             [&] { plain.process(slow.in, inputs, slow.out, outputs, frames, bypass, t); });
        for (int k = 0; k < outputs; ++k)
            for (int i = 0; i < frames; ++i) {
                ASSERT_EQ(bitsOf(fast.out[k][i]), bitsOf(slow.out[k][i]))
                    << "sample " << at + i << ", output " << k;
                if (!bypass) peak = std::max(peak, std::fabs(double(fast.out[k][i])));
            }
    }
};

// Runs a script through the engine and the plain loop, block by block, and compares every output
// sample's bits; returns the samples compared and their peak outside bypass.
std::size_t runScript(unsigned seed, const EngineKernels& kernels, double& peak) {
    Script script(seed);
    const int inputs = script.integer(1, 2), outputs = script.integer(1, 2);
    double rate = 44100;
    std::vector<double> left, right;
    script.input(12, rate, left, right);

    // Both built from the same generator state: each draws its LFO's first level.
    RandomGenerator::shared().setState(4242 + seed, 777);
    std::unique_ptr<Pair> pair(new Pair);
    pair->engine.useKernels(kernels);
    pair->state = RandomGenerator::shared().state();
    pair->restart(rate);
    pair->publish(script.settings());

    std::size_t compared = 0;
    bool bypass = false;
    EngineTransport transport;
    transport.tempo = 120;
    for (std::size_t at = 0; at < left.size();) {
        int frames = script.chance(0.25)  ? 1
                     : script.chance(0.5) ? script.integer(2, 40)
                                          : script.integer(41, 700);
        frames = static_cast<int>(std::min<std::size_t>(frames, left.size() - at));
        if (script.chance(0.05)) pair->publish(script.settings());
        if (script.chance(0.01))
            pair->both([&] { pair->engine.reset(); }, [&] { pair->plain.reset(); });
        if (script.chance(0.003)) {
            const double rates[] = {22050, 44100, 48000, 96000};
            rate = rates[script.integer(0, 3)];
            pair->restart(rate);
        }
        if (script.chance(0.02)) bypass = !bypass;
        int clock = script.integer(0, 9);
        transport.playing = clock >= 3;
        if (script.chance(0.02)) transport.tempo = script.uniform(40, 240);
        transport.ppqPos = static_cast<double>(at) * transport.tempo / 60 / rate;
        const EngineTransport* t = clock == 0 ? nullptr : &transport;
        SCOPED_TRACE(std::string(kernels.name) + ", seed " + std::to_string(seed));
        if (script.chance(0.5))
            pair->block<float>(left, right, at, frames, inputs, outputs, bypass, t, peak);
        else
            pair->block<double>(left, right, at, frames, inputs, outputs, bypass, t, peak);
        if (::testing::Test::HasFatalFailure()) return compared;
        compared += static_cast<std::size_t>(frames);
        at += static_cast<std::size_t>(frames);
    }
    return compared;
}

} // namespace

TEST(OmbrelEngine, SeededScriptsGiveThePlainLoopsSamplesOnEveryInstructionSet) {
    RandomGenerator::State saved = RandomGenerator::shared().state();
    std::vector<const EngineKernels*> sets = {&baselineKernels()};
    if (wideKernels() && &engineKernels() == wideKernels()) sets.push_back(wideKernels());
    for (const EngineKernels* kernels : sets)
        for (unsigned seed : {1u, 2u, 3u, 4u}) {
            double peak = 0;
            std::size_t compared = runScript(seed, *kernels, peak);
            ASSERT_FALSE(HasFatalFailure());
            EXPECT_GT(compared, 500000u);
            EXPECT_GT(peak, 0.05) << seed; // the notes were tracked and played
        }
    RandomGenerator::shared().setState(saved.z, saved.w);
}

// The optimised oscillator and LFO against the plain reference, sample by sample and bit for bit,
// over long scripted runs that exercise every waveform, parameter, envelope path and transport
// case the block routine can produce.
#include "ReferenceSynth.h"
#include "dsp/Lfo.h"
#include "dsp/Oscillator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

using namespace Korvel;

namespace {

struct OscSettings {
    int waveform;
    double partial, detune, attack, release, noise, level;
};

struct Block {
    int length = 0;
    double sampleRate = 0; // 0: unchanged
    bool changes[3] = {};
    OscSettings osc[3] = {};
    enum Mode { Steady, Glide, Released } mode = Steady;
    double frequency = 0; // steady frequency or glide target
    double glideCoef = 0;
    bool sync = false;
    double ppqPos = 0, tempo = 0;
    bool playing = false;
    bool lfoChange = false;
    int lfoWaveform = 0;
    double cyclesPerBar = 0, phaseOffset = 0;
};

std::vector<Block> makeScript(unsigned seed, int blocks) {
    std::mt19937_64 rng(seed);
    auto uniform = [&](double lo, double hi) {
        return lo + (hi - lo) * std::uniform_real_distribution<double>(0, 1)(rng);
    };
    auto chance = [&](double p) { return uniform(0, 1) < p; };
    auto integer = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto pitch = [&]() {
        if (chance(0.05)) {
            const double odd[] = {0, 3, 12, 25, 29.9, 30};
            return odd[integer(0, 5)];
        }
        return 20 * std::pow(110.0, uniform(0, 1)); // 20 .. 2200 Hz
    };
    std::vector<Block> script;
    for (int b = 0; b < blocks; ++b) {
        Block k;
        k.length = chance(0.2) ? integer(1, 12) : integer(50, 3000);
        if (b > 0 && chance(0.01)) {
            const double rates[] = {22050, 44100, 48000, 96000};
            k.sampleRate = rates[integer(0, 3)];
        }
        for (int i = 0; i < 3; ++i) {
            k.changes[i] = b == 0 || k.sampleRate > 0 || chance(0.3);
            OscSettings& o = k.osc[i];
            o.waveform = integer(0, 3);
            o.partial = chance(0.8) ? integer(1, 6) : uniform(1, 6);
            o.detune = integer(-99, 99);
            o.attack = integer(1, 50) * 0.01;
            o.release = integer(1, 50) * 0.01;
            o.noise = chance(0.5) ? 0 : uniform(0, 0.2);
            o.level = chance(0.2) ? 0 : chance(0.5) ? 1 : uniform(0, 1);
        }
        double r = uniform(0, 1);
        k.mode = r < 0.4 ? Block::Steady : r < 0.7 ? Block::Glide : Block::Released;
        k.frequency = pitch();
        k.glideCoef = uniform(0.001, 0.05);
        k.sync = chance(0.5);
        k.ppqPos = uniform(-1, 100);
        k.tempo = uniform(40, 240);
        k.playing = chance(0.6);
        k.lfoChange = b == 0 || k.sampleRate > 0 || chance(0.2);
        k.lfoWaveform = integer(0, 6);
        k.cyclesPerBar = integer(1, 32);
        k.phaseOffset = integer(0, 359) * 0.002777777777777778;
        script.push_back(k);
    }
    return script;
}

struct Optimised {
    Oscillator osc[3];
    Lfo lfo;
    void setSampleRate(double sr) {
        for (Oscillator& o : osc)
            o.setSampleRate(sr);
        lfo.setSampleRate(sr);
    }
    void set(int i, const OscSettings& s) {
        osc[i].setWaveform(s.waveform);
        osc[i].setPartial(s.partial);
        osc[i].setDetune(s.detune);
        osc[i].setAttack(s.attack);
        osc[i].setRelease(s.release);
        osc[i].setNoise(s.noise);
        osc[i].setLevel(s.level);
    }
    void setLfo(const Block& k) {
        lfo.setWaveform(k.lfoWaveform);
        lfo.setCyclesPerBar(k.cyclesPerBar);
        lfo.setPhaseOffset(k.phaseOffset);
    }
    void sync(const Block& k) { lfo.sync(k.ppqPos, k.tempo, k.playing, true); }
    void note(int i, double f) { osc[i].setFrequency(f); }
    void release(int i) { osc[i].release(); }
    double process(int i) {
        osc[i].process();
        return osc[i].output();
    }
    double processLfo() { return lfo.process(); }
};

struct Plain {
    Reference::Oscillator osc[3];
    Reference::Lfo lfo;
    void setSampleRate(double sr) {
        for (Reference::Oscillator& o : osc)
            o.setSampleRate(sr);
        lfo.setSampleRate(sr);
    }
    void set(int i, const OscSettings& s) {
        Reference::Oscillator& o = osc[i];
        o.waveform = s.waveform;
        o.partial = s.partial;
        o.updateRatio();
        o.detune = s.detune;
        o.updateRatio();
        o.attack = s.attack;
        o.release = s.release;
        o.noise = s.noise;
        o.level = s.level;
    }
    void setLfo(const Block& k) {
        lfo.waveform = k.lfoWaveform;
        lfo.cyclesPerBar = k.cyclesPerBar;
        lfo.phaseOffset = k.phaseOffset;
    }
    void sync(const Block& k) { lfo.sync(k.ppqPos, k.tempo, k.playing, true); }
    void note(int i, double f) { osc[i].setFrequency(f); }
    void release(int i) { osc[i].doRelease(); }
    double process(int i) {
        osc[i].process();
        return osc[i].output;
    }
    double processLfo() { return lfo.process(); }
};

std::uint64_t bits(double x) {
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

struct Rendered {
    std::vector<std::uint64_t> samples; // three oscillators and the LFO per sample
    RandomGenerator::State end;
    double checksum = 0;
};

template <class Synth> Rendered render(const std::vector<Block>& script) {
    RandomGenerator::shared().setState(123456789, 987654321);
    Rendered run;
    Synth synth; // the LFO draws its first random level here
    double f = 0;
    for (const Block& k : script) {
        if (k.sampleRate > 0) synth.setSampleRate(k.sampleRate);
        for (int i = 0; i < 3; ++i)
            if (k.changes[i]) synth.set(i, k.osc[i]);
        if (k.lfoChange) synth.setLfo(k);
        if (k.sync) synth.sync(k);
        if (k.mode == Block::Steady) f = k.frequency;
        for (int n = 0; n < k.length; ++n) {
            if (k.mode == Block::Glide)
                f = f == 0 ? k.frequency : f + (k.frequency - f) * k.glideCoef;
            for (int i = 0; i < 3; ++i) {
                if (k.mode == Block::Released)
                    synth.release(i);
                else
                    synth.note(i, f);
            }
            for (int i = 0; i < 3; ++i) {
                // The sign of a silent zero is not kept by the optimised path (and cannot reach
                // the output, where a non-negative term is always added).
                double out = synth.process(i) + 0.0;
                run.samples.push_back(bits(out));
                run.checksum += std::fabs(out);
            }
            run.samples.push_back(bits(synth.processLfo()));
        }
    }
    run.end = RandomGenerator::shared().state();
    return run;
}

} // namespace

TEST(SynthReference, OptimisedOscillatorsAndLfoMatchThePlainArithmeticBitForBit) {
    RandomGenerator::State saved = RandomGenerator::shared().state();
    for (unsigned seed : {1u, 2u, 3u}) {
        std::vector<Block> script = makeScript(seed, 500);
        Rendered fast = render<Optimised>(script);
        Rendered plain = render<Plain>(script);
        ASSERT_EQ(fast.samples.size(), plain.samples.size());
        for (std::size_t i = 0; i < fast.samples.size(); ++i)
            ASSERT_EQ(fast.samples[i], plain.samples[i])
                << "seed " << seed << ", sample " << i / 4 << ", "
                << (i % 4 == 3 ? "LFO" : "oscillator ") << (i % 4 == 3 ? 0 : i % 4 + 1);
        EXPECT_EQ(fast.end.z, plain.end.z);
        EXPECT_EQ(fast.end.w, plain.end.w);
        // The script makes sound most of the time.
        EXPECT_GT(fast.checksum / (fast.samples.size() / 4.0), 0.1) << seed;
    }
    RandomGenerator::shared().setState(saved.z, saved.w);
}

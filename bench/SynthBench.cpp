// One oscillator per waveform in sustain at a gliding pitch, and the LFO per shape: one second of
// 44.1 kHz audio per iteration.
#include "dsp/Lfo.h"
#include "dsp/Oscillator.h"

#include <benchmark/benchmark.h>

using namespace Korvel;

namespace {

constexpr int kSecond = 44100;

void oscillator(benchmark::State& state) {
    Oscillator osc;
    osc.setWaveform(static_cast<int>(state.range(0)));
    osc.setLevel(1);
    osc.setNoise(state.range(1) ? 0.1 : 0);
    double sink = 0;
    for (auto _ : state) {
        double f = 220;
        for (int i = 0; i < kSecond; ++i) {
            // A slow vibrato: a new frequency every sample, as during a glide.
            f = i % 4410 < 2205 ? f * 1.000001 : f / 1.000001;
            osc.setFrequency(state.range(2) ? f : 220);
            osc.process();
            sink += osc.output();
        }
        benchmark::DoNotOptimize(sink);
    }
    state.SetItemsProcessed(state.iterations() * kSecond);
}

void lfo(benchmark::State& state) {
    Lfo l;
    l.setWaveform(static_cast<int>(state.range(0)));
    l.setCyclesPerBar(4);
    l.sync(0, 120, true, true);
    double sink = 0;
    for (auto _ : state) {
        for (int i = 0; i < kSecond; ++i)
            sink += l.process();
        benchmark::DoNotOptimize(sink);
    }
    state.SetItemsProcessed(state.iterations() * kSecond);
}

} // namespace

// Arguments: waveform, noise on, gliding.
BENCHMARK(oscillator)
    ->ArgNames({"wave", "noise", "glide"})
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(lfo)->ArgName("shape")->DenseRange(0, 5)->Unit(benchmark::kMicrosecond);

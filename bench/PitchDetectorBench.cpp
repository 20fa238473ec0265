// Ten seconds of input through the pitch detector with the effect's default settings, in blocks of
// 128 as the engine drives it.
#include "bench/DetectorInputs.h"
#include "dsp/PitchDetector.h"

#include <benchmark/benchmark.h>

#include <algorithm>

using namespace Korvel;

namespace {

void runDetector(benchmark::State& state, const char* kind) {
    std::vector<double> input = detectorInput(kind);
    PitchDetector d;
    setDefaultProgram(d);
    double sink = 0;
    double confirmed[128];
    for (auto _ : state) {
        for (std::size_t at = 0; at < input.size(); at += 128) {
            int n = static_cast<int>(std::min<std::size_t>(128, input.size() - at));
            d.processBlock(&input[at], n, confirmed);
            sink += confirmed[n - 1];
        }
        benchmark::DoNotOptimize(sink);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * input.size()));
    state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(input.size()) / 44100 *
                                                          static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK_CAPTURE(runDetector, melody, "melody")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(runDetector, noise, "noise")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(runDetector, silence, "silence")->Unit(benchmark::kMillisecond);

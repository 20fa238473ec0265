// Renders a minute of 44.1 kHz stereo through the effect for each kind of input and prints the
// real-time factor. Wall-clock time is noisy on a shared machine; bench/callgrind.sh runs this
// under callgrind for the deterministic instruction counts.
//
//   ombrel-bench [--kind melody|random|noise|silence|all] [--seconds S] [--instances N]
#include "dsp/RandomGenerator.h"
#include "host/Ombrel.h"
#include "params/OmbrelParameters.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace Korvel;

namespace {

const double kRate = 44100;
const int kBlock = 512;

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterGetSampleRate) return 44100;
    return 0;
}

// A monophonic line: a saw-like tone stepping through a scale, each note 0.3 s, with short gaps.
struct Melody {
    double phase = 0;
    std::size_t frame = 0;
    float next() {
        static const double notes[] = {220.0,  246.94, 277.18, 329.63,
                                       369.99, 440.0,  329.63, 277.18};
        std::size_t note = (frame / 13230) % 8;
        bool gap = frame % 13230 > 12000;
        ++frame;
        phase += notes[note] / kRate;
        phase -= std::floor(phase);
        double saw = 2 * phase - 1;
        return gap ? 0.0f : static_cast<float>(0.3 * saw);
    }
};

// White noise from a generator of our own, so the effect's shared one is not disturbed.
struct Noise {
    std::uint32_t state = 12345;
    float next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>((state >> 8) * (1.0 / 8388608.0) - 1.0) * 0.3f;
    }
};

// Eight seconds of input made once and played in a loop, so that making it costs the same in a
// short and a long render and cancels out of the instruction counts.
std::vector<float> loopFor(const std::string& kind) {
    std::vector<float> loop(static_cast<std::size_t>(8 * kRate));
    Melody melody;
    Noise noise;
    for (float& v : loop)
        v = kind == "noise" ? noise.next() : kind == "silence" ? 0.0f : melody.next();
    return loop;
}

double render(Ombrel& fx, const std::vector<float>& loop, double seconds) {
    AEffect* e = fx.getAeffect();
    std::vector<float> l(kBlock), r(kBlock), ol(kBlock), orr(kBlock);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    long total = static_cast<long>(seconds * kRate);
    std::size_t at = 0;
    double checksum = 0;
    auto start = std::chrono::steady_clock::now();
    for (long pos = 0; pos < total; pos += kBlock) {
        int frames = static_cast<int>(std::min<long>(kBlock, total - pos));
        for (int i = 0; i < frames; ++i) {
            l[i] = r[i] = loop[at];
            if (++at == loop.size()) at = 0;
        }
        e->processReplacing(e, in, out, frames);
        checksum += ol[0];
    }
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // Keeps the optimiser from dropping the work.
    if (checksum == 12345.678) std::puts("");
    return elapsed > 0 ? seconds / elapsed : 0;
}

std::unique_ptr<Ombrel> makeEffect(const std::string& kind) {
    std::unique_ptr<Ombrel> fx(new Ombrel(hostCallback));
    fx->getAeffect()->dispatcher(fx->getAeffect(), effSetBlockSize, 0, kBlock, nullptr, 0);
    if (kind == "random") {
        RandomGenerator::shared().setState(71, 89);
        fx->runCommand(kCommandRandom);
    }
    fx->getAeffect()->dispatcher(fx->getAeffect(), effMainsChanged, 0, 1, nullptr, 0);
    return fx;
}

} // namespace

int main(int argc, char** argv) {
    std::string kind = "all";
    double seconds = 60;
    int instances = -1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--kind"))
            kind = argv[i + 1];
        else if (!std::strcmp(argv[i], "--seconds"))
            seconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--instances"))
            instances = std::atoi(argv[i + 1]);
    }
    if (instances >= 0) {
        // Start-up cost only: create and keep the instances.
        std::vector<std::unique_ptr<Ombrel>> kept;
        for (int n = 0; n < instances; ++n)
            kept.emplace_back(new Ombrel(hostCallback));
        return 0;
    }

    const char* kinds[] = {"melody", "random", "noise", "silence"};
    for (const char* k : kinds) {
        if (kind != "all" && kind != k) continue;
        std::unique_ptr<Ombrel> fx = makeEffect(k);
        double factor = render(*fx, loopFor(k), seconds);
        if (kind == "all" || seconds >= 1)
            std::printf("%-8s %6.1f s of audio: %7.1f x real time\n", k, seconds, factor);
    }
    Ombrel probe(hostCallback);
    std::printf("memory per instance (shared tables excluded): %zu bytes\n",
                probe.engine().instanceBytes() + sizeof(Ombrel) - sizeof(OmbrelEngine));
    return 0;
}

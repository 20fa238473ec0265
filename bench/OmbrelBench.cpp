// Renders 44.1 kHz stereo through the effect, as a host playing at 120 BPM drives it, for each
// program and input, and prints the real-time factors. Wall-clock time is noisy on a shared
// machine; bench/callgrind.sh runs this under callgrind for the deterministic instruction counts.
//
//   ombrel-bench [--program default|rich|all] [--kind melody|noise|silence|all] [--seconds S]
//                [--null] [--baseline] [--instances N]
//
// --null renders through a plug-in that does nothing, so that the host's own work (making the
// input, the block loop, the time information) can be taken out of the counts. --instances N only
// creates N effects (the start-up cost). --baseline runs the baseline x86-64 kernels even where
// the processor has wider ones.
#include "dsp/EngineKernels.h"
#include "host/Ombrel.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace Korvel;

namespace {

const double kRate = 44100;
const int kBlock = 512;
const double kTempo = 120;

// The transport of a host playing at 120 BPM; the render moves its position on at every block.
VstTimeInfo transport;

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterGetSampleRate) return 44100;
    if (opcode == audioMasterGetTime) return reinterpret_cast<VstIntPtr>(&transport);
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

double render(AEffect* e, const std::vector<float>& loop, double seconds) {
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
        transport.ppqPos = static_cast<double>(pos) * (kTempo / 60) / kRate;
        transport.samplePos = static_cast<double>(pos);
        e->processReplacing(e, in, out, frames);
        checksum += ol[0];
    }
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // Keeps the optimiser from dropping the work.
    if (checksum == 12345.678) std::puts("");
    return elapsed > 0 ? seconds / elapsed : 0;
}

// Saw, triangle and square on partials 1, 3 and 6 with detunes, slow envelopes, noise on all
// three and a triangle tremolo at 60 %: every stage of the synth at work.
const std::pair<int, const char*> kRich[] = {
    {4, "Sawtooth"},  {5, "-7"},      {6, "0.3"},       {7, "0.5"},  {8, "-30"},
    {10, "Triangle"}, {11, "3"},      {12, "5"},        {13, "0.4"}, {14, "0.5"},
    {15, "-24"},      {17, "Square"}, {18, "6"},        {19, "12"},  {20, "0.5"},
    {21, "0.5"},      {22, "-36"},    {24, "Triangle"}, {27, "60"}};

std::unique_ptr<Ombrel> makeEffect(const std::string& program) {
    std::unique_ptr<Ombrel> fx(new Ombrel(hostCallback));
    AEffect* e = fx->getAeffect();
    e->dispatcher(e, effSetBlockSize, 0, kBlock, nullptr, 0);
    if (program == "rich")
        for (const auto& s : kRich) {
            char text[32];
            std::snprintf(text, sizeof text, "%s", s.second);
            e->dispatcher(e, effString2Parameter, s.first, 0, text, 0);
        }
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0);
    return fx;
}

// The null plug-in: a bare effect record whose processing does nothing.
void VSTCALLBACK nullProcess(AEffect*, float**, float**, VstInt32) {}

} // namespace

int main(int argc, char** argv) {
    std::string program = "all";
    std::string kind = "all";
    double seconds = 60;
    int instances = -1;
    bool null = false;
    for (int i = 1; i < argc; ++i) {
        bool more = i + 1 < argc;
        if (!std::strcmp(argv[i], "--null"))
            null = true;
        else if (!std::strcmp(argv[i], "--baseline"))
            preferBaselineKernels(true);
        else if (more && !std::strcmp(argv[i], "--program"))
            program = argv[++i];
        else if (more && !std::strcmp(argv[i], "--kind"))
            kind = argv[++i];
        else if (more && !std::strcmp(argv[i], "--seconds"))
            seconds = std::atof(argv[++i]);
        else if (more && !std::strcmp(argv[i], "--instances"))
            instances = std::atoi(argv[++i]);
    }
    if (instances >= 0) {
        // Start-up cost only: create and keep the instances.
        std::vector<std::unique_ptr<Ombrel>> kept;
        for (int n = 0; n < instances; ++n)
            kept.emplace_back(new Ombrel(hostCallback));
        return 0;
    }
    transport.sampleRate = kRate;
    transport.tempo = kTempo;
    transport.timeSigNumerator = transport.timeSigDenominator = 4;
    transport.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid;

    const char* programs[] = {"default", "rich"};
    const char* kinds[] = {"melody", "noise", "silence"};
    for (const char* p : programs) {
        if (program != "all" && program != p) continue;
        for (const char* k : kinds) {
            if (kind != "all" && kind != k) continue;
            std::vector<float> loop = loopFor(k);
            double factor;
            if (null) {
                AEffect bare{};
                bare.magic = kEffectMagic;
                bare.numInputs = bare.numOutputs = 2;
                bare.processReplacing = nullProcess;
                factor = render(&bare, loop, seconds);
            } else {
                std::unique_ptr<Ombrel> fx = makeEffect(p);
                factor = render(fx->getAeffect(), loop, seconds);
            }
            if (seconds >= 1)
                std::printf("%-7s %-7s %6.1f s of audio: %7.1f x real time\n", p, k, seconds,
                            factor);
        }
    }
    if (!null) {
        Ombrel probe(hostCallback);
        std::printf("memory per instance (shared tables excluded): %zu bytes\n",
                    probe.engine().instanceBytes() + sizeof(Ombrel) - sizeof(OmbrelEngine));
    }
    return 0;
}

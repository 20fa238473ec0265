// The sound engine of one effect instance: pitch detector, three oscillators and the tremolo LFO,
// run sample by sample. It knows no host: the effect hands it settings, transport information and
// channel buffers.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

namespace Korvel {

struct EngineKernels;
class NoteEvents;

// Everything the parameters decide, in engine units.
struct EngineSettings {
    double minFreq = 70;
    double maxFreq = 1200;
    double gateDb = -40;
    int speed = 3;
    struct Osc {
        int waveform = 0;
        double partial = 1;
        double detune = 0;
        double attack = 0.01;
        double release = 0.01;
        double noise = 0;
        double level = 1;
    } osc[3];
    int lfoWaveform = 0;
    double lfoCyclesPerBar = 4;
    double lfoPhaseOffset = 0;
    double lfoDepth = 0;
    double mainGain = 1;
};

// The host's transport, when it reports both song position and tempo.
struct EngineTransport {
    bool playing = false;
    double ppqPos = 0;
    double tempo = 0;
};

class OmbrelEngine {
public:
    OmbrelEngine();
    ~OmbrelEngine();
    OmbrelEngine(const OmbrelEngine&) = delete;
    OmbrelEngine& operator=(const OmbrelEngine&) = delete;

    // Set-up thread, never while a block runs: prepares every part for the rate (the detector
    // with its placeholder limits). The caller resets afterwards.
    void setSampleRate(double rate);
    // Set-up thread: detector (with its confirmation), oscillators released, glide cleared.
    void reset();
    // Any thread, one publisher at a time (two at once could leave a mix of both for good): the
    // settings reach the engine at the start of the next block.
    void publish(const EngineSettings& settings);
    // Audio thread. transport is null when the host reports no tempo and position. Single
    // precision gives the samples that widening to double, processing and narrowing would.
    void process(double* const* inputs, int inputCount, double* const* outputs, int outputCount,
                 int frames, bool bypass, const EngineTransport* transport);
    void process(float* const* inputs, int inputCount, float* const* outputs, int outputCount,
                 int frames, bool bypass, const EngineTransport* transport);

    // Set-up thread: the tracked pitch as notes into events (null: none, and no cost), which the
    // caller clears before each host block and reads after it.
    void setNoteOutput(NoteEvents* events);
    // Any thread: the sounding note ends at the next block (a program or state change).
    void endNote();

    // Set-up thread: the kernels to run (tests and benchmarks compare the instruction sets; the
    // engine starts with engineKernels(), the widest the processor has).
    void useKernels(const EngineKernels& kernels);

    // Memory owned by this instance (shared wave tables excluded).
    std::size_t instanceBytes() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace Korvel

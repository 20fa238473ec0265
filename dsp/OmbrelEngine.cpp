#include "dsp/OmbrelEngine.h"

#include "dsp/ChannelRouting.h"
#include "dsp/EngineKernels.h"
#include "dsp/FastMath.h"
#include "dsp/FloatingPointGuard.h"
#include "dsp/Lfo.h"
#include "dsp/NoteFollower.h"
#include "dsp/OscillatorBank.h"
#include "dsp/PitchDetector.h"
#include "dsp/RandomGenerator.h"
#include "dsp/WaveTables.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace Korvel {

namespace {

// A settings record one thread at a time may publish while the audio thread reads it (two
// publishers at once could leave a mix of both for good, which no next block repairs): stored word
// by word in relaxed atomics, so a reader racing a writer sees a mix of old and new fields
// (harmless, the next block brings the rest) but never a torn word. The version tells the reader
// there is something new; release/acquire makes the words at least as new as the version it saw.
class SettingsMailbox {
public:
    static_assert(std::is_trivially_copyable<EngineSettings>::value, "copied word by word");
    static constexpr std::size_t kWords = (sizeof(EngineSettings) + 7) / 8;

    void store(const EngineSettings& settings) {
        std::uint64_t words[kWords] = {};
        std::memcpy(words, &settings, sizeof settings);
        for (std::size_t i = 0; i < kWords; ++i)
            words_[i].store(words[i], std::memory_order_relaxed);
        version_.fetch_add(1, std::memory_order_release);
    }
    unsigned version() const { return version_.load(std::memory_order_acquire); }
    EngineSettings load() const {
        std::uint64_t words[kWords];
        for (std::size_t i = 0; i < kWords; ++i)
            words[i] = words_[i].load(std::memory_order_relaxed);
        EngineSettings settings;
        std::memcpy(&settings, words, sizeof settings);
        return settings;
    }

private:
    std::atomic<std::uint64_t> words_[kWords] = {};
    std::atomic<unsigned> version_{0};
};

} // namespace

struct OmbrelEngine::Impl {
    OscillatorBank oscillators;
    double mainGain = 1;
    // The synth sample of the previous frame: the synth reaches the output one sample late.
    double lastOutput = 0;
    Lfo lfo;
    double sampleRate = 44100;
    double lfoDepth = 0;
    PitchDetector detector;
    double smoothCoef = 1;
    double smoothedPeriod = 0;
    double engineFrequency = 0;
    NoteFollower notes;
    NoteEvents* noteEvents = nullptr;

    SettingsMailbox mailbox;
    // The mailbox version last applied; a reset forces the next block to apply again, since the
    // sample-rate set-up leaves placeholder limits in the detector.
    std::atomic<unsigned> applied{0};
    std::atomic<bool> forceApply{true};

    // Work arrays for one chunk of a block, so each stage runs as its own tight loop. Four more
    // entries than a chunk: the kernels work four samples at a time.
    static constexpr int kChunk = OscillatorBank::kMaxFrames;
    static constexpr int kPadded = kChunk + 4;
    alignas(32) double dryLeft[kPadded] = {};
    alignas(32) double dryRight[kPadded] = {};
    alignas(32) double mono[kPadded] = {};
    alignas(32) double confirmed[kPadded] = {}; // the detector's confirmed period
    alignas(32) double frequency[kPadded] = {}; // the tracked frequency, 0 where there is none
    int runEnds[kChunk] = {};                   // where the runs with and without one end
    int runs = 0;
    bool constantFrequency = false;            // one value throughout the chunk
    alignas(32) double draws[3][kPadded] = {}; // each oscillator's noise
    alignas(32) double lfoPhase[kPadded] = {};
    alignas(32) double tremolo[kPadded] = {};
    int lfoCycles[kChunk] = {};
    double lfoDraws[kChunk] = {};
    alignas(32) double floorNoise[kPadded] = {};
    alignas(32) double voices[kPadded] = {};
    alignas(32) double value[kPadded] = {};
    const EngineKernels* kernels = &engineKernels();

    template <class T>
    void processBlock(T* const* inputs, int inputCount, T* const* outputs, int outputCount,
                      int frames, bool bypass, const EngineTransport* transport);
    template <class T>
    void processChunk(const T* left, const T* right, T* outLeft, T* outRight, int frames,
                      bool stereoIn, bool stereoOut, bool bypass);
    // The detector and the glide: frequency and its runs.
    void track(int frames, int marks);
    // value: the synth sample of each frame.
    void synthesise(int frames);
    void apply(const EngineSettings& s);
    void applyPending();
};

void OmbrelEngine::Impl::apply(const EngineSettings& s) {
    detector.setMinFreq(s.minFreq);
    detector.setMaxFreq(s.maxFreq);
    detector.setGate(s.gateDb);
    detector.setSpeed(s.speed);
    for (int k = 0; k < 3; ++k) {
        const EngineSettings::Osc& o = s.osc[k];
        oscillators.setWaveform(k, o.waveform);
        oscillators.setPartial(k, o.partial);
        oscillators.setDetune(k, o.detune);
        oscillators.setAttack(k, o.attack);
        oscillators.setRelease(k, o.release);
        oscillators.setNoise(k, o.noise);
        oscillators.setLevel(k, o.level);
    }
    lfo.setWaveform(s.lfoWaveform);
    lfo.setCyclesPerBar(s.lfoCyclesPerBar);
    lfo.setPhaseOffset(s.lfoPhaseOffset);
    lfoDepth = s.lfoDepth;
    mainGain = s.mainGain;
}

// Per sample the engine runs the detector, then the three oscillators, the LFO and the noise
// floor, each drawing from the shared generator in that order, then writes the frame of the
// synth sample computed one sample earlier. The stages only meet through the tracked frequency
// and the draws, so each runs over the whole chunk in turn, with the draws taken beforehand in
// the per-sample order.
//
// Flush-to-zero and denormals-are-zero hold for the engine's arithmetic, not for the conversions
// between the host's single precision and the engine's double (they were made outside it before,
// and a float denormal is an ordinary double).
template <class T>
void OmbrelEngine::Impl::processChunk(const T* left, const T* right, T* outLeft, T* outRight,
                                      int frames, bool stereoIn, bool stereoOut, bool bypass) {
    // Every input is read before any output is written: hosts may process in place.
    double* dryL = bypass ? dryLeft : nullptr;
    double* dryR = bypass ? dryRight : nullptr;
    const double previous = lastOutput;
    if constexpr (std::is_same<T, float>::value) {
        const int marks = kernels->monoFloat(left, right, frames, mono, dryL, dryR);
        {
            FloatingPointGuard guard;
            track(frames, marks);
            synthesise(frames);
        }
        if (noteEvents) notes.process(confirmed, mono, frames, *noteEvents);
        kernels->outputsFloat(value, previous, dryL, dryR, frames, stereoIn, stereoOut, outLeft,
                              outRight);
    } else {
        FloatingPointGuard guard;
        const int marks = kernels->monoDouble(left, right, frames, mono, dryL, dryR);
        track(frames, marks);
        synthesise(frames);
        if (noteEvents) notes.process(confirmed, mono, frames, *noteEvents);
        kernels->outputsDouble(value, previous, dryL, dryR, frames, stereoIn, stereoOut, outLeft,
                               outRight);
    }
    lastOutput = value[frames - 1];
}

// The detector and the period glide: the tracked frequency per sample and its runs.
void OmbrelEngine::Impl::track(int frames, int marks) {
    const double before = detector.confirmedPeriod();
    const bool steady = detector.processBlock(mono, frames, confirmed, marks);
    double smoothed = smoothedPeriod;
    double tracked = engineFrequency;
    // A period that stands, and a glide that has arrived (or none): every sample the same.
    if (steady && (before <= 0 ? smoothed == 0 : smoothed == before)) {
        // The oscillators read only the first entry of a constant frequency.
        frequency[0] = tracked;
        runEnds[0] = frames;
        runs = 1;
        constantFrequency = true;
        return;
    }
    constantFrequency = false;
    // A note held throughout (the usual chunk while one sounds): one run, the glide's divisions
    // side by side.
    if (kernels->glideFollows(confirmed, frames, smoothCoef, sampleRate, smoothedPeriod,
                              frequency)) {
        runEnds[0] = frames;
        runs = 1;
        engineFrequency = frequency[frames - 1];
        return;
    }
    runs = 0;
    bool noted = tracked > 0;
    for (int i = 0; i < frames; ++i) {
        double period = confirmed[i];
        if (period <= 0) {
            smoothed = 0;
            tracked = 0;
        } else {
            smoothed = smoothed == 0 ? period : smoothed + (period - smoothed) * smoothCoef;
            tracked = sampleRate / smoothed;
        }
        if (i > 0 && (tracked > 0) != noted) runEnds[runs++] = i;
        noted = tracked > 0;
        frequency[i] = tracked;
    }
    runEnds[runs++] = frames;
    smoothedPeriod = smoothed;
    engineFrequency = tracked;
}

// The draws, the oscillators, the LFO and the mix: value[i] is the synth sample i.
void OmbrelEngine::Impl::synthesise(int frames) {
    const bool noteInChunk = runs > 1 || frequency[0] > 0;
    bool drawn[3];
    bool anyDrawn = false;
    for (int k = 0; k < 3; ++k) {
        drawn[k] = oscillators.drawsMatter(k, noteInChunk);
        anyDrawn |= drawn[k];
    }
    const bool lfoRuns = !lfo.stationary();
    // Without depth the tremolo's factor is 1 whatever the LFO gives.
    const bool tremoloHeard = lfoDepth != 0;
    // A chunk of the usual heard sine or triangle: the mix takes its shape from the phase.
    double runStep = 0;
    const bool lfoRun = lfoRuns && tremoloHeard && lfo.wholeRun(frames, runStep);
    const int cycles =
        lfoRuns && !lfoRun ? lfo.advance(*kernels, frames, lfoPhase, lfoCycles, tremoloHeard) : 0;
    const int lfoDrawCount = lfo.drawsAtCycles() ? cycles : 0;
    {
        RandomGenerator::Stream random(RandomGenerator::shared());
        // A draw nobody can hear only moves the sequence on.
        if (!anyDrawn && lfoDrawCount == 0) {
            kernels->floorDraws(&random.words().z, &random.words().w, frames, floorNoise);
        } else if (lfoDrawCount == 0) {
            // Every voice's draw taken, heard or not (nobody reads the others).
            double* voiceDraws[3] = {draws[0], draws[1], draws[2]};
            kernels->voiceDraws(&random.words().z, &random.words().w, frames, voiceDraws,
                                floorNoise);
        } else {
            for (int i = 0, next = 0; i < frames; ++i) {
                for (int k = 0; k < 3; ++k) {
                    if (drawn[k])
                        draws[k][i] = random.bipolar();
                    else
                        random.skip();
                }
                if (next < lfoDrawCount && lfoCycles[next] == i)
                    lfoDraws[next++] = random.bipolar();
                floorNoise[i] = random.uniform() * 5e-6;
            }
        }
    }
    if (lfoRuns && !lfoRun)
        lfo.finish(*kernels, lfoPhase, lfoCycles, cycles, lfoDraws, frames, tremolo, tremoloHeard);
    const double* voiceDraws[3] = {draws[0], draws[1], draws[2]};
    bool sounding = oscillators.process(*kernels, frequency, runEnds, runs, constantFrequency,
                                        voiceDraws, drawn, voices, frames);
    if (lfoRun) {
        kernels->mixTremolo(sounding ? voices : nullptr, floorNoise, lfo.waveform(), lfo.phase(),
                            runStep, mainGain, lfoDepth, frames, value);
        lfo.takeRun(frames, runStep);
        return;
    }
    kernels->mixSynth(sounding ? voices : nullptr, floorNoise,
                      lfoRuns && tremoloHeard ? tremolo : nullptr, lfo.output(), mainGain, lfoDepth,
                      frames, value);
}

void OmbrelEngine::Impl::applyPending() {
    unsigned version = mailbox.version();
    bool forced = forceApply.exchange(false, std::memory_order_relaxed);
    if (!forced && version == applied.load(std::memory_order_relaxed)) return;
    apply(mailbox.load());
    applied.store(version, std::memory_order_relaxed);
}

OmbrelEngine::OmbrelEngine() : impl_(new Impl) {
    // Every instance would need the tables on its first note; build them with the first one.
    WaveTables::shared();
}

OmbrelEngine::~OmbrelEngine() = default;

void OmbrelEngine::setSampleRate(double rate) {
    Impl& e = *impl_;
    e.detector.setSampleRate(rate);
    e.detector.setMinFreq(60);
    e.detector.setMaxFreq(1100);
    e.detector.setGate(-20);
    e.detector.setSpeed(6);
    e.sampleRate = rate;
    e.oscillators.setSampleRate(rate);
    e.lfo.setSampleRate(rate);
    // The period glide covers 90 % of a jump in 10 ms.
    double glideSamples = 0.01 * rate;
    e.smoothCoef = glideSamples > 0 ? 1 - fastPow2(-3.321928094887362 / glideSamples) : 1;
    e.notes.setSampleRate(rate);
    e.forceApply.store(true, std::memory_order_relaxed);
}

void OmbrelEngine::reset() {
    Impl& e = *impl_;
    e.detector.reset();
    e.detector.resetConfirmation();
    e.oscillators.release();
    e.smoothedPeriod = 0;
    e.engineFrequency = 0;
    e.notes.reset();
    e.forceApply.store(true, std::memory_order_relaxed);
}

void OmbrelEngine::publish(const EngineSettings& settings) {
    impl_->mailbox.store(settings);
}

template <class T>
void OmbrelEngine::Impl::processBlock(T* const* inputs, int inputCount, T* const* outputs,
                                      int outputCount, int frames, bool bypass,
                                      const EngineTransport* transport) {
    {
        FloatingPointGuard guard;
        applyPending();
        if (transport) lfo.sync(transport->ppqPos, transport->tempo, transport->playing, true);
    }
    if (noteEvents)
        notes.beginBlock(bypass, transport != nullptr, transport && transport->playing,
                         *noteEvents);
    bool stereoIn = inputCount > 1;
    bool stereoOut = outputCount > 1;
    const T* left = inputs[0];
    const T* right = stereoIn ? inputs[1] : inputs[0];
    T* outLeft = outputs[0];
    T* outRight = stereoOut ? outputs[1] : outputs[0];
    for (int done = 0; done < frames;) {
        int chunk = frames - done < kChunk ? frames - done : kChunk;
        processChunk(left + done, right + done, outLeft + done, outRight + done, chunk, stereoIn,
                     stereoOut, bypass);
        done += chunk;
    }
}

void OmbrelEngine::process(double* const* inputs, int inputCount, double* const* outputs,
                           int outputCount, int frames, bool bypass,
                           const EngineTransport* transport) {
    impl_->processBlock(inputs, inputCount, outputs, outputCount, frames, bypass, transport);
}

void OmbrelEngine::process(float* const* inputs, int inputCount, float* const* outputs,
                           int outputCount, int frames, bool bypass,
                           const EngineTransport* transport) {
    impl_->processBlock(inputs, inputCount, outputs, outputCount, frames, bypass, transport);
}

void OmbrelEngine::setNoteOutput(NoteEvents* events) {
    impl_->noteEvents = events;
}

void OmbrelEngine::endNote() {
    impl_->notes.requestEnd();
}

void OmbrelEngine::useKernels(const EngineKernels& kernels) {
    impl_->kernels = &kernels;
    impl_->detector.useKernels(kernels);
}

std::size_t OmbrelEngine::instanceBytes() const {
    return sizeof(OmbrelEngine) + sizeof(Impl) - sizeof(PitchDetector) +
           impl_->detector.memoryBytes();
}

} // namespace Korvel

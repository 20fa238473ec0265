#include "dsp/OmbrelEngine.h"

#include "dsp/ChannelRouting.h"
#include "dsp/EngineKernels.h"
#include "dsp/FastMath.h"
#include "dsp/FloatingPointGuard.h"
#include "dsp/Lfo.h"
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

    SettingsMailbox mailbox;
    // The mailbox version last applied; a reset forces the next block to apply again, since the
    // sample-rate set-up leaves placeholder limits in the detector.
    std::atomic<unsigned> applied{0};
    std::atomic<bool> forceApply{true};

    // Work arrays for one chunk of a block, so each stage runs as its own tight loop.
    static constexpr int kChunk = OscillatorBank::kMaxFrames;
    double dryLeft[kChunk] = {};
    double dryRight[kChunk] = {};
    double frequency[kChunk] = {}; // the tracked frequency per sample, 0 where there is none
    int runEnds[kChunk] = {};      // where the runs with and without a frequency end
    alignas(32) double draws[4 * kChunk] = {}; // the oscillators' noise, four per sample
    double tremolo[kChunk] = {};
    double floorNoise[kChunk] = {};
    double synth[kChunk] = {};
    const EngineKernels* kernels = &engineKernels();

    void processChunk(const double* left, const double* right, double* outLeft, double* outRight,
                      int frames, bool stereoIn, bool stereoOut, bool bypass);
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
void OmbrelEngine::Impl::processChunk(const double* left, const double* right, double* outLeft,
                                      double* outRight, int frames, bool stereoIn, bool stereoOut,
                                      bool bypass) {
    // Every input is read before any output is written: hosts may process in place.
    double smoothed = smoothedPeriod;
    double tracked = engineFrequency;
    int runs = 0;
    for (int i = 0; i < frames; ++i) {
        double l = left[i];
        double r = right[i];
        dryLeft[i] = l;
        dryRight[i] = r;
        detector.process((r + l) * 0.5);
        double period = detector.confirmedPeriod();
        if (period <= 0) {
            smoothed = 0;
            tracked = 0;
        } else {
            smoothed = smoothed == 0 ? period : smoothed + (period - smoothed) * smoothCoef;
            tracked = sampleRate / smoothed;
        }
        if (i > 0 && (tracked > 0) != (frequency[i - 1] > 0)) runEnds[runs++] = i;
        frequency[i] = tracked;
    }
    runEnds[runs++] = frames;
    smoothedPeriod = smoothed;
    engineFrequency = tracked;

    bool noteInChunk = runs > 1 || frequency[0] > 0;
    bool drawn[3];
    for (int k = 0; k < 3; ++k)
        drawn[k] = oscillators.drawsMatter(k, noteInChunk);
    {
        RandomGenerator::Stream random(RandomGenerator::shared());
        // A draw nobody can hear only moves the sequence on.
        bool stationary = lfo.stationary();
        double still = lfo.output();
        for (int i = 0; i < frames; ++i) {
            for (int k = 0; k < 3; ++k) {
                if (drawn[k])
                    draws[4 * i + k] = random.bipolar();
                else
                    random.skip();
            }
            tremolo[i] = stationary ? still : lfo.process(random);
            floorNoise[i] = random.uniform() * 5e-6;
        }
    }

    oscillators.process(*kernels, frequency, runEnds, runs, draws, drawn, synth, frames);
    for (int i = 0; i < frames; ++i)
        synth[i] = synth[i] + floorNoise[i];

    double previous = lastOutput;
    for (int i = 0; i < frames; ++i) {
        double a = bypass ? dryLeft[i] : previous;
        double b = bypass ? dryRight[i] : previous;
        routeFrame(stereoIn, stereoOut, a, b, &outLeft[i], &outRight[i]);
        previous = synth[i] * mainGain * (lfoDepth * 0.5 * (tremolo[i] - 1) + 1);
    }
    lastOutput = previous;
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
    e.forceApply.store(true, std::memory_order_relaxed);
}

void OmbrelEngine::reset() {
    Impl& e = *impl_;
    e.detector.reset();
    e.detector.resetConfirmation();
    e.oscillators.release();
    e.smoothedPeriod = 0;
    e.engineFrequency = 0;
    e.forceApply.store(true, std::memory_order_relaxed);
}

void OmbrelEngine::publish(const EngineSettings& settings) {
    impl_->mailbox.store(settings);
}

void OmbrelEngine::process(double* const* inputs, int inputCount, double* const* outputs,
                           int outputCount, int frames, bool bypass,
                           const EngineTransport* transport) {
    FloatingPointGuard guard;
    Impl& e = *impl_;
    e.applyPending();

    bool stereoIn = inputCount > 1;
    bool stereoOut = outputCount > 1;
    const double* left = inputs[0];
    const double* right = stereoIn ? inputs[1] : inputs[0];
    double* outLeft = outputs[0];
    double* outRight = stereoOut ? outputs[1] : outputs[0];
    if (transport) e.lfo.sync(transport->ppqPos, transport->tempo, transport->playing, true);

    for (int done = 0; done < frames;) {
        int chunk = frames - done < Impl::kChunk ? frames - done : Impl::kChunk;
        e.processChunk(left + done, right + done, outLeft + done, outRight + done, chunk, stereoIn,
                       stereoOut, bypass);
        done += chunk;
    }
}

void OmbrelEngine::useKernels(const EngineKernels& kernels) {
    impl_->kernels = &kernels;
}

std::size_t OmbrelEngine::instanceBytes() const {
    return sizeof(OmbrelEngine) + sizeof(Impl) - sizeof(PitchDetector) +
           impl_->detector.memoryBytes();
}

} // namespace Korvel

#include "dsp/OmbrelEngine.h"

#include "dsp/ChannelRouting.h"
#include "dsp/FastMath.h"
#include "dsp/FloatingPointGuard.h"
#include "dsp/Lfo.h"
#include "dsp/Oscillator.h"
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
    Oscillator oscillators[3];
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
    static constexpr int kChunk = 128;
    double dryLeft[kChunk] = {};
    double dryRight[kChunk] = {};
    double frequency[kChunk] = {};       // the tracked frequency per sample, 0 where there is none
    std::uint32_t draws[3][kChunk] = {}; // left as they are when no oscillator reads them
    double tremolo[kChunk] = {};
    double floorNoise[kChunk] = {};
    double voices[3][kChunk] = {};
    double synth[kChunk] = {};

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
        Oscillator& osc = oscillators[k];
        osc.setWaveform(o.waveform);
        osc.setPartial(o.partial);
        osc.setDetune(o.detune);
        osc.setAttack(o.attack);
        osc.setRelease(o.release);
        osc.setNoise(o.noise);
        osc.setLevel(o.level);
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
        frequency[i] = tracked;
    }
    smoothedPeriod = smoothed;
    engineFrequency = tracked;

    {
        RandomGenerator::Stream random(RandomGenerator::shared());
        // Without noise (the usual case) the oscillators' draws only move the sequence on.
        bool noise = oscillators[0].readsDraws() || oscillators[1].readsDraws() ||
                     oscillators[2].readsDraws();
        bool stationary = lfo.stationary();
        double still = lfo.output();
        for (int i = 0; i < frames; ++i) {
            if (noise) {
                draws[0][i] = random.next();
                draws[1][i] = random.next();
                draws[2][i] = random.next();
            } else {
                random.skip();
                random.skip();
                random.skip();
            }
            tremolo[i] = stationary ? still : lfo.process(random);
            floorNoise[i] = random.uniform() * 5e-6;
        }
    }

    // An oscillator in the same state as one before it follows it exactly (noise aside, which
    // sameVoiceAs rules out), so it takes over that one's outputs and final state.
    int sameAs[3] = {-1, -1, -1};
    for (int k = 1; k < 3; ++k)
        for (int j = 0; j < k && sameAs[k] < 0; ++j)
            if (sameAs[j] < 0 && oscillators[k].sameVoiceAs(oscillators[j])) sameAs[k] = j;
    const double* outputs[3];
    for (int k = 0; k < 3; ++k) {
        if (sameAs[k] >= 0) {
            oscillators[k] = oscillators[sameAs[k]];
            outputs[k] = outputs[sameAs[k]];
        } else {
            oscillators[k].processBlock(frequency, draws[k], voices[k], frames);
            outputs[k] = voices[k];
        }
    }
    for (int i = 0; i < frames; ++i)
        synth[i] = outputs[0][i] + outputs[1][i] + outputs[2][i] + floorNoise[i];

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
    for (Oscillator& osc : e.oscillators)
        osc.setSampleRate(rate);
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
    for (Oscillator& osc : e.oscillators)
        osc.release();
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

std::size_t OmbrelEngine::instanceBytes() const {
    return sizeof(OmbrelEngine) + sizeof(Impl) - sizeof(PitchDetector) +
           impl_->detector.memoryBytes();
}

} // namespace Korvel

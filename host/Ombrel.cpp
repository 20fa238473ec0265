#include "host/Ombrel.h"

#include "core/KModule.h"
#include "dsp/PortableMath.h"
#include "params/OmbrelParameters.h"

#include <cmath>
#include <cstring>
#include <memory>

namespace Korvel {

namespace {

// Degrees to a fraction of a cycle by multiplying with the double nearest 1/360, never dividing by
// 360: the two differ in the last bit for some degrees, and the engine's output is bit-exact.
constexpr double kDegreesToCycles = 1.0 / 360;
static_assert(kDegreesToCycles == 0.002777777777777778, "the double nearest 1/360");

} // namespace

Ombrel::Ombrel(audioMasterCallback host)
    : KEffect(host, kOmbrelProgramCount, kOmbrelParamCount, 2, 2) {
    setUniqueID(vstFourCC('g', 'y', 'A', 'u'));
    canProcessReplacing();
    canDoubleReplacing();
    // Hosts then save and restore the whole bank (every program's name and values) through the
    // chunk; without the flag they keep only the current program's values.
    programsAreChunks();
    buildOmbrelParameters(parameters_);
    bank_.create(kOmbrelProgramCount, &parameters_);
    loadPresets("OmbrelPreset.txt");
    buildOmbrelCommands(commands_);
    updateSampleRate();
    setSampleRate(sampleRate);
}

Ombrel::~Ombrel() {
    releaseEditor();
}

bool Ombrel::supportsChannels(int inputs, int outputs) const {
    return (inputs == 1 || inputs == 2) && (outputs == 1 || outputs == 2);
}

VstInt32 Ombrel::canDo(char* text) {
    VstInt32 answer = KEffect::canDo(text);
    if (!text) return answer;
    static const char* const refused[] = {
        "sendVstEvents",       "sendVstMidiEvent",   "sendVstTimeInfo", "receiveVstEvents",
        "receiveVstMidiEvent", "receiveVstTimeInfo", "offline",         "midiProgramNames"};
    static const char* const offered[] = {"plugAsChannelInsert", "plugAsSend", "bypass"};
    for (const char* word : refused)
        if (std::strcmp(text, word) == 0) return -1;
    for (const char* word : offered)
        if (std::strcmp(text, word) == 0) return 1;
    return answer;
}

void Ombrel::runCommand(int id, bool, bool) {
    if (id == kCommandAutoLevel)
        autoLevel();
    else if (id == kCommandRandom)
        randomise();
}

// The other limit follows through setParamReal, the common change path, so its cell, cached texts
// and hook are handled like any change: that nested call applies the parameters, and the outer
// change applies them again. Applying twice is harmless (the engine takes the latest settings);
// a short cut would skip the other limit's cached texts.
void Ombrel::paramChanged(int index) {
    if (index != kMinFreq && index != kMaxFreq) return;
    double minFreq = parameterReal(kMinFreq);
    double maxFreq = parameterReal(kMaxFreq);
    if (index == kMinFreq && minFreq > maxFreq) setParamReal(kMaxFreq, minFreq);
    if (index == kMaxFreq && maxFreq < minFreq) setParamReal(kMinFreq, maxFreq);
}

void Ombrel::setSampleRate(float rate) {
    // A rate of 0, negative, non-finite or absurd would give infinite increments or a huge
    // history ring; the previous rate stays.
    if (!(rate > 0 && rate <= 1e6f)) return;
    AudioEffect::setSampleRate(rate);
    engine_.setSampleRate(rate);
    resetEngine();
}

void Ombrel::setProgram(VstInt32 program) {
    engine_.endNote();
    KEffect::setProgram(program);
}

VstInt32 Ombrel::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    VstInt32 taken = KEffect::setChunk(data, byteSize, isPreset);
    if (taken) engine_.endNote();
    return taken;
}

void Ombrel::resetEngine() {
    engine_.reset();
    applyParameters();
}

EngineSettings Ombrel::currentSettings() const {
    // One program throughout, even when the user-interface thread switches meanwhile.
    const int program = currentProgram();
    auto real = [&](int index) { return parameter(index)->cellReal(bank_.load(program, index)); };
    auto gain = [&](int index) { return parameter(index)->cellValue(bank_.load(program, index)); };
    auto rounded = [&real](int index) {
        // Bounded first: converting a double beyond int's range is undefined.
        double r = std::fmax(-1e6, std::fmin(1e6, real(index)));
        return static_cast<int>(r < 0 ? r - 0.5 : r + 0.5);
    };

    EngineSettings s;
    s.minFreq = real(kMinFreq);
    s.maxFreq = real(kMaxFreq);
    s.gateDb = real(kGate);
    s.speed = rounded(kSpeed);
    const int waves[3] = {kWave1, kWave2, kWave3};
    for (int k = 0; k < 3; ++k) {
        EngineSettings::Osc& osc = s.osc[k];
        int base = waves[k];
        // Oscillator 1 has no partial: its detune follows the waveform directly.
        int next = base + 1;
        osc.waveform = rounded(base);
        osc.partial = k == 0 ? 1 : real(next++);
        osc.detune = real(next++);
        osc.attack = real(next++);
        osc.release = real(next++);
        osc.noise = gain(next++);
        osc.level = gain(next++);
    }
    s.lfoWaveform = rounded(kLfoWave);
    s.lfoCyclesPerBar = real(kLfoFreq);
    s.lfoPhaseOffset = real(kLfoPhase) * kDegreesToCycles;
    s.lfoDepth = real(kLfoDepth) * 0.01;
    s.mainGain = PortableMath::exp10(0.05 * real(kMainLvl));
    return s;
}

void Ombrel::applyParameters() {
    settingsStale_.store(true, std::memory_order_release);
    requestEditorRefresh();
}

void Ombrel::publishSettings() {
    // Acquire pairs with the release above: the values read below are at least as new as the
    // change that marked them.
    if (settingsStale_.exchange(false, std::memory_order_acquire))
        engine_.publish(currentSettings());
}

const EngineTransport* Ombrel::transportForBlock(EngineTransport& transport) {
    // The host's position stands for the start of its block: later pieces of a split block carry
    // on from the first one's sync, as one whole block would.
    VstTimeInfo* info =
        blockOffset() == 0 ? getTimeInfo(kVstPpqPosValid | kVstTempoValid) : nullptr;
    if (!info) return nullptr;
    const VstInt32 wanted = kVstPpqPosValid | kVstTempoValid;
    if ((info->flags & wanted) != wanted) return nullptr;
    transport.playing = (info->flags & kVstTransportPlaying) != 0;
    transport.ppqPos = info->ppqPos;
    transport.tempo = info->tempo;
    return &transport;
}

void Ombrel::processDouble(double** inputs, int inputCount, double** outputs, int outputCount,
                           int frames) {
    EngineTransport transport;
    const EngineTransport* known = transportForBlock(transport);
    publishSettings();
    engine_.process(inputs, inputCount, outputs, outputCount, frames, bypassed(), known);
}

void Ombrel::processFloat(float** inputs, int inputCount, float** outputs, int outputCount,
                          int frames) {
    bool whole = inputs && outputs && frames > 0 && inputCount > 0 && outputCount > 0 &&
                 inputCount <= kMaxChannels && outputCount <= kMaxChannels;
    for (int k = 0; whole && k < inputCount; ++k)
        whole = inputs[k] != nullptr;
    for (int k = 0; whole && k < outputCount; ++k)
        whole = outputs[k] != nullptr;
    // Missing channels (and refusals) take the framework's way, which handles them.
    if (!whole) {
        KEffect::processFloat(inputs, inputCount, outputs, outputCount, frames);
        return;
    }
    EngineTransport transport;
    const EngineTransport* known = transportForBlock(transport);
    publishSettings();
    engine_.process(inputs, inputCount, outputs, outputCount, frames, bypassed(), known);
}

Ombrel* createEffect(audioMasterCallback audioMaster, const char* skinFileName,
                     KWindowFactory windows) {
    moduleRecord().instance.store(libraryInstanceHandle(), std::memory_order_relaxed);
    // Every member owns what it allocated, so a throw from any allocation, the editor's included,
    // unwinds without a leak.
    try {
        std::unique_ptr<Ombrel> effect(new Ombrel(audioMaster));
        effect->buildEditor(skinFileName, windows);
        return effect.release();
    } catch (...) {
        return nullptr;
    }
}

} // namespace Korvel

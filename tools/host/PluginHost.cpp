#include "tools/host/PluginHost.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <map>

namespace OmbrelHost {

namespace {

// Effects call back with their record, except during the entry function, when the record does
// not exist yet: the host being created answers those calls.
std::map<AEffect*, PluginHost*>& hostsByEffect() {
    static std::map<AEffect*, PluginHost*> hosts;
    return hosts;
}
PluginHost* gCreating = nullptr;

VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                   VstIntPtr value, void* ptr, float opt) {
    auto found = hostsByEffect().find(effect);
    PluginHost* host = found != hostsByEffect().end() ? found->second : gCreating;
    if (!host) return opcode == audioMasterVersion ? kVstVersion : 0;
    return host->answer(opcode, index, value, ptr, opt);
}

// Limits that no real effect reaches; beyond them the record is garbage.
constexpr int kMaxChannels = 64;
constexpr int kMaxParams = 100000;
constexpr int kMaxPrograms = 100000;

VstSpeakerArrangement arrangement(int channels) {
    VstSpeakerArrangement a{};
    a.type = channels == 1 ? kSpeakerArrMono : kSpeakerArrStereo;
    a.numChannels = channels;
    for (int i = 0; i < channels; ++i) {
        a.speakers[i].azimuth = channels == 1 ? 0.0f : (i == 0 ? -0.5f : 0.5f);
        a.speakers[i].radius = 1;
        a.speakers[i].type = channels == 1 ? 0 /* M */ : 1 + i /* L, R */;
        std::snprintf(a.speakers[i].name, sizeof a.speakers[i].name, "%s",
                      channels == 1 ? "M" : (i == 0 ? "L" : "R"));
    }
    return a;
}

} // namespace

VstTimeInfo* Transport::timeInfo(double sampleRate) {
    info_ = VstTimeInfo{};
    info_.samplePos = samplePos_;
    info_.sampleRate = sampleRate;
    info_.nanoSeconds = samplePos_ / sampleRate * 1e9;
    info_.tempo = tempo_;
    info_.ppqPos = samplePos_ / sampleRate * tempo_ / 60.0;
    info_.barStartPos = std::floor(info_.ppqPos / 4.0) * 4.0;
    info_.timeSigNumerator = 4;
    info_.timeSigDenominator = 4;
    info_.flags = kVstNanosValid | kVstPpqPosValid | kVstTempoValid | kVstBarsValid |
                  kVstTimeSigValid | (playing_ ? kVstTransportPlaying : 0) |
                  (reported_ ? 0 : kVstTransportChanged);
    reported_ = true;
    return &info_;
}

void Transport::advance(int frames) {
    if (playing_) samplePos_ += frames;
}

std::string fourCC(VstInt32 id) {
    char c[4];
    for (int i = 0; i < 4; ++i)
        c[i] = static_cast<char>((static_cast<std::uint32_t>(id) >> (24 - 8 * i)) & 0xff);
    bool printable = true;
    for (char ch : c)
        printable = printable && ch >= 0x20 && ch < 0x7f;
    if (printable) return std::string(c, 4);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(id));
    return hex;
}

PluginHost::PluginHost() = default;

PluginHost::~PluginHost() {
    unload();
}

bool PluginHost::load(const std::string& path, double sampleRate, int blockSize,
                      std::string& error) {
    unload();
    path_ = path;
    sampleRate_ = sampleRate;
    blockSize_ = blockSize;
    if (!library_.open(path, error)) {
        error = "cannot load plug-in " + path + ": " + error;
        return false;
    }
    // Effects may leave threads or exit handlers behind; like DAWs, keep their code mapped until
    // the process ends so those never run into unmapped memory.
    dlopen(path.find('/') == std::string::npos ? ("./" + path).c_str() : path.c_str(),
           RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    using Entry = AEffect* (*)(audioMasterCallback);
    void* symbol = library_.symbol("VSTPluginMain");
    if (!symbol) symbol = library_.symbol("main");
    if (!symbol) {
        error = path + " is not a VST 2.4 plug-in: it exports neither VSTPluginMain nor main";
        library_.close();
        return false;
    }
    gCreating = this;
    AEffect* effect = reinterpret_cast<Entry>(symbol)(hostCallback);
    gCreating = nullptr;
    if (!effect) {
        error = "plug-in " + path + " returned no effect";
        library_.close();
        return false;
    }
    const char* bad = nullptr;
    if (effect->magic != kEffectMagic)
        bad = "its effect record has the wrong magic";
    else if (!effect->dispatcher)
        bad = "its effect record has no dispatcher";
    else if (effect->numInputs < 0 || effect->numInputs > kMaxChannels || effect->numOutputs < 0 ||
             effect->numOutputs > kMaxChannels)
        bad = "it reports bad channel counts";
    else if (effect->numParams < 0 || effect->numParams > kMaxParams)
        bad = "it reports a bad parameter count";
    else if (effect->numPrograms < 0 || effect->numPrograms > kMaxPrograms)
        bad = "it reports a bad program count";
    if (bad) {
        char counts[160];
        if (effect->magic == kEffectMagic)
            std::snprintf(counts, sizeof counts,
                          " (inputs %d, outputs %d, parameters %d, programs %d)", effect->numInputs,
                          effect->numOutputs, effect->numParams, effect->numPrograms);
        else
            counts[0] = 0;
        error = "plug-in " + path + " is unusable: " + bad + counts;
        // A record this broken cannot be trusted to close itself.
        library_.close();
        return false;
    }
    effect_ = effect;
    hostsByEffect()[effect_] = this;
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate_));
    dispatch(effSetBlockSize, 0, blockSize_);
    return true;
}

void PluginHost::unload() {
    if (effect_) {
        if (running_) suspend();
        dispatch(effClose);
        hostsByEffect().erase(effect_);
        effect_ = nullptr;
    }
    library_.close();
}

VstIntPtr PluginHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string PluginHost::text(VstInt32 opcode, VstInt32 index, std::size_t limit) {
    // Far larger than any limit: effects are known to write past the published sizes.
    char buffer[1024] = {};
    dispatch(opcode, index, 0, buffer, 0);
    buffer[sizeof buffer - 1] = 0;
    std::string s(buffer, strnlen(buffer, limit));
    return s;
}

std::string PluginHost::effectName() {
    return text(effGetEffectName, 0, kVstMaxEffectNameLen);
}
std::string PluginHost::vendorName() {
    return text(effGetVendorString, 0, kVstMaxVendorStrLen);
}
std::string PluginHost::productName() {
    return text(effGetProductString, 0, kVstMaxProductStrLen);
}
VstIntPtr PluginHost::vendorVersion() {
    return dispatch(effGetVendorVersion);
}
VstIntPtr PluginHost::vstVersion() {
    return dispatch(effGetVstVersion);
}
VstIntPtr PluginHost::category() {
    return dispatch(effGetPlugCategory);
}
VstIntPtr PluginHost::canDo(const char* word) {
    return dispatch(effCanDo, 0, 0, const_cast<char*>(word), 0);
}

// Many effects write longer names and labels than the 8 characters of the published limit, and
// hosts show them; keep up to the label limit.
std::string PluginHost::paramName(int index) {
    return text(effGetParamName, index, 64);
}
std::string PluginHost::paramLabel(int index) {
    return text(effGetParamLabel, index, 64);
}
std::string PluginHost::paramDisplay(int index) {
    return text(effGetParamDisplay, index, 64);
}

float PluginHost::getParameter(int index) {
    return effect_->getParameter ? effect_->getParameter(effect_, index) : 0.0f;
}

void PluginHost::setParameter(int index, float value) {
    if (effect_->setParameter) effect_->setParameter(effect_, index, value);
}

bool PluginHost::setParameterText(int index, const std::string& value) {
    std::vector<char> buffer(value.begin(), value.end());
    buffer.push_back(0);
    return dispatch(effString2Parameter, index, 0, buffer.data(), 0) != 0;
}

int PluginHost::program() {
    return static_cast<int>(dispatch(effGetProgram));
}

void PluginHost::setProgram(int index) {
    dispatch(effBeginSetProgram);
    dispatch(effSetProgram, 0, index);
    dispatch(effEndSetProgram);
}

std::string PluginHost::programName(int index) {
    char buffer[1024] = {};
    if (dispatch(effGetProgramNameIndexed, index, -1, buffer, 0) == 0) {
        if (index != program()) return "";
        buffer[0] = 0;
        dispatch(effGetProgramName, 0, 0, buffer, 0);
    }
    buffer[sizeof buffer - 1] = 0;
    return std::string(buffer, strnlen(buffer, kVstMaxProgNameLen));
}

void PluginHost::setProgramName(const std::string& name) {
    char buffer[kVstMaxProgNameLen + 1] = {};
    std::snprintf(buffer, sizeof buffer, "%s", name.c_str());
    dispatch(effSetProgramName, 0, 0, buffer, 0);
}

bool PluginHost::hasChunk() {
    if (effect_->flags & effFlagsProgramChunks) return true;
    void* data = nullptr;
    return dispatch(effGetChunk, 0, 0, &data, 0) > 0 && data;
}

std::vector<std::uint8_t> PluginHost::chunk(bool program) {
    void* data = nullptr;
    VstIntPtr size = dispatch(effGetChunk, program ? 1 : 0, 0, &data, 0);
    if (size <= 0 || !data) return {};
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

bool PluginHost::setChunk(const std::vector<std::uint8_t>& data, bool program) {
    // The effect may keep reading while it parses: hand it a copy that lives through the call.
    std::vector<std::uint8_t> copy = data;
    return dispatch(effSetChunk, program ? 1 : 0, static_cast<VstIntPtr>(copy.size()), copy.data(),
                    0) != 0;
}

bool PluginHost::setSpeakers(int inputs, int outputs) {
    VstSpeakerArrangement in = arrangement(inputs);
    VstSpeakerArrangement out = arrangement(outputs);
    return dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out, 0) != 0;
}

bool PluginHost::setBypass(bool on) {
    return dispatch(effSetBypass, 0, on ? 1 : 0) != 0;
}

bool PluginHost::setDoublePrecision(bool on) {
    if (on && !(effect_->flags & effFlagsCanDoubleReplacing)) return false;
    dispatch(effSetProcessPrecision, 0, on ? 1 : 0); // kVstProcessPrecision64 / 32
    return true;
}

void PluginHost::resume() {
    if (running_) return;
    dispatch(effMainsChanged, 0, 1);
    dispatch(effStartProcess);
    running_ = true;
}

void PluginHost::suspend() {
    if (!running_) return;
    dispatch(effStopProcess);
    dispatch(effMainsChanged, 0, 0);
    running_ = false;
}

void PluginHost::process(float** inputs, float** outputs, int frames) {
    processing_ = true;
    if (effect_->processReplacing && (effect_->flags & effFlagsCanReplacing)) {
        effect_->processReplacing(effect_, inputs, outputs, frames);
    } else if (effect_->process) {
        // The deprecated call adds into the outputs.
        for (int c = 0; c < effect_->numOutputs; ++c)
            std::memset(outputs[c], 0, sizeof(float) * static_cast<std::size_t>(frames));
        effect_->process(effect_, inputs, outputs, frames);
    }
    processing_ = false;
    transport_.advance(frames);
}

void PluginHost::process(double** inputs, double** outputs, int frames) {
    processing_ = true;
    if (effect_->processDoubleReplacing)
        effect_->processDoubleReplacing(effect_, inputs, outputs, frames);
    processing_ = false;
    transport_.advance(frames);
}

VstIntPtr PluginHost::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                             float opt) {
    if (onCallback) onCallback(opcode, index, opt);
    switch (opcode) {
    case audioMasterVersion:
        return kVstVersion;
    case audioMasterGetSampleRate:
        return static_cast<VstIntPtr>(sampleRate_);
    case audioMasterGetBlockSize:
        return blockSize_;
    case audioMasterGetTime:
        return reinterpret_cast<VstIntPtr>(transport_.timeInfo(sampleRate_));
    case audioMasterGetCurrentProcessLevel:
        return processing_ ? 2 /* realtime */ : 1 /* user */;
    case audioMasterGetAutomationState:
        return 1; // off
    case audioMasterGetLanguage:
        return 1; // English
    case audioMasterGetVendorString:
        if (ptr) std::snprintf(static_cast<char*>(ptr), kVstMaxVendorStrLen, "Korvel");
        return ptr != nullptr;
    case audioMasterGetProductString:
        if (ptr) std::snprintf(static_cast<char*>(ptr), kVstMaxProductStrLen, "ombrel-host");
        return ptr != nullptr;
    case audioMasterGetVendorVersion:
        return 1000;
    case audioMasterCanDo: {
        const char* word = static_cast<const char*>(ptr);
        if (!word) return 0;
        static const char* const yes[] = {"sendVstTimeInfo", "startStopProcess"};
        for (const char* y : yes)
            if (std::strcmp(word, y) == 0) return 1;
        if (std::strcmp(word, "sizeWindow") == 0) return onSizeWindow ? 1 : 0;
        if (std::strcmp(word, "receiveVstEvents") == 0 ||
            std::strcmp(word, "receiveVstMidiEvent") == 0)
            return onEvents ? 1 : 0;
        return 0;
    }
    case audioMasterProcessEvents:
        if (!onEvents || !ptr) return 0;
        onEvents(*static_cast<const VstEvents*>(ptr));
        return 1;
    case audioMasterSizeWindow:
        return onSizeWindow && onSizeWindow(index, static_cast<int>(value)) ? 1 : 0;
    case audioMasterIOChanged:
        // Renders read the channel counts from the record after set-up, so a change is seen.
        return 1;
    case audioMasterUpdateDisplay:
        return 1;
    default:
        return 0;
    }
}

} // namespace OmbrelHost

#include "host/KHostedEffect.h"

#include "core/KText.h"

#include <cstdint>
#include <cstring>

namespace Korvel {

namespace {

// The object whose create() is running on this thread: the effect asks for the sample rate while
// it is being built, before its record can point back at anything.
thread_local KHostedEffect* tCreating = nullptr;

// The published size of the host's vendor and product texts.
constexpr std::size_t kHostNameChars = kVstMaxVendorStrLen;

} // namespace

KHostedEffect::~KHostedEffect() {
    destroy();
}

bool KHostedEffect::create(double sampleRate, KWindowFactory windows) {
    if (effect_) return true;
    if (sampleRate > 0) sampleRate_ = sampleRate;
    tCreating = this;
    effect_ = createEffect(&hostCallback, "OmbrelSkin.txt", windows);
    tCreating = nullptr;
    if (!effect_) return false;
    effect_->getAeffect()->resvd1 = reinterpret_cast<VstIntPtr>(this);
    // The callback's answer is a whole number of hertz; a host's fractional rate arrives as a
    // VST host would send it.
    if (static_cast<float>(sampleRate_) != effect_->getSampleRate())
        effect_->setSampleRate(static_cast<float>(sampleRate_));
    return true;
}

void KHostedEffect::destroy() {
    if (!effect_) return;
    AEffect* record = effect_->getAeffect();
    effect_ = nullptr;
    // The record's own close entry: the editor is closed and the effect deleted exactly as a VST
    // host's effClose does it.
    record->dispatcher(record, effClose, 0, 0, nullptr, 0);
}

void KHostedEffect::setSampleRate(double sampleRate) {
    if (!(sampleRate > 0)) return;
    sampleRate_ = sampleRate;
    if (effect_) effect_->setSampleRate(static_cast<float>(sampleRate));
}

bool KHostedEffect::setChannels(int inputs, int outputs) {
    if (!effect_) return false;
    VstSpeakerArrangement in{};
    VstSpeakerArrangement out{};
    in.numChannels = inputs;
    in.type = inputs == 1 ? kSpeakerArrMono : kSpeakerArrStereo;
    out.numChannels = outputs;
    out.type = outputs == 1 ? kSpeakerArrMono : kSpeakerArrStereo;
    return effect_->setSpeakerArrangement(&in, &out);
}

void KHostedEffect::enableNoteOutput() {
    if (effect_) effect_->setNoteOutput(&notes_);
}

void KHostedEffect::setTransport(double ppqPos, double tempo, bool playing) {
    time_ = VstTimeInfo{};
    time_.sampleRate = sampleRate_;
    time_.ppqPos = ppqPos;
    time_.tempo = tempo;
    time_.timeSigNumerator = 4;
    time_.timeSigDenominator = 4;
    time_.flags = kVstPpqPosValid | kVstTempoValid | (playing ? kVstTransportPlaying : 0);
    timeKnown_ = true;
}

VstIntPtr VSTCALLBACK KHostedEffect::hostCallback(AEffect* record, VstInt32 opcode, VstInt32 index,
                                                  VstIntPtr, void* ptr, float) {
    KHostedEffect* self =
        record && record->resvd1 ? reinterpret_cast<KHostedEffect*>(record->resvd1) : tCreating;
    // Nothing may escape into the effect, which answers the host's own calls without catching.
    try {
        return self ? self->answer(opcode, index, ptr) : 0;
    } catch (...) {
        return 0;
    }
}

VstIntPtr KHostedEffect::answer(VstInt32 opcode, VstInt32 index, void* ptr) {
    switch (opcode) {
    case audioMasterVersion:
        return kVstVersion;
    case audioMasterGetSampleRate:
        return static_cast<VstIntPtr>(sampleRate_);
    case audioMasterGetTime:
        return timeKnown_ ? reinterpret_cast<VstIntPtr>(&time_) : 0;
    case audioMasterBeginEdit:
        beginEdit(index);
        return 1;
    case audioMasterAutomate:
        automate(index);
        return 1;
    case audioMasterEndEdit:
        endEdit(index);
        return 1;
    case audioMasterGetVendorString:
    case audioMasterGetProductString: {
        const char* name = opcode == audioMasterGetVendorString ? hostVendor() : hostProduct();
        if (!ptr || !name) return 0;
        copyText(static_cast<char*>(ptr), name, kHostNameChars);
        return 1;
    }
    default:
        return 0;
    }
}

} // namespace Korvel

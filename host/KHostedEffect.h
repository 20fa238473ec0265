// The effect as the LV2 and CLAP adapters host it. The framework's effect is a VST 2.4 effect
// (Ombrel : KEffect : AudioEffectX), so rather than growing a second face for every request, an
// adapter calls the same operations the VST record forwards to, and this class answers the few
// things the effect asks of its host (version, sample rate, time, edits and automation, the host's
// names) by turning the effect's host callback into virtual operations. A VST host sees none of
// this: its own callback stays the effect's.
#pragma once

#include "dsp/NoteFollower.h"
#include "host/Ombrel.h"

namespace Korvel {

class KHostedEffect {
public:
    KHostedEffect() = default;
    // [main] Deletes the effect if create() made one.
    virtual ~KHostedEffect();
    KHostedEffect(const KHostedEffect&) = delete;
    KHostedEffect& operator=(const KHostedEffect&) = delete;

    // [main] Builds the effect, its editor from the built-in skin when windows is given, prepared
    // for sampleRate; false (and no effect) when it cannot be built.
    bool create(double sampleRate, KWindowFactory windows);
    // [main] Closes the effect as a host's close request does, editor included; safe to repeat.
    void destroy();
    // [main] A new rate while processing is stopped, as effSetSampleRate brings it (the engine is
    // reset); the rate the effect asks its host for follows. Rates of 0 or less change nothing.
    void setSampleRate(double sampleRate);
    Ombrel* effect() const { return effect_; }

    // [main] One or two channels on each side; false, and nothing changes, when the effect
    // refuses the layout.
    bool setChannels(int inputs, int outputs);

    // [audio] The host's transport for the processing calls that follow; without one the
    // tempo-synced LFO stands still, as under a VST host that reports no time.
    void setTransport(double ppqPos, double tempo, bool playing);
    void clearTransport() { timeKnown_ = false; }

    // [main] While inactive: the tracked pitch as notes from now on (see NoteFollower).
    void enableNoteOutput();
    // [audio] Before a host block (its stretches follow each other from frame 0), and after it
    // the block's note events.
    void beginNoteBlock() { notes_.clear(); }
    const NoteEvents& noteEvents() const { return notes_; }

protected:
    // What the effect tells its host, on the thread of the change: [ui] for the editor and the
    // commands. automate follows the new value into the effect; read it with
    // effect()->parameterValue(index) (the callback's float would round it).
    virtual void beginEdit(int) {}
    virtual void automate(int) {}
    virtual void endEdit(int) {}
    // [ui] The host's names for the editor's text variables; null when the format gives none.
    virtual const char* hostVendor() const { return nullptr; }
    virtual const char* hostProduct() const { return nullptr; }

private:
    // [any] The effect's host callback: the record's resvd1 (the host's own field) leads back
    // here; during construction, before the record is handed out, the creating thread's object.
    static VstIntPtr VSTCALLBACK hostCallback(AEffect* record, VstInt32 opcode, VstInt32 index,
                                              VstIntPtr value, void* ptr, float opt);
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, void* ptr);

    Ombrel* effect_ = nullptr;
    double sampleRate_ = 44100;
    // Written and read on the audio thread only, around each processing call.
    VstTimeInfo time_{};
    bool timeKnown_ = false;
    // Filled by the engine on the audio thread, read there after the block.
    NoteEvents notes_;
};

} // namespace Korvel

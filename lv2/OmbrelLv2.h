// The Ombrel effect as an LV2 plug-in instance: control ports in real units, two audio inputs and
// outputs of which the right ones are optional, the host's transport as time:Position events, the
// tracked pitch as MIDI out, and the bank chunk as state. The UI reaches the instance through
// instance-access and hears the editor's edits through the link it attaches.
#pragma once

#include "host/KHostedEffect.h"
#include "lv2/Lv2Ports.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <atomic>
#include <cstdint>

namespace Korvel {
namespace Lv2 {

// What the UI does with the editor's notices: gestures and port writes to its host. [ui]
class UiLink {
public:
    virtual void beginEdit(int index) = 0;
    virtual void automate(int index) = 0;
    virtual void endEdit(int index) = 0;

protected:
    ~UiLink() = default;
};

class OmbrelLv2 : public KHostedEffect {
public:
    // [main] Null when the effect cannot be built.
    static OmbrelLv2* instantiate(double sampleRate, const LV2_Feature* const* features);

    // [audio] or [main], as the host connects.
    void connect(std::uint32_t port, void* data);
    // [main]
    void activate();
    void deactivate();
    // [audio]
    void run(std::uint32_t frames);

    // [main], not during run.
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);
    // [any] May run beside run(): it reads the live bank as a VST host's chunk request does.
    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
    // [main] param:sampleRate and the block lengths; the number of options not taken.
    std::uint32_t setOptions(const LV2_Options_Option* options);
    std::uint32_t getOptions(LV2_Options_Option* options);

    // [ui] The UI's link, or null when it goes.
    void attachUi(UiLink* link) { ui_.store(link, std::memory_order_release); }
    UiLink* ui() const { return ui_.load(std::memory_order_acquire); }
    // [any] The control port value of parameter index's current value.
    float portValue(int index) const;
    // [any] The value the host's port held at the last run, NaN before the first.
    float hostPortValue(int index) const {
        return hostValue_[index].load(std::memory_order_relaxed);
    }

protected:
    void beginEdit(int index) override;
    void automate(int index) override;
    void endEdit(int index) override;

private:
    OmbrelLv2() = default;
    bool takeFeatures(const LV2_Feature* const* features);
    void applyControlPorts();
    void readTransport();
    void readPosition(const LV2_Atom_Object* position, std::int64_t frame);
    // [audio] The block's note output as MIDI events, into the host's buffer as far as it holds.
    void writeNotes();
    std::uint32_t takeOption(const LV2_Options_Option& option);

    struct Uris {
        LV2_URID atomBlank, atomObject, atomFloat, atomDouble, atomInt, atomLong, atomChunk;
        LV2_URID timePosition, timeBpm, timeSpeed, timeBeat, timeBar, timeBarBeat, timeBeatsPerBar,
            timeBeatUnit;
        LV2_URID sampleRate, maxBlock, nominalBlock;
        LV2_URID stateBank, stateProgram;
        LV2_URID atomSequence, midiEvent;
    };
    Uris uris_{};
    bool mapped_ = false;
    double rate_ = 44100;

    float* controls_[kOmbrelParamCount] = {};
    float* audio_[4] = {};
    const LV2_Atom_Sequence* transport_ = nullptr;
    LV2_Atom_Sequence* notesOut_ = nullptr;
    int bend_ = 8192; // the last pitch bend sent
    bool decibelFloor_[kOmbrelParamCount] = {};
    std::atomic<float> hostValue_[kOmbrelParamCount];

    // The song position in quarter notes at the start of the next block, carried on between the
    // host's position events; tempo in quarter notes per minute.
    bool positionKnown_ = false;
    double quarters_ = 0;
    double tempo_ = 120;
    double speed_ = 0;
    double beatUnit_ = 4;
    double beatsPerBar_ = 4;

    std::atomic<UiLink*> ui_{nullptr};
};

} // namespace Lv2
} // namespace Korvel

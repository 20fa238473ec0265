// The Ombrel effect: a pitch-following three-oscillator synth inserted on an audio track.
#pragma once

#include "dsp/OmbrelEngine.h"
#include "host/KEffect.h"

#include <atomic>

namespace Korvel {

// The compiler's own target macro decides, so no platform header is needed here. 64-bit Windows
// says "Win32" too: the name of the API, as hosts and skins show it.
#ifdef _WIN32
constexpr const char* kOmbrelPlatform = "Win32";
#else
constexpr const char* kOmbrelPlatform = "Linux";
#endif

class Ombrel : public KEffect {
public:
    explicit Ombrel(audioMasterCallback host);
    ~Ombrel() override;

    const char* effectName() const override { return "Ombrel"; }
    const char* vendorName() const override { return "Korvel"; }
    const char* productName() const override { return "Ombrel"; }
    const char* versionText() const override { return "3.1"; }
    const char* buildText() const override { return "3.1"; }
    const char* buildDateText() const override { return "09 Oct 2024"; }
    const char* platformText() const override { return kOmbrelPlatform; }
    void runCommand(int id, bool shift = false, bool control = false) override;
    void resetEngine() override;
    bool supportsChannels(int inputs, int outputs) const override;
    void applyParameters() override;
    void paramChanged(int index) override;
    void processDouble(double** inputs, int inputCount, double** outputs, int outputCount,
                       int frames) override;
    // [audio] Straight into the engine, which converts as it reads and writes, instead of
    // through the framework's double scratch: the same samples.
    void processFloat(float** inputs, int inputCount, float** outputs, int outputCount,
                      int frames) override;

    void setSampleRate(float rate) override;
    // A program or state change ends the note the note output sounds (the next block's first
    // event); the parameters follow as before.
    void setProgram(VstInt32 program) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;
    VstInt32 getVendorVersion() override { return 3100; }
    VstInt32 canDo(char* text) override;
    VstPlugCategory getPlugCategory() override { return kPlugCategEffect; }

    // [ui] The two commands; every parameter they change is an edit of its own for the host.
    void autoLevel();
    void randomise();

    const OmbrelEngine& engine() const { return engine_; }
    // [set-up] The tracked pitch as notes into events, for the formats that have a note output;
    // the VST 2.4 plug-in has none.
    void setNoteOutput(NoteEvents* events) { engine_.setNoteOutput(events); }

private:
    // The parameters of the current program in engine units. [any]
    EngineSettings currentSettings() const;
    // [audio] Publishes the settings when a change marked them stale.
    void publishSettings();
    // [audio] The host's transport for this block, or null.
    const EngineTransport* transportForBlock(EngineTransport& transport);

    OmbrelEngine engine_;
    // Why applyParameters only marks the settings stale and the audio thread publishes them at
    // the start of its next block: applyParameters runs on the audio thread (automation) and on
    // the user-interface thread (program switch, chunk, commands) at once, and two publishers
    // storing into the engine's mailbox word by word could leave it holding a mix of both for
    // good. With the audio thread the only publisher nothing can interleave, no lock is needed,
    // and the settings it reads are the newest values; the engine still takes them at the start
    // of the block after the change, as before. Starts stale: the first block publishes.
    std::atomic<bool> settingsStale_{true};
};

// Builds one effect in the factory order, the editor from the named skin last; null only when
// allocation fails. windows makes the editor's window object (null: the editor never opens).
Ombrel* createEffect(audioMasterCallback audioMaster, const char* skinFileName,
                     KWindowFactory windows = nullptr);

} // namespace Korvel

// The Ombrel effect: a pitch-following three-oscillator synth inserted on an audio track.
#pragma once

#include "dsp/OmbrelEngine.h"
#include "host/KEffect.h"

namespace Korvel {

class Ombrel : public KEffect {
public:
    explicit Ombrel(audioMasterCallback audioMaster);
    ~Ombrel() override;

    const char* effectName() const override { return "Ombrel"; }
    const char* vendorName() const override { return "Korvel"; }
    const char* productName() const override { return "Ombrel"; }
    const char* versionText() const override { return "3.1"; }
    const char* buildText() const override { return "3.1"; }
    const char* buildDateText() const override { return "09 Oct 2024"; }
    const char* platformText() const override { return "Win32"; }
    void runCommand(int id, bool shift = false, bool control = false) override;
    void resetEngine() override;
    bool supportsChannels(int inputs, int outputs) const override;
    void applyParameters() override;
    void paramChanged(int index) override;
    void processDouble(double** inputs, int inputCount, double** outputs, int outputCount,
                       int frames) override;

    void setSampleRate(float rate) override;
    VstInt32 getVendorVersion() override { return 3100; }
    VstInt32 canDo(char* text) override;
    VstPlugCategory getPlugCategory() override { return kPlugCategEffect; }

    // The two commands.
    void autoLevel();
    void randomise();

    const OmbrelEngine& engine() const { return engine_; }

private:
    // The parameters of the current program in engine units.
    EngineSettings currentSettings() const;

    OmbrelEngine engine_;
};

// Builds one effect in the factory order, the editor from the named skin last; null only when
// allocation fails. windows makes the editor's window object (null: the editor never opens).
Ombrel* createEffect(audioMasterCallback audioMaster, const char* skinFileName,
                     KWindowFactory windows = nullptr);

} // namespace Korvel

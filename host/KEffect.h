// The framework base of every effect: parameter and command lists, the program bank, speaker
// arrangements and bypass behind the host interface. The effect class supplies its engine
// through the operations marked abstract.
#pragma once

#include "core/KEffectInterface.h"
#include "core/KList.h"
#include "editor/KWindowInterface.h"
#include "host/AudioEffectX.h"
#include "host/KDisplaySources.h"
#include "host/KFloatBridge.h"
#include "host/KSpeakerArrangement.h"
#include "params/KEffectCommand.h"
#include "params/KEffectParameter.h"
#include "state/KProgramBank.h"

#include <atomic>
#include <cstddef>
#include <memory>

namespace Korvel {

class KHostEditor;

// One job: the VST 2.4 adapter of an effect and the common change path every parameter change
// takes. The text variables, the display sources and the float-to-double bridge are classes of
// their own that the operations below hand over to.
class KEffect : public AudioEffectX, public KEffectInterface {
public:
    KEffect(audioMasterCallback host, VstInt32 programs, VstInt32 params, VstInt32 numInputs,
            VstInt32 numOutputs);
    // The editor must be gone by now: an effect class calls releaseEditor first thing in its own
    // destructor.
    ~KEffect() override;

    // The framework's virtual operations, declared in their fixed slot order after AudioEffectX's
    // (1 to 21); editors, skins and effects of this framework are built against that order.
    // 1-7: identity texts; null when the effect has none.
    virtual const char* effectName() const { return nullptr; }
    virtual const char* vendorName() const { return nullptr; }
    virtual const char* productName() const { return nullptr; }
    virtual const char* versionText() const { return nullptr; }
    virtual const char* buildText() const { return nullptr; }
    virtual const char* buildDateText() const { return nullptr; }
    virtual const char* platformText() const { return nullptr; }
    // 8, 9 [ui]
    void editorOpened() override { editorOpen_.store(true, std::memory_order_relaxed); }
    void editorClosed() override { editorOpen_.store(false, std::memory_order_relaxed); }
    // 10 [ui]
    void runCommand(int, bool = false, bool = false) override {}
    // 11
    virtual void resetEngine() = 0;
    // 12
    virtual bool supportsChannels(int inputs, int outputs) const = 0;
    // 13 [ui] KTextVariables::expand with this effect's lookupVariable.
    void expandText(char* out, std::size_t size, const char* text) override;
    // 14 [any] The current program's values are to reach the engine. Automation on the audio
    // thread and a program switch or chunk on the user-interface thread may call it at the same
    // time, so it must neither lock nor let two callers' results interleave.
    virtual void applyParameters() = 0;
    // 15 [any] The change hook, after parameter index was stored.
    virtual void paramChanged(int) {}
    // 16 [ui]
    virtual bool copyProgram(int destination);
    // 17 [ui], during construction.
    virtual void loadPresets(const char* fileName);
    // 18 [ui] The variables of KTextVariables.
    void lookupVariable(char* out, std::size_t size, const char* name) override;
    // 19
    virtual void mapChannels(bool twoInputs, bool twoOutputs, double left, double right,
                             double* out1, double* out2);
    // 20 [audio] One piece of a host block (processFloat may split a long one; see blockOffset).
    virtual void processDouble(double**, int, double**, int, int) {}
    // 21 [audio] Serves single-precision hosts through the float bridge.
    virtual void processFloat(float** inputs, int inputCount, float** outputs, int outputCount,
                              int frames);

    // The host interface. Set-up calls (suspend, resume, block size) and program names, programs
    // and chunks: [ui]. Parameter values and texts: [any], as hosts automate from their audio
    // thread.
    // effClose, before the record's entry deletes the effect: releases the editor.
    void close() override;
    void suspend() override;
    void resume() override;
    void setBlockSize(VstInt32 size) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;
    void processDoubleReplacing(double** inputs, double** outputs, VstInt32 frames) override;
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void getParameterName(VstInt32 index, char* text) override;
    void getParameterLabel(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    bool string2parameter(VstInt32 index, char* text) override;
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    VstInt32 getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;
    bool setSpeakerArrangement(VstSpeakerArrangement* input,
                               VstSpeakerArrangement* output) override;
    bool getSpeakerArrangement(VstSpeakerArrangement** input,
                               VstSpeakerArrangement** output) override;
    bool setBypass(bool onOff) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 canDo(char* text) override;
    AEffect* getAeffect() override;

    // The effect-facing interface; setParamNormalised, setParamReal and parseParameterText are
    // the one path of every change made inside the plug-in.
    int parameterCount() const override { return parameters_.size(); }
    double parameterValue(int index) const override;
    double parameterQuantised(int index) const override;
    double parameterReal(int index) const override;
    double parameterDefault(int index) const override;
    void parameterDisplay(int index, char* out, std::size_t size) const override;
    void parameterDisplayWithUnit(int index, char* out, std::size_t size) const override;
    const char* parameterName(int index) const override;
    const char* parameterUnit(int index) const override;
    bool parameterAcceptsText(int index) const override;
    void setParamNormalised(int index, double n) override;
    void setParamReal(int index, double r) override;
    bool parseParameterText(int index, const char* text) override;
    long notifyBeginEdit(int index) override;
    long notifyEndEdit(int index) override;
    long notifyAutomate(int index) override;
    int parameterIndex(const char* name) const override;
    int commandId(const char* name) const override;
    const void* displaySource(const char* name, KSourceType type) const override;
    int inputChannels() const override { return inputChannels_.load(std::memory_order_relaxed); }
    int outputChannels() const override { return outputChannels_.load(std::memory_order_relaxed); }
    bool editorIsOpen() const override { return editorOpen_.load(std::memory_order_relaxed); }

    // [ui] Builds the editor from the skin script (the factory's last step); without a usable
    // skin the effect has no editor. windows makes the window object (null: the editor never
    // opens).
    void buildEditor(const char* skinFileName, KWindowFactory windows);
    KHostEditor* hostEditor() const { return hostEditor_; }
    // [ui] Closes the editor as the host's close request does (a typed value is taken over, a held
    // control ends its edit with the host) and deletes it, while this effect is whole: closing
    // calls into the effect, and the AudioEffect base would delete the editor only after the
    // effect's own parts are gone. Then the effect has no editor. Safe to repeat.
    void releaseEditor();

    const KList<KEffectParameter>& parameters() const { return parameters_; }
    const KList<KEffectCommand>& commands() const { return commands_; }
    KProgramBank& bank() { return bank_; }
    const KProgramBank& bank() const { return bank_; }
    KEffectParameter* parameter(int index) const { return parameters_.get(index); }
    // [any]
    int currentProgram() const { return curProgram.load(std::memory_order_relaxed); }
    // [any] A copy of the current program's cell of parameter index; no cell outside the list.
    KCellCopy currentCell(int index) const { return bank_.load(currentProgram(), index); }
    bool bypassed() const { return bypass_.load(std::memory_order_relaxed); }

    // Widest layout on either side that processFloat serves.
    static constexpr int kMaxChannels = KFloatBridge::kMaxChannels;

protected:
    // [audio] Frames of the current host block that earlier pieces already processed: 0 unless
    // processFloat split a block longer than its scratch. Host transport belongs to offset 0.
    int blockOffset() const { return floatBridge_.blockOffset(); }

    // Publishes a display source for meters and wave displays; value lives as long as the effect.
    // [ui], during construction.
    void addDisplaySource(const char* name, const KDoubleSource* value);
    void addDisplaySource(const char* name, const KIntSource* value);
    void addDisplaySource(const char* name, const KHistory* value);

    // Finishes a change of parameter index in the current program. [any]
    void parameterStored(int index);
    // [any] The throttled editor repaint that ends applyParameters, while the editor is open.
    void requestEditorRefresh();

    KList<KEffectParameter> parameters_;
    KProgramBank bank_;
    KList<KEffectCommand> commands_;

private:
    std::atomic<bool> editorOpen_{false};
    // The editor AudioEffect owns, with its own type.
    KHostEditor* hostEditor_ = nullptr;
    std::unique_ptr<KSpeakerArrangement> inputArrangement_;
    std::unique_ptr<KSpeakerArrangement> outputArrangement_;
    // The arrangements' channel counts, read by the audio thread without touching the records.
    std::atomic<int> inputChannels_;
    std::atomic<int> outputChannels_;
    std::atomic<bool> bypass_{false};

    KDisplaySources displaySources_;
    KFloatBridge floatBridge_;
};

} // namespace Korvel

// VST 2.4 behind HostedPlugin: every call goes to PluginHost as the commands made it before there
// were other formats, in the same order, so a VST 2.4 plug-in sees exactly what it saw then.
#include "tools/host/HostedFormats.h"
#include "tools/host/PluginHost.h"
#include "tools/host/PluginState.h"
#include "tools/host/PresetFile.h"

#include <cstdio>
#include <cstring>

namespace OmbrelHost {

namespace {

// The capability words hosts ask effects about.
const char* const kCanDoWords[] = {"sendVstEvents",
                                   "sendVstMidiEvent",
                                   "sendVstTimeInfo",
                                   "receiveVstEvents",
                                   "receiveVstMidiEvent",
                                   "receiveVstTimeInfo",
                                   "offline",
                                   "plugAsChannelInsert",
                                   "plugAsSend",
                                   "mixDryWet",
                                   "noRealTime",
                                   "multipass",
                                   "metapass",
                                   "1in1out",
                                   "1in2out",
                                   "2in1out",
                                   "2in2out",
                                   "2in4out",
                                   "4in2out",
                                   "4in4out",
                                   "4in8out",
                                   "8in4out",
                                   "8in8out",
                                   "midiProgramNames",
                                   "conformsToWindowRules",
                                   "bypass"};

const char* categoryName(VstIntPtr c) {
    static const char* const names[] = {"unknown",         "effect",          "instrument",
                                        "analysis",        "mastering",       "spatialiser",
                                        "room effect",     "surround effect", "restoration",
                                        "offline process", "shell",           "generator"};
    return c >= 0 && c < kPlugCategMaxCount ? names[c] : "unknown";
}

std::string flagNames(VstInt32 flags) {
    static const struct {
        VstInt32 bit;
        const char* name;
    } known[] = {{effFlagsHasEditor, "editor"},
                 {effFlagsCanReplacing, "replacing"},
                 {effFlagsProgramChunks, "program chunks"},
                 {effFlagsIsSynth, "synth"},
                 {effFlagsNoSoundInStop, "no sound in stop"},
                 {effFlagsCanDoubleReplacing, "double replacing"}};
    std::string s;
    for (const auto& k : known)
        if (flags & k.bit) s += (s.empty() ? "" : ", ") + std::string(k.name);
    return s.empty() ? "none" : s;
}

std::string printed(const char* pattern, long a, long b = 0) {
    char text[128];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

class HostedVst : public HostedPlugin {
public:
    HostedVst() {
        host_.onCallback = [this](VstInt32 opcode, VstInt32 index, float opt) {
            if (opcode == audioMasterBeginEdit) notify(HostNotice::BeginEdit, index);
            if (opcode == audioMasterAutomate) notify(HostNotice::Value, index, opt);
            if (opcode == audioMasterEndEdit) notify(HostNotice::EndEdit, index);
        };
        host_.onEvents = [this](const VstEvents& events) { passEvents(events); };
    }
    bool hasNoteOutput() override {
        return host_.canDo("sendVstMidiEvent") == 1 || host_.canDo("sendVstEvents") == 1;
    }
    bool load(const std::string& path, double rate, int block, std::string& error) {
        return host_.load(path, rate, block, error);
    }

    PluginFormat format() const override { return PluginFormat::Vst2; }
    std::string name() override { return host_.effectName(); }
    InfoRows identity() override;
    std::string capabilityTitle() override {
        return "Capabilities (canDo: 1 yes, -1 no, 0 don't know)";
    }
    InfoRows capabilities() override {
        InfoRows rows;
        for (const char* word : kCanDoWords)
            rows.emplace_back(word, printed("%2ld", static_cast<long>(host_.canDo(word))));
        return rows;
    }
    int inputs() override { return host_.numInputs(); }
    int outputs() override { return host_.numOutputs(); }

    int parameterCount() override { return host_.numParams(); }
    std::string parameterName(int index) override { return host_.paramName(index); }
    std::string parameterSymbol(int) override { return ""; }
    std::string parameterUnit(int index) override { return host_.paramLabel(index); }
    std::string parameterDisplay(int index) override { return host_.paramDisplay(index); }
    double normalised(int index) override { return host_.getParameter(index); }
    void setNormalised(int index, double value) override {
        host_.setParameter(index, static_cast<float>(value));
    }
    bool nativeValue(int, double&, double&, double&) override { return false; }
    bool setText(int index, const std::string& text) override {
        return host_.setParameterText(index, text);
    }
    // Effects are known to take any text and keep their value.
    bool textIsChecked() const override { return false; }
    std::string probeDisplay(int index, double value) override {
        host_.setParameter(index, static_cast<float>(value));
        return host_.paramDisplay(index);
    }
    void endProbe(int index, double original) override {
        host_.setParameter(index, static_cast<float>(original));
    }

    const char* programWord() const override { return "programs"; }
    int programCount() override { return host_.numPrograms(); }
    int program() override { return host_.program(); }
    std::string programName(int index) override { return host_.programName(index); }
    bool setProgramName(const std::string& name) override {
        host_.setProgramName(name);
        return true;
    }
    bool setProgram(int index) override {
        host_.setProgram(index);
        return true;
    }

    StateResult saveState(const std::string& path, bool preferParameters,
                          std::vector<std::uint8_t>& bytes) override;
    StateResult loadState(const std::vector<std::uint8_t>& bytes) override;

    bool setLayout(int in, int out) override { return host_.setSpeakers(in, out); }
    bool setBypass(bool on) override { return host_.canDo("bypass") == 1 && host_.setBypass(on); }
    bool setDoublePrecision(bool on) override { return host_.setDoublePrecision(on); }
    void setTransport(double tempo, bool playing) override {
        host_.transport().setTempo(tempo);
        host_.transport().setPlaying(playing);
    }
    bool resume() override {
        host_.resume();
        return true;
    }
    void suspend() override { host_.suspend(); }
    bool process(float** in, float** out, int frames) override {
        host_.process(in, out, frames);
        frames_ += frames;
        return true;
    }
    bool process(double** in, double** out, int frames) override {
        host_.process(in, out, frames);
        frames_ += frames;
        return true;
    }

    bool hasEditor() override { return host_.effect()->flags & effFlagsHasEditor; }
    bool editorSize(int& width, int& height) override {
        ERect* rect = nullptr;
        host_.dispatch(effEditGetRect, 0, 0, &rect);
        if (!rect) return false;
        width = rect->right - rect->left;
        height = rect->bottom - rect->top;
        return true;
    }
    bool openEditor(unsigned long parent, std::string&) override {
        // The host can resize only while someone takes the sizes ("sizeWindow" answers so).
        host_.onSizeWindow = [this](int w, int h) {
            return onEditorResize && onEditorResize(w, h);
        };
        if (host_.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent))) return true;
        host_.onSizeWindow = nullptr;
        return false;
    }
    void idleEditor() override { host_.dispatch(effEditIdle); }
    void closeEditor() override {
        host_.dispatch(effEditClose);
        host_.onSizeWindow = nullptr;
    }

private:
    // MIDI events among those sent during a block, at their frame within it.
    void passEvents(const VstEvents& events) {
        if (!onNoteOutput) return;
        for (VstInt32 i = 0; i < events.numEvents; ++i) {
            const VstEvent* e = events.events[i];
            // A MIDI event's bytes follow its note length and offset.
            if (!e || e->type != kVstMidiType) continue;
            NoteMessage m;
            m.frame = frames_ + (e->deltaFrames > 0 ? e->deltaFrames : 0);
            std::memcpy(m.bytes, e->data + 8, 3);
            m.size = 3;
            onNoteOutput(m);
        }
    }

    PluginHost host_;
    long long frames_ = 0; // processed before the current block
};

InfoRows HostedVst::identity() {
    AEffect* e = host_.effect();
    InfoRows rows;
    rows.emplace_back("Effect", host_.effectName());
    rows.emplace_back("Vendor", host_.vendorName());
    rows.emplace_back("Product", host_.productName());
    rows.emplace_back("Vendor version", printed("%ld", static_cast<long>(host_.vendorVersion())));
    rows.emplace_back("Effect version", printed("%ld", e->version));
    rows.emplace_back("VST version", printed("%ld", static_cast<long>(host_.vstVersion())));
    rows.emplace_back(
        "Unique id",
        fourCC(e->uniqueID) +
            printed(" (0x%08lX)", static_cast<long>(static_cast<unsigned>(e->uniqueID))));
    const VstIntPtr category = host_.category();
    rows.emplace_back("Category", std::string(categoryName(category)) +
                                      printed(" (%ld)", static_cast<long>(category)));
    rows.emplace_back("Channels", printed("%ld in, %ld out", e->numInputs, e->numOutputs));
    rows.emplace_back("Flags",
                      printed("0x%lX", static_cast<long>(static_cast<unsigned>(e->flags))) + " (" +
                          flagNames(e->flags) + ")");
    rows.emplace_back("Initial delay", printed("%ld frames", e->initialDelay));
    rows.emplace_back("Tail size",
                      printed("%ld", static_cast<long>(host_.dispatch(effGetTailSize))));
    return rows;
}

StateResult HostedVst::saveState(const std::string& path, bool preferParameters,
                                 std::vector<std::uint8_t>& bytes) {
    PresetFile::Kind kind;
    std::string error;
    if (!presetKindForPath(path, kind) || !stateFileNameFits(PluginFormat::Vst2, path, error))
        return StateResult::fail(StateResult::BadPath, error);
    PresetFile preset = capturePreset(host_, kind, preferParameters);
    if (preset.isChunk && preset.chunk.empty())
        return StateResult::fail(
            StateResult::NoState,
            "the plug-in announces a state chunk but gives none (an empty one, or a size of 0 or "
            "less), and a preset without it would restore nothing; its parameter values can be "
            "saved instead (--parameters for preset save, --save-parameters for render)");
    bytes = encodePreset(preset);
    StateResult r;
    r.what = kind == PresetFile::Kind::Bank ? "bank" : "current program";
    r.how = preset.isChunk ? "state chunk" : "parameter values";
    return r;
}

StateResult HostedVst::loadState(const std::vector<std::uint8_t>& bytes) {
    PresetFile preset;
    std::string error;
    if (!decodePreset(bytes, preset, error)) return StateResult::fail(StateResult::Damaged, error);
    switch (restorePreset(host_, preset, error)) {
    case RestoreResult::Ok:
        return {};
    case RestoreResult::OtherPlugin:
        return StateResult::fail(StateResult::OtherPlugin, error);
    case RestoreResult::Mismatch:
        return StateResult::fail(StateResult::Mismatch, error);
    case RestoreResult::Refused:
        break;
    }
    return StateResult::fail(StateResult::Refused, error);
}

} // namespace

std::unique_ptr<HostedPlugin> loadVstPlugin(const PluginLocation& where, double sampleRate,
                                            int blockSize, std::string& error) {
    std::unique_ptr<HostedVst> plugin(new HostedVst);
    if (!plugin->load(where.path, sampleRate, blockSize, error)) return nullptr;
    return plugin;
}

} // namespace OmbrelHost

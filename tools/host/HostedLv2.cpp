// LV2 behind HostedPlugin, over Lv2Plugin. Parameters are the control inputs with their port
// values, normalised as a generic host's sliders have them; programs are the plug-in's presets;
// the state file is the Turtle text lilv writes, which names the plug-in it applies to. The UI is
// idled by the host; while switched on the plug-in gets a silent block at each main-loop turn,
// as a DAW keeps running it, so it sees the ports the UI writes.
#include "tools/host/HostedFormats.h"
#include "tools/host/Lv2Plugin.h"

#include <algorithm>
#include <cstring>

namespace OmbrelHost {

namespace {

class HostedLv2 : public HostedPlugin {
public:
    bool load(const PluginLocation& where, double rate, int block, std::string& error) {
        if (!lv2_.load(where.path, rate, block, error, where.id)) {
            error = "cannot load plug-in " + where.path + ": " + error;
            return false;
        }
        presets_ = lv2_.presets();
        bundle_ = where.path;
        lv2_.onMidiOutput = [this](long long frame, const std::uint8_t* bytes, int size) {
            if (!onNoteOutput) return;
            NoteMessage m;
            m.frame = frame;
            m.size = size;
            std::memcpy(m.bytes, bytes, static_cast<std::size_t>(size));
            onNoteOutput(m);
        };
        return true;
    }
    bool hasNoteOutput() override { return lv2_.hasMidiOutput(); }

    PluginFormat format() const override { return PluginFormat::Lv2; }
    std::string name() override { return lv2_.name(); }
    InfoRows identity() override;
    std::string capabilityTitle() override { return "Features and extension data"; }
    InfoRows capabilities() override {
        InfoRows rows;
        for (const std::string& f : lv2_.requiredFeatures())
            rows.emplace_back(f, "required");
        for (const std::string& f : lv2_.optionalFeatures())
            rows.emplace_back(f, "optional");
        for (const std::string& e : lv2_.extensionData())
            rows.emplace_back(e, "extension data");
        return rows;
    }
    int inputs() override { return lv2_.inputsUsed(); }
    int outputs() override { return lv2_.outputsUsed(); }

    int parameterCount() override { return lv2_.parameterCount(); }
    std::string parameterName(int index) override { return lv2_.parameterName(index); }
    std::string parameterSymbol(int index) override { return lv2_.parameterSymbol(index); }
    std::string parameterUnit(int index) override { return lv2_.parameterUnit(index); }
    std::string parameterDisplay(int index) override {
        return lv2_.displayOf(index, lv2_.parameter(index), false);
    }
    double normalised(int index) override { return lv2_.normalised(index); }
    void setNormalised(int index, double value) override {
        lv2_.setParameter(index, lv2_.fromNormalised(index, value));
    }
    bool nativeValue(int index, double& value, double& min, double& max) override {
        value = lv2_.parameter(index);
        min = lv2_.parameterMinimum(index);
        max = lv2_.parameterMaximum(index);
        return true;
    }
    bool setText(int index, const std::string& text) override {
        return lv2_.setParameterText(index, text);
    }
    bool textIsChecked() const override { return true; }
    std::string probeDisplay(int index, double value) override {
        return lv2_.displayOf(index, lv2_.fromNormalised(index, value), false);
    }
    void endProbe(int, double) override {}

    const char* programWord() const override { return "presets"; }
    int programCount() override { return static_cast<int>(presets_.size()); }
    int program() override { return -1; }
    std::string programName(int index) override {
        return index >= 0 && index < programCount() ? presets_[static_cast<std::size_t>(index)]
                                                    : "";
    }
    bool setProgram(int index) override { return lv2_.loadPreset(index); }
    bool setProgramName(const std::string& name) override {
        label_ = name;
        return true;
    }

    StateResult saveState(const std::string& path, bool preferParameters,
                          std::vector<std::uint8_t>& bytes) override;
    StateResult loadState(const std::vector<std::uint8_t>& bytes) override;

    bool setLayout(int in, int out) override { return lv2_.setChannels(in, out); }
    bool setBypass(bool on) override {
        const int enabled = lv2_.enabledParameter();
        if (enabled < 0) return false;
        lv2_.setParameter(enabled, on ? 0.0f : 1.0f);
        return true;
    }
    // LV2 audio is 32-bit floating point.
    bool setDoublePrecision(bool on) override { return !on; }
    void setTransport(double tempo, bool playing) override {
        lv2_.setTempo(tempo);
        lv2_.setPlaying(playing);
    }
    bool resume() override;
    void suspend() override { lv2_.deactivate(); }
    bool process(float** in, float** out, int frames) override {
        lv2_.process(in, out, frames);
        return true;
    }
    bool process(double**, double**, int) override { return false; }

    bool hasEditor() override { return lv2_.hasUi(); }
    bool editorSize(int& width, int& height) override {
        if (uiWidth_ <= 0) return false;
        width = uiWidth_;
        height = uiHeight_;
        return true;
    }
    bool openEditor(unsigned long parent, std::string& error) override {
        // The UI tells its size through ui:resize, while it opens or later.
        lv2_.onUiResize = [this](int w, int h) {
            uiWidth_ = w;
            uiHeight_ = h;
            return onEditorResize && onEditorResize(w, h);
        };
        if (lv2_.openUi(parent, error)) return true;
        lv2_.onUiResize = nullptr;
        return false;
    }
    void idleEditor() override;
    bool setEditorScale(double scale) override {
        lv2_.setUiScale(scale);
        return true;
    }
    void closeEditor() override {
        lv2_.closeUi();
        lv2_.onUiResize = nullptr;
        uiWidth_ = uiHeight_ = 0;
    }

private:
    Lv2Plugin lv2_;
    std::string bundle_;
    std::vector<std::string> presets_;
    std::string label_; // of the states saved
    int uiWidth_ = 0, uiHeight_ = 0;
    // The main loop's silent blocks.
    std::vector<float> idleIn_, idleOut_;
    std::vector<float*> idleIns_, idleOuts_;
};

InfoRows HostedLv2::identity() {
    InfoRows rows;
    rows.emplace_back("Name", lv2_.name());
    rows.emplace_back("URI", lv2_.uri());
    rows.emplace_back("Author", lv2_.author());
    rows.emplace_back("Class", lv2_.pluginClass());
    rows.emplace_back("Bundle", bundle_);
    rows.emplace_back("Channels", std::to_string(lv2_.audioInputs()) + " in, " +
                                      std::to_string(lv2_.audioOutputs()) + " out");
    rows.emplace_back("Editor", lv2_.hasUi() ? "X11 UI" : "none the host can show");
    return rows;
}

StateResult HostedLv2::saveState(const std::string& path, bool, std::vector<std::uint8_t>& bytes) {
    std::string error;
    if (!stateFileNameFits(PluginFormat::Lv2, path, error))
        return StateResult::fail(StateResult::BadPath, error);
    const std::string text = lv2_.saveState(label_);
    if (text.empty())
        return StateResult::fail(StateResult::NoState, "the plug-in's state could not be saved");
    bytes.assign(text.begin(), text.end());
    StateResult r;
    r.what = "state";
    r.how = "LV2 state with " + std::to_string(lv2_.parameterCount()) + " port values";
    return r;
}

StateResult HostedLv2::loadState(const std::vector<std::uint8_t>& bytes) {
    std::string appliesTo;
    switch (lv2_.restoreState(std::string(bytes.begin(), bytes.end()), appliesTo)) {
    case Lv2Plugin::StateLoad::Ok:
        return {};
    case Lv2Plugin::StateLoad::NotState:
        return StateResult::fail(StateResult::Damaged,
                                 "not an LV2 state (Turtle text that applies to a plug-in)");
    case Lv2Plugin::StateLoad::OtherPlugin:
        return StateResult::fail(StateResult::OtherPlugin,
                                 "the state is for another plug-in: it applies to <" + appliesTo +
                                     ">, this plug-in is <" + lv2_.uri() + ">");
    case Lv2Plugin::StateLoad::Refused:
        break;
    }
    return StateResult::fail(StateResult::Refused, "the plug-in refuses the state");
}

bool HostedLv2::resume() {
    lv2_.activate();
    const std::size_t frames = static_cast<std::size_t>(lv2_.blockSize());
    const std::size_t width = static_cast<std::size_t>(std::max(1, std::max(inputs(), outputs())));
    idleIn_.assign(width * frames, 0.0f);
    idleOut_.assign(width * frames, 0.0f);
    idleIns_.clear();
    idleOuts_.clear();
    for (std::size_t c = 0; c < width; ++c) {
        idleIns_.push_back(&idleIn_[c * frames]);
        idleOuts_.push_back(&idleOut_[c * frames]);
    }
    return true;
}

void HostedLv2::idleEditor() {
    lv2_.idleUi();
    if (lv2_.active() && !idleIns_.empty())
        lv2_.process(idleIns_.data(), idleOuts_.data(), lv2_.blockSize());
    for (const Lv2Notice& n : lv2_.takeNotices()) {
        int index = -1;
        for (int i = 0; i < lv2_.parameterCount() && index < 0; ++i)
            if (lv2_.parameterPort(i) == n.port) index = i;
        if (index < 0) continue;
        if (n.kind == Lv2Notice::TouchBegin) notify(HostNotice::BeginEdit, index);
        if (n.kind == Lv2Notice::Write) notify(HostNotice::Value, index, n.value);
        if (n.kind == Lv2Notice::TouchEnd) notify(HostNotice::EndEdit, index);
    }
}

} // namespace

std::unique_ptr<HostedPlugin> loadLv2Plugin(const PluginLocation& where, double sampleRate,
                                            int blockSize, std::string& error) {
    std::unique_ptr<HostedLv2> plugin(new HostedLv2);
    if (!plugin->load(where, sampleRate, blockSize, error)) return nullptr;
    return plugin;
}

} // namespace OmbrelHost

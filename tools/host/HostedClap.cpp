// CLAP behind HostedPlugin, over ClapPlugin. Parameters are the plug-in's with their plain values
// and texts (normalised over each range, stepped ones rounded); a change made while the plug-in
// is inactive goes through a flush at once, so what the host reads back is the plug-in's. The
// editor runs on the host's timers; while switched on the plug-in gets a silent block at each
// main-loop turn, as a DAW's transport keeps running, and the events of each block or flush
// become the host's notices.
#include "tools/host/ClapPlugin.h"
#include "tools/host/ClapStateFile.h"
#include "tools/host/HostedFormats.h"

#include <algorithm>
#include <cmath>

namespace OmbrelHost {

namespace {

// Extensions a CLAP host asks a plug-in about, by their published ids.
const char* const kExtensions[] = {
    CLAP_EXT_PARAMS,     CLAP_EXT_STATE,    CLAP_EXT_AUDIO_PORTS,   CLAP_EXT_AUDIO_PORTS_CONFIG,
    CLAP_EXT_NOTE_PORTS, CLAP_EXT_GUI,      CLAP_EXT_TIMER_SUPPORT, CLAP_EXT_POSIX_FD_SUPPORT,
    "clap.latency",      "clap.tail",       "clap.render",          "clap.voice-info",
    "clap.note-name",    "clap.preset-load"};

std::string joined(const std::vector<std::string>& words) {
    std::string s;
    for (const std::string& w : words)
        s += (s.empty() ? "" : ", ") + w;
    return s.empty() ? "none" : s;
}

std::string channelCounts(int in, int out) {
    return std::to_string(in) + " in, " + std::to_string(out) + " out";
}

class HostedClap : public HostedPlugin {
public:
    bool load(const PluginLocation& where, double rate, int block, std::string& error);

    PluginFormat format() const override { return PluginFormat::Clap; }
    std::string name() override {
        const clap_plugin_descriptor_t* d = clap_.descriptor();
        return d && d->name ? d->name : "";
    }
    InfoRows identity() override;
    std::string capabilityTitle() override { return "Extensions (the plug-in offers: yes or no)"; }
    InfoRows capabilities() override;
    int inputs() override { return clap_.inputChannels(); }
    int outputs() override { return clap_.outputChannels(); }

    int parameterCount() override { return static_cast<int>(params_.size()); }
    std::string parameterName(int index) override { return param(index).name; }
    std::string parameterSymbol(int) override { return ""; }
    std::string parameterUnit(int index) override {
        std::string value, unit;
        splitUnit(clap_.text(index), value, unit);
        return unit;
    }
    std::string parameterDisplay(int index) override {
        std::string value, unit;
        splitUnit(clap_.text(index), value, unit);
        return value;
    }
    double normalised(int index) override {
        const ClapParam& p = param(index);
        return p.max > p.min
                   ? std::min(1.0, std::max(0.0, (clap_.value(index) - p.min) / (p.max - p.min)))
                   : 0;
    }
    void setNormalised(int index, double value) override { change(index, plain(index, value)); }
    bool nativeValue(int index, double& value, double& min, double& max) override {
        value = clap_.value(index);
        min = param(index).min;
        max = param(index).max;
        return true;
    }
    bool setText(int index, const std::string& text) override {
        double value = 0;
        if (!clap_.textToValue(index, text, value)) return false;
        change(index, value);
        return true;
    }
    bool textIsChecked() const override { return true; }
    std::string probeDisplay(int index, double value) override {
        std::string shown, unit;
        splitUnit(clap_.text(index, plain(index, value)), shown, unit);
        return shown;
    }
    void endProbe(int, double) override {}

    const char* programWord() const override { return nullptr; }
    int programCount() override { return 0; }
    int program() override { return -1; }
    std::string programName(int) override { return ""; }
    bool setProgram(int) override { return false; }
    bool setProgramName(const std::string&) override { return false; }

    StateResult saveState(const std::string& path, bool preferParameters,
                          std::vector<std::uint8_t>& bytes) override;
    StateResult loadState(const std::vector<std::uint8_t>& bytes) override;

    bool setLayout(int in, int out) override {
        return (clap_.inputChannels() == in && clap_.outputChannels() == out) ||
               clap_.selectLayout(in, out);
    }
    bool setBypass(bool on) override;
    bool setDoublePrecision(bool on) override { return !on || clap_.supports64(); }
    void setTransport(double tempo, bool playing) override {
        clap_.transport().setTempo(tempo);
        clap_.transport().setPlaying(playing);
    }
    bool resume() override;
    void suspend() override {
        clap_.deactivate();
        passEvents();
    }
    bool process(float** in, float** out, int frames) override {
        const clap_process_status status =
            clap_.process(in, out, static_cast<std::uint32_t>(frames));
        passEvents();
        frames_ += frames;
        return status != CLAP_PROCESS_ERROR;
    }
    bool process(double** in, double** out, int frames) override {
        const clap_process_status status =
            clap_.process(in, out, static_cast<std::uint32_t>(frames));
        passEvents();
        frames_ += frames;
        return status != CLAP_PROCESS_ERROR;
    }
    bool hasNoteOutput() override { return clap_.noteOutputs() > 0; }

    bool hasEditor() override { return clap_.hasGui(); }
    bool editorSize(int& width, int& height) override {
        if (!clap_.guiOpen()) return false;
        width = static_cast<int>(guiWidth_);
        height = static_cast<int>(guiHeight_);
        return true;
    }
    bool openEditor(unsigned long parent, std::string& error) override {
        clap_.onResizeRequest = [this](std::uint32_t w, std::uint32_t h) {
            return onEditorResize && onEditorResize(static_cast<int>(w), static_cast<int>(h));
        };
        if (clap_.openGui(parent, guiWidth_, guiHeight_)) return true;
        clap_.onResizeRequest = nullptr;
        error = "the plug-in's editor did not open (it takes no X11 window, or needs more of the "
                "host)";
        return false;
    }
    void idleEditor() override;
    bool setEditorScale(double scale) override {
        clap_.setGuiScale(scale);
        return true;
    }
    void closeEditor() override {
        clap_.closeGui();
        clap_.onResizeRequest = nullptr;
    }

private:
    // A note event as MIDI bytes: note on and off, a tuning expression as pitch bend over ±2
    // semitones; false for the rest.
    bool noteMessage(const ClapEvent& e, NoteMessage& m) const;

    const ClapParam& param(int index) const {
        static const ClapParam none;
        return index >= 0 && index < static_cast<int>(params_.size())
                   ? params_[static_cast<std::size_t>(index)]
                   : none;
    }
    double plain(int index, double normalised) const {
        const ClapParam& p = param(index);
        double v = p.min + std::min(1.0, std::max(0.0, normalised)) * (p.max - p.min);
        if (p.flags & CLAP_PARAM_IS_STEPPED) v = std::round(v);
        return std::min(std::max(v, p.min), p.max);
    }
    // A host change: with the next block while switched on, at once through a flush otherwise.
    void change(int index, double value) {
        clap_.setValue(index, value);
        if (!clap_.active()) {
            clap_.flush();
            passEvents();
        }
    }
    void passEvents();

    ClapPlugin clap_;
    double rate_ = 44100;
    int block_ = 512;
    long long frames_ = 0; // processed by render blocks before the current one
    std::vector<ClapParam> params_;
    std::uint32_t guiWidth_ = 0, guiHeight_ = 0;
    int flushesSeen_ = 0;
    // The main loop's silent blocks.
    std::vector<float> idleIn_, idleOut_;
    std::vector<float*> idleIns_, idleOuts_;
};

bool HostedClap::load(const PluginLocation& where, double rate, int block, std::string& error) {
    rate_ = rate;
    block_ = block;
    if (!clap_.load(where.path, error, where.id)) return false;
    for (int i = 0; i < clap_.paramCount(); ++i) {
        ClapParam p;
        if (!clap_.paramInfo(i, p)) {
            error = "plug-in " + where.path + " is unusable: it describes no parameter " +
                    std::to_string(i) + " of the " + std::to_string(clap_.paramCount()) +
                    " it counts";
            return false;
        }
        params_.push_back(p);
    }
    return true;
}

InfoRows HostedClap::identity() {
    const clap_plugin_descriptor_t* d = clap_.descriptor();
    auto text = [](const char* s) { return std::string(s ? s : ""); };
    InfoRows rows;
    rows.emplace_back("Name", text(d->name));
    rows.emplace_back("Vendor", text(d->vendor));
    rows.emplace_back("Id", text(d->id));
    rows.emplace_back("Version", text(d->version));
    if (d->description && *d->description) rows.emplace_back("Description", d->description);
    if (d->url && *d->url) rows.emplace_back("URL", d->url);
    rows.emplace_back("Features", joined(clap_.features()));
    rows.emplace_back("CLAP version", std::to_string(d->clap_version.major) + "." +
                                          std::to_string(d->clap_version.minor) + "." +
                                          std::to_string(d->clap_version.revision));
    rows.emplace_back("Channels", channelCounts(inputs(), outputs()));
    std::vector<std::string> layouts;
    for (const ClapLayout& l : clap_.layouts())
        layouts.push_back(l.name + " (" + channelCounts(l.inputs, l.outputs) + ")");
    rows.emplace_back("Layouts", joined(layouts));
    return rows;
}

InfoRows HostedClap::capabilities() {
    InfoRows rows;
    for (const char* id : kExtensions)
        rows.emplace_back(id, clap_.extension(id) ? "yes" : "no");
    rows.emplace_back("x11 editor (embedded)", clap_.hasGui() ? "yes" : "no");
    return rows;
}

StateResult HostedClap::saveState(const std::string& path, bool, std::vector<std::uint8_t>& bytes) {
    std::string error;
    if (!stateFileNameFits(PluginFormat::Clap, path, error))
        return StateResult::fail(StateResult::BadPath, error);
    ClapStateFile file;
    const clap_plugin_descriptor_t* d = clap_.descriptor();
    file.id = d->id ? d->id : "";
    file.name = d->name ? d->name : "";
    file.version = d->version ? d->version : "";
    if (!clap_.saveState(file.state))
        return StateResult::fail(StateResult::NoState,
                                 clap_.extension(CLAP_EXT_STATE)
                                     ? "the plug-in refused to save its state"
                                     : "the plug-in has no state to save (no state extension)");
    bytes = encodeClapState(file);
    StateResult r;
    r.what = "state";
    r.how = "CLAP state, " + std::to_string(file.state.size()) + " bytes";
    return r;
}

StateResult HostedClap::loadState(const std::vector<std::uint8_t>& bytes) {
    ClapStateFile file;
    std::string error;
    if (!decodeClapState(bytes, file, error)) return StateResult::fail(StateResult::Damaged, error);
    const char* own = clap_.descriptor()->id;
    const std::string id = own ? own : "";
    if (file.id != id)
        return StateResult::fail(StateResult::OtherPlugin,
                                 "the state is for another plug-in: its id is '" + file.id +
                                     "', this plug-in's is '" + id + "'");
    if (!clap_.loadState(file.state))
        return StateResult::fail(StateResult::Refused, "the plug-in refuses the state (" +
                                                           std::to_string(file.state.size()) +
                                                           " bytes)");
    // The plug-in asks the host to read its values again; they are read at each use here.
    passEvents();
    return {};
}

bool HostedClap::setBypass(bool on) {
    for (int i = 0; i < parameterCount(); ++i)
        if (param(i).flags & CLAP_PARAM_IS_BYPASS) {
            change(i, on ? param(i).max : param(i).min);
            return true;
        }
    return false;
}

bool HostedClap::resume() {
    if (!clap_.activate(rate_, 1, static_cast<std::uint32_t>(block_))) return false;
    if (!clap_.startProcessing()) {
        clap_.deactivate();
        return false;
    }
    const std::size_t width = static_cast<std::size_t>(std::max(1, std::max(inputs(), outputs())));
    const std::size_t frames = static_cast<std::size_t>(block_);
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

void HostedClap::idleEditor() {
    clap_.runTimers();
    if (clap_.active() && !idleIns_.empty()) {
        clap_.process(idleIns_.data(), idleOuts_.data(), static_cast<std::uint32_t>(block_));
    } else if (clap_.flushRequests() != flushesSeen_) {
        flushesSeen_ = clap_.flushRequests();
        clap_.flush();
    }
    passEvents();
}

bool HostedClap::noteMessage(const ClapEvent& e, NoteMessage& m) const {
    const int channel = e.channel >= 0 && e.channel < 16 ? e.channel : 0;
    m.frame = frames_ + e.time;
    m.size = 3;
    if (e.type == CLAP_EVENT_NOTE_ON || e.type == CLAP_EVENT_NOTE_OFF) {
        if (e.key < 0 || e.key > 127) return false;
        const bool on = e.type == CLAP_EVENT_NOTE_ON;
        double v = std::floor(std::clamp(e.value, 0.0, 1.0) * 127 + 0.5);
        // A note on at velocity 0 would read as a note off.
        if (on && v < 1) v = 1;
        m.bytes[0] = static_cast<std::uint8_t>((on ? 0x90 : 0x80) | channel);
        m.bytes[1] = static_cast<std::uint8_t>(e.key);
        m.bytes[2] = on ? static_cast<std::uint8_t>(v) : 0;
        return true;
    }
    if (e.type == CLAP_EVENT_NOTE_EXPRESSION && e.expression == CLAP_NOTE_EXPRESSION_TUNING) {
        const int bend =
            static_cast<int>(std::floor(std::clamp(8192 + e.value * 4096, 0.0, 16383.0) + 0.5));
        m.bytes[0] = static_cast<std::uint8_t>(0xe0 | channel);
        m.bytes[1] = static_cast<std::uint8_t>(bend & 0x7f);
        m.bytes[2] = static_cast<std::uint8_t>(bend >> 7);
        return true;
    }
    return false;
}

void HostedClap::passEvents() {
    for (const ClapEvent& e : clap_.takeEvents()) {
        NoteMessage m;
        if (noteMessage(e, m)) {
            if (onNoteOutput) onNoteOutput(m);
            continue;
        }
        int index = -1;
        for (std::size_t i = 0; i < params_.size() && index < 0; ++i)
            if (params_[i].id == e.param) index = static_cast<int>(i);
        if (index < 0) continue;
        if (e.type == CLAP_EVENT_PARAM_GESTURE_BEGIN) notify(HostNotice::BeginEdit, index);
        if (e.type == CLAP_EVENT_PARAM_VALUE) notify(HostNotice::Value, index, e.value);
        if (e.type == CLAP_EVENT_PARAM_GESTURE_END) notify(HostNotice::EndEdit, index);
    }
}

} // namespace

std::unique_ptr<HostedPlugin> loadClapPlugin(const PluginLocation& where, double sampleRate,
                                             int blockSize, std::string& error) {
    std::unique_ptr<HostedClap> plugin(new HostedClap);
    if (!plugin->load(where, sampleRate, blockSize, error)) return nullptr;
    return plugin;
}

} // namespace OmbrelHost

// One plug-in of any format the command-line host runs (VST 2.4, LV2, CLAP), seen through what its
// commands need: identity, channels, parameters, programs, state files, channel layout, bypass,
// activation, block processing with a transport, the notices it sends the host and its X11
// editor. Each format keeps its own host class (PluginHost, Lv2Plugin, ClapPlugin); this face is
// the one the commands use, so none of them asks which format runs. Linux command-line use: one
// thread drives everything, so the [ui] and [audio] calls of the formats are all made on it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace OmbrelHost {

enum class PluginFormat { Vst2, Lv2, Clap };

// "VST 2.4", "LV2", "CLAP".
const char* formatName(PluginFormat format);

// Which format a path names, from what it is: a folder (an LV2 bundle, optionally followed by
// ":URI" for one plug-in of several), a file ending in ".clap" (optionally followed by ":ID"), or
// any other file (a VST 2.4 library). The location and the plug-in's URI or id come back apart.
struct PluginLocation {
    PluginFormat format = PluginFormat::Vst2;
    std::string path;
    std::string id; // LV2 URI or CLAP id; empty: the first the file or bundle holds
};
PluginLocation locatePlugin(const std::string& spec);

// A notice the host received about a parameter: a user's edit in the editor (gesture begin,
// values, gesture end) or a change the plug-in made itself.
struct HostNotice {
    enum Kind { BeginEdit, Value, EndEdit };
    Kind kind = Value;
    int index = 0;
    // Value: as the format records it on an automation lane (VST 2.4 normalised, LV2 the port
    // value, CLAP the plain value).
    double value = 0;
};

// One message of the plug-in's note output: MIDI bytes at a frame counted from the first frame
// processed.
struct NoteMessage {
    long long frame = 0;
    std::uint8_t bytes[3] = {};
    int size = 0;
};

// Outcome of a state file saved or restored; the message says why when it is not Ok.
struct StateResult {
    enum Code {
        Ok,
        BadPath,     // the name does not say a state file of this format
        NoState,     // the plug-in gives no state to save
        Damaged,     // not a state file of this format, or cut short
        OtherPlugin, // made for another plug-in
        Mismatch,    // parameter values that do not fit the plug-in
        Refused,     // the plug-in refuses the state; nothing changed
    };
    Code code = Ok;
    std::string message;
    // Saved: what the file holds, for the command's report ("bank", "state chunk").
    std::string what, how;
    static StateResult fail(Code code, std::string message) {
        StateResult r;
        r.code = code;
        r.message = std::move(message);
        return r;
    }
};

// Rows of info's report.
using InfoRows = std::vector<std::pair<std::string, std::string>>;

class HostedPlugin {
public:
    virtual ~HostedPlugin() = default;
    HostedPlugin() = default;
    HostedPlugin(const HostedPlugin&) = delete;
    HostedPlugin& operator=(const HostedPlugin&) = delete;

    virtual PluginFormat format() const = 0;
    // The name hosts list it by.
    virtual std::string name() = 0;
    // info's identity lines: label and text.
    virtual InfoRows identity() = 0;
    // info's last section: its title and rows (VST 2.4 capability answers, CLAP extensions, LV2
    // features and extensions).
    virtual std::string capabilityTitle() = 0;
    virtual InfoRows capabilities() = 0;

    // Channels the plug-in reads and writes as it is laid out now.
    virtual int inputs() = 0;
    virtual int outputs() = 0;

    // Parameters by index.
    virtual int parameterCount() = 0;
    virtual std::string parameterName(int index) = 0;
    // Another name the parameter answers to (an LV2 port symbol); empty when none.
    virtual std::string parameterSymbol(int index) = 0;
    virtual std::string parameterUnit(int index) = 0;
    virtual std::string parameterDisplay(int index) = 0;
    // The value from 0 to 1 over the parameter's range.
    virtual double normalised(int index) = 0;
    virtual void setNormalised(int index, double value) = 0;
    // The format's own value and range where it has one (LV2 port values, CLAP plain values);
    // false for VST 2.4, whose values are the normalised ones.
    virtual bool nativeValue(int index, double& value, double& min, double& max) = 0;
    // Typed text as a user enters it; false when refused.
    virtual bool setText(int index, const std::string& text) = 0;
    // True when setText refuses every text it cannot read (the format parses it, or the plug-in
    // must answer for it), so a text taken that changes nothing named the current value.
    virtual bool textIsChecked() const = 0;
    // The display text at a normalised value. VST 2.4 can only tell by setting the value, so a
    // run of probes ends with endProbe and the value normalised() answered before them.
    virtual std::string probeDisplay(int index, double normalised) = 0;
    virtual void endProbe(int index, double original) = 0;

    // Programs: VST 2.4 programs, LV2 presets; a CLAP plug-in has none (programWord is null).
    virtual const char* programWord() const = 0;
    virtual int programCount() = 0;
    // -1 when the format keeps no current program.
    virtual int program() = 0;
    virtual std::string programName(int index) = 0;
    virtual bool setProgram(int index) = 0;
    // Names the sound as it is now: the current VST 2.4 program's name, the label of an LV2
    // state saved afterwards; false for CLAP, which names no sound.
    virtual bool setProgramName(const std::string& name) = 0;

    // State files: the format's own (.fxp/.fxb for VST 2.4, .clapstate, .ttl for LV2). path
    // names the file to save, whose extension may choose what goes in; preferParameters asks a
    // VST 2.4 plug-in for its parameter values instead of its chunk.
    virtual StateResult saveState(const std::string& path, bool preferParameters,
                                  std::vector<std::uint8_t>& bytes) = 0;
    virtual StateResult loadState(const std::vector<std::uint8_t>& bytes) = 0;

    // Processing set-up, before resume: the channels the host offers (false when the plug-in
    // keeps its own layout), the plug-in's own bypass (false when it has none), 64-bit samples
    // (false when it cannot), and the transport: 4/4 at a tempo, advancing only while playing.
    virtual bool setLayout(int inputs, int outputs) = 0;
    virtual bool setBypass(bool on) = 0;
    virtual bool setDoublePrecision(bool on) = 0;
    virtual void setTransport(double tempo, bool playing) = 0;

    // Switched on for processing and off again; false when the plug-in refuses.
    virtual bool resume() = 0;
    virtual void suspend() = 0;
    // One block of at most the block size given at load; the tables hold at least inputs() and
    // outputs() channels. False when the plug-in reports a failed block.
    virtual bool process(float** inputs, float** outputs, int frames) = 0;
    virtual bool process(double** inputs, double** outputs, int frames) = 0;

    // The editor: an X11 window inside parent. editorSize answers what the plug-in says its
    // size is (before opening, only VST 2.4 can tell); idleEditor is the host's main-loop turn
    // (VST 2.4 idle, LV2 idle interface, CLAP timers) and passes on the notices it brings.
    virtual bool hasEditor() = 0;
    virtual bool editorSize(int& width, int& height) = 0;
    virtual bool openEditor(unsigned long parent, std::string& error) = 0;
    virtual void idleEditor() = 0;
    virtual void closeEditor() = 0;
    // The scale the editor is to open at, where the format lets a host give one (CLAP set_scale,
    // LV2 ui:scaleFactor); false where it does not (VST 2.4: the plug-in reads the display's
    // settings itself).
    virtual bool setEditorScale(double scale) {
        (void)scale;
        return false;
    }

    // The editor asks the host for a new size; true when the host took it. Only while open.
    std::function<bool(int width, int height)> onEditorResize;
    // Every notice about a parameter, as it reaches the host.
    std::function<void(const HostNotice&)> onNotice;
    // Whether the plug-in says it gives note output (VST 2.4 canDo sendVstMidiEvent or
    // sendVstEvents, a CLAP note output port, an LV2 atom output that gives MIDI events).
    virtual bool hasNoteOutput() = 0;
    // The one place a render's note output is to be collected: VST 2.4 events the plug-in sends
    // the host (audioMasterProcessEvents), CLAP note events among its output events, LV2 events
    // on its atom output ports (Lv2Plugin connects them). Unset: the host discards note output.
    std::function<void(const NoteMessage&)> onNoteOutput;

protected:
    void notify(HostNotice::Kind kind, int index, double value = 0) {
        if (onNotice) onNotice({kind, index, value});
    }
};

// Loads the plug-in a path names (see locatePlugin) and sets it up for the sample rate and the
// largest block; null with a readable reason when it cannot be used.
std::unique_ptr<HostedPlugin> loadHostedPlugin(const std::string& spec, double sampleRate,
                                               int blockSize, std::string& error);

// Whether a file name fits the state files of a format, else the reason.
bool stateFileNameFits(PluginFormat format, const std::string& path, std::string& error);

} // namespace OmbrelHost

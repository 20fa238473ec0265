// Hosts one LV2 plug-in from a bundle the way a DAW does, over Debian's lilv: instantiates it with
// the usual features (URID map, options with the block lengths), offers its control inputs as
// parameters, its presets, its state as text, mono or stereo connection of its audio ports,
// processing in blocks with a transport sent as time:Position, and its X11 UI in a parent window.
// Atom ports beyond the transport input get event buffers of their own (an empty sequence in,
// room for the plug-in's events out). Linux command-line use only; one thread drives everything.
#pragma once

#include "platform/KDynamicLibrary.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace OmbrelHost {

// What the plug-in's UI told the host.
struct Lv2Notice {
    enum Kind { Write, TouchBegin, TouchEnd };
    Kind kind;
    std::uint32_t port;
    float value; // the written value; 0 for gestures
};

// A saved state read without loading its plug-in.
struct Lv2StateSummary {
    std::string plugin; // the URI it applies to
    std::string label;
    std::vector<std::pair<std::string, float>> ports; // symbol, value
    unsigned properties = 0;                          // the plug-in's own entries
};

class Lv2Plugin {
public:
    Lv2Plugin();
    ~Lv2Plugin();
    Lv2Plugin(const Lv2Plugin&) = delete;
    Lv2Plugin& operator=(const Lv2Plugin&) = delete;

    // Loads the bundle directory and instantiates its plug-in (uri, or the bundle's first), ports
    // at their defaults and stereo where the plug-in has two channels. False with a readable
    // reason on any failure; nothing stays loaded then.
    bool load(const std::string& bundle, double sampleRate, int blockSize, std::string& error,
              const std::string& uri = "");
    void unload();
    bool loaded() const;

    // Identity.
    std::string uri() const;
    std::string name() const;
    std::string author() const;
    std::string pluginClass() const;
    double sampleRate() const { return sampleRate_; }
    int blockSize() const { return blockSize_; }
    // The features the plug-in needs or can use, and its extension data, by URI.
    std::vector<std::string> requiredFeatures() const;
    std::vector<std::string> optionalFeatures() const;
    std::vector<std::string> extensionData() const;

    // Parameters: the control input ports, by their order among them.
    int parameterCount() const;
    std::string parameterName(int index) const;
    std::string parameterSymbol(int index) const;
    // The unit's symbol ("Hz", "dB", "per bar"); empty without one.
    std::string parameterUnit(int index) const;
    float parameterMinimum(int index) const;
    float parameterMaximum(int index) const;
    float parameterDefault(int index) const;
    std::uint32_t parameterPort(int index) const;
    // -1 when no control input has the symbol.
    int parameterIndex(const std::string& symbol) const;
    // The control input that switches the plug-in on and off (lv2:enabled); -1 when none.
    int enabledParameter() const;
    // The port value the host holds.
    float parameter(int index) const;
    // Clamped to the port's range; the UI hears it while open.
    void setParameter(int index, float value);
    // The value from 0 to 1 as a generic host's slider has it: logarithmic for logarithmic
    // ports, whole values for integer, enumerated and toggled ones.
    double normalised(int index) const;
    float fromNormalised(int index, double normalised) const;
    // The value as a generic host shows it: a scale point's label, else the number and its unit.
    std::string parameterDisplay(int index) const;
    // The same for any value, with or without the unit.
    std::string displayOf(int index, float value, bool withUnit) const;
    // A scale point's label (any letter case), Inf or -Inf (the range's ends), or a number
    // optionally followed by the unit; false for anything else, which changes nothing.
    bool setParameterText(int index, const std::string& text);

    // Presets the plug-in's data names, by label.
    std::vector<std::string> presets() const;
    bool loadPreset(int index);

    // The plug-in's state with the port values, as Turtle text (labelled when label is not
    // empty); empty on failure.
    std::string saveState(const std::string& label = "");
    enum class StateLoad { Ok, NotState, OtherPlugin, Refused };
    // Restores a saved state. A state for another plug-in (its URI comes back in appliesTo), or
    // one the plug-in refuses, changes nothing: the ports keep their values then.
    StateLoad restoreState(const std::string& text, std::string& appliesTo);
    // False when the text holds no state for this plug-in.
    bool loadState(const std::string& text);
    // What a saved state's text holds; false when it is none.
    static bool summariseState(const std::string& text, Lv2StateSummary& summary);

    // Audio ports on each side; inputs and outputs used of them (1 leaves the right ones
    // unconnected when they are optional).
    int audioInputs() const;
    int audioOutputs() const;
    bool setChannels(int inputs, int outputs);
    int inputsUsed() const { return inputsUsed_; }
    int outputsUsed() const { return outputsUsed_; }

    void activate();
    void deactivate();
    bool active() const { return active_; }

    // A song position sent with every block as time:Position: 4/4 at a fixed tempo, advancing
    // only while playing.
    void setTempo(double bpm) { tempo_ = bpm; }
    void setPlaying(bool playing) { playing_ = playing; }
    void setTransportEnabled(bool on) { transportOn_ = on; }
    double samplePosition() const { return samplePos_; }
    // Runs frames through the plug-in in blocks of at most blockSize(); the tables hold
    // inputsUsed() and outputsUsed() channels.
    void process(float** inputs, float** outputs, int frames);

    // Whether an atom output gives MIDI events; each one the plug-in writes reaches onMidiOutput
    // with its frame counted from the first frame processed.
    bool hasMidiOutput() const;
    std::function<void(long long frame, const std::uint8_t* bytes, int size)> onMidiOutput;
    // The UI's port writes (already applied to the ports) and gestures since the last call.
    std::vector<Lv2Notice> takeNotices();

    // Whether the plug-in has an X11 UI.
    bool hasUi() const;
    // The plug-in's X11 UI inside parent (an X window id). False with a reason when it has none
    // or it does not open.
    bool openUi(unsigned long parent, std::string& error);
    // The ui:scaleFactor option openUi gives the UI; 0 gives none.
    void setUiScale(double scale);
    // Lets the UI run one idle step; false once the UI says it is closed.
    bool idleUi();
    void closeUi();
    bool uiOpen() const;
    // The UI's own window, 0 when none.
    unsigned long uiWindow() const;
    // Answers the UI's request for a size (ui:resize); unset, the host refuses it.
    std::function<bool(int width, int height)> onUiResize;

    struct World; // the lilv world and everything loaded from it

private:
    void connectAudio(float** inputs, float** outputs, int offset);
    void writeTransport();
    void prepareEvents();
    void readMidi(int frames);

    std::unique_ptr<World> w_;
    double sampleRate_ = 44100;
    int blockSize_ = 512;
    int inputsUsed_ = 0;
    int outputsUsed_ = 0;
    bool active_ = false;
    double tempo_ = 120;
    bool playing_ = false;
    bool transportOn_ = true;
    double samplePos_ = 0;
    long long framesRun_ = 0;
};

} // namespace OmbrelHost

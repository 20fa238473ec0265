// Hosts one CLAP plug-in the way a DAW does, over our own declarations of the interface: loads
// the library, creates the plug-in from its factory, answers its host extensions (thread check,
// parameters, state, timers, log, editor), and drives it: parameters by index with their texts,
// state as bytes, the audio-ports layout, activation, processing in blocks with a transport, the
// events it sends back, and its embedded editor. One thread is the main thread (the one that
// loads); it is also the audio thread unless another is named, and then processing may run there
// while the main thread queues changes and takes the events. Linux and Windows.
#pragma once

#include "clap/ClapInterface.h"
#include "platform/KDynamicLibrary.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace OmbrelHost {

struct ClapParam {
    clap_id id = CLAP_INVALID_ID;
    std::uint32_t flags = 0;
    std::string name;
    std::string module;
    double min = 0, max = 1, defaultValue = 0;
};

// A layout of the main ports the plug-in offers.
struct ClapLayout {
    clap_id id = CLAP_INVALID_ID;
    std::string name;
    int inputs = 0, outputs = 0;
};

// An event the plug-in pushed, as the host keeps it.
struct ClapEvent {
    std::uint16_t type = 0;
    clap_id param = CLAP_INVALID_ID; // parameter events
    double value = 0;                // value events; note velocity; expression value
    std::uint32_t time = 0;
    // Note events: the key and channel (-1 when the plug-in gives none), the expression's id.
    int key = -1, channel = -1;
    int expression = -1;
};

// A song position served as clap_process_t.transport: 4/4 at a fixed tempo, advancing only
// while playing. The position is worked out from the frames played as a VST 2.4 host works out
// ppqPos, then rounded to the interface's fixed point: the nearest a CLAP host can tell.
class ClapTransport {
public:
    void setTempo(double bpm) { tempo_ = bpm; }
    void setPlaying(bool playing) { playing_ = playing; }
    // Where playing starts, in beats.
    void setBeats(double beats) {
        start_ = beats;
        frames_ = 0;
    }
    double beats() const;
    const clap_event_transport_t* current();
    void advance(std::uint32_t frames, double sampleRate);

private:
    clap_event_transport_t record_{};
    double tempo_ = 120;
    double start_ = 0;
    double frames_ = 0; // played since start_
    double sampleRate_ = 44100;
    bool playing_ = false;
};

class ClapPlugin {
public:
    ClapPlugin();
    ~ClapPlugin();
    ClapPlugin(const ClapPlugin&) = delete;
    ClapPlugin& operator=(const ClapPlugin&) = delete;

    // Loads the library, initialises its entry and creates and initialises the plug-in (the
    // factory's first, or the one with id). False with a readable reason; nothing stays loaded.
    bool load(const std::string& path, std::string& error, const std::string& id = "");
    // Deactivates when needed, destroys the plug-in, deinitialises the entry, unloads.
    void unload();
    const clap_plugin_t* plugin() const { return plugin_; }
    const clap_plugin_descriptor_t* descriptor() const;
    std::vector<std::string> features() const;
    // A plug-in extension, or null.
    const void* extension(const char* id) const;
    template <typename T> const T* extension(const char* id) const {
        return static_cast<const T*>(extension(id));
    }

    // Parameters by index.
    int paramCount() const;
    bool paramInfo(int index, ClapParam& info) const;
    // The first parameter of that name in any letter case; -1 when none.
    int findParam(const std::string& name) const;
    double value(int index) const;
    // value_to_text of a value, and of the current value; "" when refused.
    std::string text(int index, double value) const;
    std::string text(int index) const { return text(index, value(index)); }
    bool textToValue(int index, const std::string& text, double& value) const;
    // Queued as an event for the next process or flush.
    void setValue(int index, double value, std::uint32_t time = 0);
    bool setText(int index, const std::string& text);
    // params.flush with the queued events.
    void flush();

    // State through streams that move at most chunk bytes a call (0: all at once).
    bool saveState(std::vector<std::uint8_t>& bytes, std::size_t chunk = 0) const;
    bool loadState(const std::vector<std::uint8_t>& bytes, std::size_t chunk = 0) const;

    // Channels of the main ports; selects the audio-ports configuration with those counts.
    int inputChannels() const { return channels(true); }
    int outputChannels() const { return channels(false); }
    bool selectLayout(int inputs, int outputs);
    std::vector<ClapLayout> layouts() const;
    // Note output ports the plug-in offers.
    int noteOutputs() const;
    // Whether the main ports take 64-bit buffers.
    bool supports64() const;

    bool activate(double sampleRate, std::uint32_t minFrames, std::uint32_t maxFrames);
    void deactivate();
    bool startProcessing();
    void stopProcessing();
    bool active() const { return active_; }
    double sampleRate() const { return sampleRate_; }
    ClapTransport& transport() { return transport_; }
    // Passes no transport at all, as a free-running host does.
    void setFreeRunning(bool on) { freeRunning_ = on; }

    // One block through the main ports, with the queued events and the transport (advanced
    // afterwards); the plug-in's answer.
    clap_process_status process(float** inputs, float** outputs, std::uint32_t frames);
    clap_process_status process(double** inputs, double** outputs, std::uint32_t frames);

    // What the plug-in sent: events from process and flush, and its requests.
    std::vector<ClapEvent> takeEvents();
    int flushRequests() const { return flushRequests_.load(); }
    int processRequests() const { return processRequests_.load(); }
    std::uint32_t rescans() const { return rescans_; }
    const std::vector<std::string>& log() const { return log_; }

    // The host's main loop: every registered timer ticks once.
    void runTimers();
    int timerCount() const { return static_cast<int>(timers_.size()); }

    // The embedded editor in parent (an X11 window id or an HWND); its fixed size.
    bool hasGui() const;
    bool openGui(std::uintptr_t parent, std::uint32_t& width, std::uint32_t& height);
    void closeGui();
    bool guiOpen() const { return guiOpen_; }
    // The scale openGui gives through set_scale before asking for the size (0 gives none); an
    // open editor gets it at once. The plug-in's answer, true when the editor is closed.
    bool setGuiScale(double scale);
    // Answers the editor's request for a new size; unset, the host refuses it.
    std::function<bool(std::uint32_t width, std::uint32_t height)> onResizeRequest;

    // Threads as the host reports them to the plug-in.
    void setAudioThread(std::thread::id id) { audioThread_ = id; }
    bool isMainThread() const { return std::this_thread::get_id() == mainThread_; }
    bool isAudioThread() const { return std::this_thread::get_id() == audioThread_; }

    // Host-side answers, public for the C trampolines.
    const void* hostExtension(const char* id) const;
    void received(const clap_event_header_t& event);
    void requested(bool flush) { ++(flush ? flushRequests_ : processRequests_); }
    void rescanned(std::uint32_t flags) { rescans_ |= flags; }
    void logged(const char* message) { log_.push_back(message ? message : ""); }
    bool resizeRequested(std::uint32_t width, std::uint32_t height) {
        return onResizeRequest && onResizeRequest(width, height);
    }
    bool registerTimer(std::uint32_t period, clap_id& id);
    bool unregisterTimer(clap_id id);

private:
    // Buffers for the ports after the main ones (side chains and the like): silence in, and
    // outputs nobody reads, made at activation.
    struct PortBuffers {
        std::vector<clap_audio_buffer_t> records;
        std::vector<std::vector<float>> floats;
        std::vector<std::vector<double>> doubles;
        std::vector<float*> floatChannels;
        std::vector<double*> doubleChannels;
    };
    int channels(bool input) const;
    void makePortBuffers(bool input, std::uint32_t maxFrames);
    clap_process_status run(clap_audio_buffer_t& in, clap_audio_buffer_t& out,
                            std::uint32_t frames);

    Korvel::KDynamicLibrary library_;
    const clap_plugin_entry_t* entry_ = nullptr;
    const clap_plugin_t* plugin_ = nullptr;
    clap_host_t host_{};
    std::thread::id mainThread_;
    std::thread::id audioThread_;
    bool active_ = false;
    bool processing_ = false;
    bool guiOpen_ = false;
    double guiScale_ = 0;
    bool freeRunning_ = false;
    double sampleRate_ = 44100;
    std::int64_t steadyTime_ = 0;
    ClapTransport transport_;
    // Queued by the main thread, taken by the processing call; events the other way round.
    std::mutex lock_;
    std::vector<clap_event_param_value_t> pending_;
    std::vector<ClapEvent> events_;
    std::vector<std::string> log_;
    std::vector<clap_id> timers_;
    clap_id nextTimer_ = 1;
    std::atomic<int> flushRequests_{0};
    std::atomic<int> processRequests_{0};
    std::uint32_t rescans_ = 0;
    PortBuffers portsIn_, portsOut_;
};

} // namespace OmbrelHost

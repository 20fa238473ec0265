// The effect as a CLAP plug-in: one object per instance behind the clap_plugin_t record the
// factory hands out. It translates the host's calls into the effect's own operations through
// KHostedEffect and answers the extensions this plug-in offers: parameters, state, audio ports
// and their configurations, the note output, the embedded editor and its timer.
//
// Threads, as the interface assigns them: set-up, extensions' queries, state and the editor on
// the host's main thread; processing (and a flush while active) on its audio thread. With the
// host's thread check a main-thread call made elsewhere is refused; two audio-thread calls at
// once are refused whatever the host says. Values cross threads through atomics and the edit
// queue only.
#pragma once

#include "clap/ClapInterface.h"
#include "clap/KEditQueue.h"
#include "host/KHostedEffect.h"
#include "params/KParameterScale.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace Korvel {

class KClapEffect : public KHostedEffect {
public:
    // [thread-safe] Calls nothing of the host's: the effect is built in init().
    KClapEffect(const clap_host_t* host, const clap_plugin_descriptor_t* descriptor,
                KWindowFactory windows);
    ~KClapEffect() override;

    const clap_plugin_t* plugin() const { return &plugin_; }
    // The object behind a record the host hands back; null for a record that is not ours.
    static KClapEffect* from(const clap_plugin_t* plugin);

    // The plug-in record's entries. [main]: refused elsewhere (when the host can tell).
    bool init();
    bool activate(double sampleRate, std::uint32_t minFrames, std::uint32_t maxFrames);
    void deactivate();
    // [audio] Refused while inactive; process and reset also beside another audio-thread call.
    bool startProcessing();
    void stopProcessing();
    void reset();
    clap_process_status process(const clap_process_t& process);
    // [any]
    const void* extension(const char* id) const;
    bool onMainThread() const;
    bool active() const { return active_.load(std::memory_order_acquire); }

    // Parameters (KClapParams.cpp). Ids are the host indexes. [main] by the interface; they only
    // read, so they are harmless on any thread.
    std::uint32_t paramCount() const;
    bool paramInfo(std::uint32_t index, clap_param_info_t& info) const;
    bool paramValue(clap_id id, double& value) const;
    bool valueToText(clap_id id, double value, char* out, std::uint32_t capacity) const;
    bool textToValue(clap_id id, const char* text, double& value) const;
    // [audio] while active, [main] while inactive.
    void flush(const clap_input_events_t* in, const clap_output_events_t* out);

    // State (KClapState.cpp): the bank chunk and the current program. [main]
    bool saveState(const clap_ostream_t& stream);
    bool loadState(const clap_istream_t& stream);

    // Audio ports and their configurations. [main]; a configuration only while inactive.
    std::uint32_t portCount() const { return 1; }
    bool portInfo(std::uint32_t index, bool input, clap_audio_port_info_t& info) const;
    std::uint32_t configCount() const;
    bool configInfo(std::uint32_t index, clap_audio_ports_config_t& config) const;
    bool selectConfig(clap_id id);

    // The editor (KClapGui.cpp). [main]
    bool guiSupported(const char* api, bool floating) const;
    bool guiCreate(const char* api, bool floating);
    void guiDestroy();
    bool guiSetScale(double scale);
    bool guiSize(std::uint32_t& width, std::uint32_t& height) const;
    bool guiSetSize(std::uint32_t width, std::uint32_t height) const;
    bool guiSetParent(const clap_window_t& window);
    bool guiShow();
    bool guiHide();
    void onTimer(clap_id id);

protected:
    // [main] The editor's gestures and values, queued for the host.
    void beginEdit(int index) override;
    void automate(int index) override;
    void endEdit(int index) override;
    const char* hostVendor() const override;
    const char* hostProduct() const override;

private:
    struct Scale {
        KScaleKind kind = KScaleKind::Linear;
        double min = 0, max = 1, defaultValue = 0;
        clap_param_info_flags flags = 0;
    };
    // The host's view of the transport at one frame of the block.
    struct Transport {
        bool tempoKnown = false;
        bool playing = false;
        double beats = 0;
        double tempo = 0;
        std::uint32_t frame = 0;
    };
    template <typename T> const T* hostExtension(const char* id) const;
    void describeParameters();
    // Host units of a stored normalised value, and the change a host value makes.
    double toHost(int index, double normalised) const;
    void setFromHost(int index, double value);
    // [audio, or main while inactive] Events in and out.
    void applyEvent(const clap_event_header_t& event, Transport& transport);
    void sendEdits(const clap_output_events_t* out);
    void sendChanges(const clap_output_events_t* out);
    // [audio] The block's note output, after the parameter events.
    void sendNotes(const clap_output_events_t* out);
    void remember(int index, double normalised);
    void rememberAll();
    bool pushValue(const clap_output_events_t* out, int index, double normalised);
    bool pushGesture(const clap_output_events_t* out, int index, bool begin);
    // [main] Asks the host for a flush when it would otherwise not call soon.
    void requestFlush();
    bool valuesDiffer() const;
    // [audio] One stretch of the block, frames [from, to), in the buffers' precision.
    bool checkBuffers(const clap_process_t& process) const;
    void render(const clap_process_t& process, std::uint32_t from, std::uint32_t to,
                const Transport& transport);
    void closeEditorWindow();

    clap_plugin_t plugin_{};
    const clap_host_t* host_;
    KWindowFactory windows_;
    const clap_host_params_t* hostParams_ = nullptr;
    const clap_host_thread_check_t* threadCheck_ = nullptr;
    const clap_host_timer_support_t* timers_ = nullptr;
    const clap_host_gui_t* hostGui_ = nullptr;

    std::unique_ptr<Scale[]> scales_;
    // What the host was last told or last sent, per parameter: a stored value that differs was
    // changed inside the plug-in (editor, commands, the frequency limits' coupling) and is
    // reported. Written by the event consumer only.
    std::unique_ptr<std::atomic<double>[]> known_;
    int paramCount_ = 0;
    std::atomic<bool> resync_{false};
    KEditQueue edits_;
    std::atomic<bool> flushRequested_{false};

    std::atomic<bool> active_{false};
    std::atomic<bool> processing_{false};
    std::atomic<bool> inAudio_{false};
    double sampleRate_ = 44100;
    // The selected audio ports configuration (main thread; fixed while active).
    int config_ = 0;
    // The id of the last note started (audio thread).
    std::int32_t noteId_ = -1;

    bool guiCreated_ = false;
    bool timerRegistered_ = false;
    clap_id timer_ = CLAP_INVALID_ID;
    void* parent_ = nullptr;
    bool shown_ = false;
};

} // namespace Korvel

#include "clap/KClapEffect.h"

#include "clap/KAudioSection.h"
#include "clap/KClapExtensions.h"
#include "clap/KShield.h"
#include "core/KText.h"

#include <cmath>
#include <cstring>
#include <new>

namespace Korvel {

namespace {

// The layouts the effect accepts (one or two channels each way), mono and stereo first.
struct Layout {
    const char* name;
    int inputs, outputs;
};
constexpr Layout kLayouts[] = {
    {"Stereo", 2, 2},
    {"Mono", 1, 1},
    {"Mono in, stereo out", 1, 2},
    {"Stereo in, mono out", 2, 1},
};
constexpr int kLayoutCount = sizeof kLayouts / sizeof kLayouts[0];

const char* portType(int channels) {
    return channels == 1 ? CLAP_PORT_MONO : CLAP_PORT_STEREO;
}

// The plug-in record's entries.
bool CLAP_ABI pluginInit(const clap_plugin_t* p) {
    KClapEffect* e = KClapEffect::from(p);
    return e && shielded(false, [&] { return e->init(); });
}
void CLAP_ABI pluginDestroy(const clap_plugin_t* p) {
    KClapEffect* e = KClapEffect::from(p);
    // Only the main thread may take the object away: elsewhere it could be in use.
    if (e && e->onMainThread()) shieldedVoid([&] { delete e; });
}
bool CLAP_ABI pluginActivate(const clap_plugin_t* p, double rate, std::uint32_t minFrames,
                             std::uint32_t maxFrames) {
    KClapEffect* e = KClapEffect::from(p);
    return e && shielded(false, [&] { return e->activate(rate, minFrames, maxFrames); });
}
void CLAP_ABI pluginDeactivate(const clap_plugin_t* p) {
    if (KClapEffect* e = KClapEffect::from(p)) shieldedVoid([&] { e->deactivate(); });
}
bool CLAP_ABI pluginStart(const clap_plugin_t* p) {
    KClapEffect* e = KClapEffect::from(p);
    return e && shielded(false, [&] { return e->startProcessing(); });
}
void CLAP_ABI pluginStop(const clap_plugin_t* p) {
    if (KClapEffect* e = KClapEffect::from(p)) shieldedVoid([&] { e->stopProcessing(); });
}
void CLAP_ABI pluginReset(const clap_plugin_t* p) {
    if (KClapEffect* e = KClapEffect::from(p)) shieldedVoid([&] { e->reset(); });
}
clap_process_status CLAP_ABI pluginProcess(const clap_plugin_t* p, const clap_process_t* process) {
    KClapEffect* e = KClapEffect::from(p);
    if (!e || !process) return CLAP_PROCESS_ERROR;
    return shielded<clap_process_status>(CLAP_PROCESS_ERROR, [&] { return e->process(*process); });
}
const void* CLAP_ABI pluginExtension(const clap_plugin_t* p, const char* id) {
    KClapEffect* e = KClapEffect::from(p);
    return e && id ? e->extension(id) : nullptr;
}
void CLAP_ABI pluginOnMainThread(const clap_plugin_t*) {}

// Audio ports and their configurations.
std::uint32_t CLAP_ABI portsCount(const clap_plugin_t* p, bool) {
    KClapEffect* e = KClapEffect::from(p);
    return e ? e->portCount() : 0;
}
bool CLAP_ABI portsGet(const clap_plugin_t* p, std::uint32_t index, bool input,
                       clap_audio_port_info_t* info) {
    KClapEffect* e = KClapEffect::from(p);
    return e && info && e->portInfo(index, input, *info);
}
std::uint32_t CLAP_ABI configsCount(const clap_plugin_t* p) {
    KClapEffect* e = KClapEffect::from(p);
    return e ? e->configCount() : 0;
}
bool CLAP_ABI configsGet(const clap_plugin_t* p, std::uint32_t index,
                         clap_audio_ports_config_t* config) {
    KClapEffect* e = KClapEffect::from(p);
    return e && config && e->configInfo(index, *config);
}
bool CLAP_ABI configsSelect(const clap_plugin_t* p, clap_id id) {
    KClapEffect* e = KClapEffect::from(p);
    return e && shielded(false, [&] { return e->selectConfig(id); });
}

// One note output, in CLAP's own events: the tracked pitch as notes with their tuning.
std::uint32_t CLAP_ABI notePortsCount(const clap_plugin_t* p, bool input) {
    return KClapEffect::from(p) && !input ? 1 : 0;
}
bool CLAP_ABI notePortsGet(const clap_plugin_t* p, std::uint32_t index, bool input,
                           clap_note_port_info_t* info) {
    if (!KClapEffect::from(p) || input || index != 0 || !info) return false;
    *info = clap_note_port_info_t{};
    info->id = 0;
    info->supported_dialects = CLAP_NOTE_DIALECT_CLAP;
    info->preferred_dialect = CLAP_NOTE_DIALECT_CLAP;
    copyText(info->name, "Tracked pitch", CLAP_NAME_SIZE - 1);
    return true;
}

const clap_plugin_audio_ports_t kAudioPorts = {portsCount, portsGet};
const clap_plugin_note_ports_t kNotePorts = {notePortsCount, notePortsGet};
const clap_plugin_audio_ports_config_t kPortsConfig = {configsCount, configsGet, configsSelect};

} // namespace

// ---------------------------------------------------------------------------------------------
// Life cycle

KClapEffect::KClapEffect(const clap_host_t* host, const clap_plugin_descriptor_t* descriptor,
                         KWindowFactory windows)
    : host_(host), windows_(windows) {
    plugin_.desc = descriptor;
    plugin_.plugin_data = this;
    plugin_.init = pluginInit;
    plugin_.destroy = pluginDestroy;
    plugin_.activate = pluginActivate;
    plugin_.deactivate = pluginDeactivate;
    plugin_.start_processing = pluginStart;
    plugin_.stop_processing = pluginStop;
    plugin_.reset = pluginReset;
    plugin_.process = pluginProcess;
    plugin_.get_extension = pluginExtension;
    plugin_.on_main_thread = pluginOnMainThread;
}

KClapEffect::~KClapEffect() {
    // A host that destroys an active plug-in gets it deactivated first.
    if (active()) deactivate();
    guiDestroy();
    destroy();
}

KClapEffect* KClapEffect::from(const clap_plugin_t* plugin) {
    return plugin ? static_cast<KClapEffect*>(plugin->plugin_data) : nullptr;
}

template <typename T> const T* KClapEffect::hostExtension(const char* id) const {
    if (!host_ || !host_->get_extension) return nullptr;
    return static_cast<const T*>(host_->get_extension(host_, id));
}

bool KClapEffect::init() {
    if (effect()) return true;
    threadCheck_ = hostExtension<clap_host_thread_check_t>(CLAP_EXT_THREAD_CHECK);
    if (!onMainThread()) return false;
    hostParams_ = hostExtension<clap_host_params_t>(CLAP_EXT_PARAMS);
    timers_ = hostExtension<clap_host_timer_support_t>(CLAP_EXT_TIMER_SUPPORT);
    hostGui_ = hostExtension<clap_host_gui_t>(CLAP_EXT_GUI);
    if (!create(sampleRate_, windows_)) return false;
    enableNoteOutput();
    describeParameters();
    return scales_ && known_;
}

bool KClapEffect::onMainThread() const {
    // Without the host's thread check nothing tells one thread from another: trust the host.
    return !threadCheck_ || !threadCheck_->is_main_thread || threadCheck_->is_main_thread(host_);
}

bool KClapEffect::activate(double sampleRate, std::uint32_t, std::uint32_t maxFrames) {
    if (!effect() || active() || !onMainThread()) return false;
    if (!(sampleRate > 0) || !std::isfinite(sampleRate) || maxFrames == 0) return false;
    sampleRate_ = sampleRate;
    // As a VST host sets up before switching on: rate, block size (the scratch is reserved
    // here, off the audio thread), then effMainsChanged.
    effect()->setSampleRate(static_cast<float>(sampleRate));
    effect()->setBlockSize(maxFrames > 0x7fffffffu ? 0x7fffffff : static_cast<VstInt32>(maxFrames));
    effect()->resume();
    rememberAll();
    processing_.store(false, std::memory_order_relaxed);
    active_.store(true, std::memory_order_release);
    return true;
}

void KClapEffect::deactivate() {
    if (!active() || !onMainThread()) return;
    // Not while a block is running on another thread: that host is broken, and stopping the
    // engine under it would be worse than staying on.
    KAudioSection section(inAudio_);
    if (!section) return;
    active_.store(false, std::memory_order_release);
    processing_.store(false, std::memory_order_relaxed);
    effect()->suspend();
}

bool KClapEffect::startProcessing() {
    if (!active()) return false;
    processing_.store(true, std::memory_order_relaxed);
    return true;
}

void KClapEffect::stopProcessing() {
    processing_.store(false, std::memory_order_relaxed);
}

void KClapEffect::reset() {
    if (!active()) return;
    KAudioSection section(inAudio_);
    if (section) effect()->resetEngine();
}

const void* KClapEffect::extension(const char* id) const {
    if (!effect()) return nullptr;
    if (!std::strcmp(id, CLAP_EXT_PARAMS)) return &kClapParams;
    if (!std::strcmp(id, CLAP_EXT_STATE)) return &kClapState;
    if (!std::strcmp(id, CLAP_EXT_AUDIO_PORTS)) return &kAudioPorts;
    if (!std::strcmp(id, CLAP_EXT_AUDIO_PORTS_CONFIG)) return &kPortsConfig;
    if (!std::strcmp(id, CLAP_EXT_NOTE_PORTS)) return &kNotePorts;
    if (!std::strcmp(id, CLAP_EXT_GUI)) return effect()->hostEditor() ? &kClapGui : nullptr;
    if (!std::strcmp(id, CLAP_EXT_TIMER_SUPPORT)) return &kClapTimer;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Audio ports

bool KClapEffect::portInfo(std::uint32_t index, bool input, clap_audio_port_info_t& info) const {
    if (index != 0) return false;
    const Layout& layout = kLayouts[config_];
    int channels = input ? layout.inputs : layout.outputs;
    info = clap_audio_port_info_t{};
    info.id = 0;
    copyText(info.name, input ? "Input" : "Output", CLAP_NAME_SIZE - 1);
    // The engine works in double precision, so 64-bit buffers save it the widening.
    info.flags = CLAP_AUDIO_PORT_IS_MAIN | CLAP_AUDIO_PORT_SUPPORTS_64BITS |
                 CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE;
    info.channel_count = static_cast<std::uint32_t>(channels);
    info.port_type = portType(channels);
    info.in_place_pair = CLAP_INVALID_ID;
    return true;
}

std::uint32_t KClapEffect::configCount() const {
    return kLayoutCount;
}

bool KClapEffect::configInfo(std::uint32_t index, clap_audio_ports_config_t& config) const {
    if (index >= static_cast<std::uint32_t>(kLayoutCount)) return false;
    const Layout& layout = kLayouts[index];
    config = clap_audio_ports_config_t{};
    config.id = index;
    copyText(config.name, layout.name, CLAP_NAME_SIZE - 1);
    config.input_port_count = config.output_port_count = 1;
    config.has_main_input = config.has_main_output = true;
    config.main_input_channel_count = static_cast<std::uint32_t>(layout.inputs);
    config.main_input_port_type = portType(layout.inputs);
    config.main_output_channel_count = static_cast<std::uint32_t>(layout.outputs);
    config.main_output_port_type = portType(layout.outputs);
    return true;
}

bool KClapEffect::selectConfig(clap_id id) {
    if (!effect() || active() || !onMainThread() || id >= static_cast<clap_id>(kLayoutCount))
        return false;
    if (!setChannels(kLayouts[id].inputs, kLayouts[id].outputs)) return false;
    config_ = static_cast<int>(id);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Processing

bool KClapEffect::checkBuffers(const clap_process_t& p) const {
    if (p.audio_inputs_count < 1 || p.audio_outputs_count < 1 || !p.audio_inputs ||
        !p.audio_outputs)
        return false;
    const clap_audio_buffer_t& in = p.audio_inputs[0];
    const clap_audio_buffer_t& out = p.audio_outputs[0];
    const Layout& layout = kLayouts[config_];
    if (in.channel_count < static_cast<std::uint32_t>(layout.inputs) ||
        out.channel_count < static_cast<std::uint32_t>(layout.outputs))
        return false;
    bool doubles = in.data64 && out.data64;
    bool floats = in.data32 && out.data32;
    if (!doubles && !floats) return false;
    for (int k = 0; k < layout.inputs; ++k)
        if (doubles ? !in.data64[k] : !in.data32[k]) return false;
    for (int k = 0; k < layout.outputs; ++k)
        if (doubles ? !out.data64[k] : !out.data32[k]) return false;
    return true;
}

void KClapEffect::render(const clap_process_t& p, std::uint32_t from, std::uint32_t to,
                         const Transport& t) {
    if (to <= from) return;
    if (t.tempoKnown) {
        // The song position of this stretch's first frame: the effect syncs its LFO to the
        // position each processing call reports, as a VST host reports one per block.
        double beats = t.beats + (static_cast<double>(from) - static_cast<double>(t.frame)) *
                                     t.tempo / (60.0 * sampleRate_);
        setTransport(beats, t.tempo, t.playing);
    } else {
        clearTransport();
    }
    const clap_audio_buffer_t& in = p.audio_inputs[0];
    const clap_audio_buffer_t& out = p.audio_outputs[0];
    const Layout& layout = kLayouts[config_];
    auto frames = static_cast<VstInt32>(to - from);
    if (in.data64 && out.data64) {
        double* ins[2] = {};
        double* outs[2] = {};
        for (int k = 0; k < layout.inputs; ++k)
            ins[k] = in.data64[k] + from;
        for (int k = 0; k < layout.outputs; ++k)
            outs[k] = out.data64[k] + from;
        effect()->processDoubleReplacing(ins, outs, frames);
    } else {
        float* ins[2] = {};
        float* outs[2] = {};
        for (int k = 0; k < layout.inputs; ++k)
            ins[k] = in.data32[k] + from;
        for (int k = 0; k < layout.outputs; ++k)
            outs[k] = out.data32[k] + from;
        effect()->processReplacing(ins, outs, frames);
    }
}

clap_process_status KClapEffect::process(const clap_process_t& p) {
    if (!active()) return CLAP_PROCESS_ERROR;
    KAudioSection section(inAudio_);
    if (!section) return CLAP_PROCESS_ERROR;
    if (p.frames_count > 0 && !checkBuffers(p)) return CLAP_PROCESS_ERROR;
    if (p.audio_outputs_count > 0 && p.audio_outputs) p.audio_outputs[0].constant_mask = 0;
    sendEdits(p.out_events);
    beginNoteBlock();

    Transport transport;
    if (const clap_event_transport_t* t = p.transport) {
        transport.tempoKnown = (t->flags & CLAP_TRANSPORT_HAS_TEMPO) && t->tempo > 0;
        bool beats = t->flags & CLAP_TRANSPORT_HAS_BEATS_TIMELINE;
        transport.beats = beats ? static_cast<double>(t->song_pos_beats) /
                                      static_cast<double>(CLAP_BEATTIME_FACTOR)
                                : 0;
        transport.playing = beats && (t->flags & CLAP_TRANSPORT_IS_PLAYING);
        transport.tempo = t->tempo;
    }
    // Parameter changes land on their frame: the block is processed in stretches between them.
    std::uint32_t done = 0;
    std::uint32_t count = p.in_events && p.in_events->size ? p.in_events->size(p.in_events) : 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const clap_event_header_t* event = p.in_events->get(p.in_events, i);
        if (!event) continue;
        std::uint32_t at = event->time < p.frames_count ? event->time : p.frames_count;
        if (at > done) {
            render(p, done, at, transport);
            done = at;
        }
        applyEvent(*event, transport);
    }
    render(p, done, p.frames_count, transport);
    sendChanges(p.out_events);
    // After the parameter events, which all stand at frame 0: the list is in time order.
    sendNotes(p.out_events);
    return CLAP_PROCESS_CONTINUE;
}

void KClapEffect::sendNotes(const clap_output_events_t* out) {
    const NoteEvents& notes = noteEvents();
    if (!out || !out->try_push) return;
    for (int i = 0; i < notes.size(); ++i) {
        const NoteEvent& n = notes[i];
        const auto time = static_cast<std::uint32_t>(n.frame);
        if (n.kind == NoteEvent::On) noteId_ = noteId_ == INT32_MAX ? 0 : noteId_ + 1;
        if (n.kind != NoteEvent::Tuning) {
            clap_event_note_t e{};
            e.header = {sizeof e, time, CLAP_CORE_EVENT_SPACE_ID,
                        static_cast<std::uint16_t>(n.kind == NoteEvent::On ? CLAP_EVENT_NOTE_ON
                                                                           : CLAP_EVENT_NOTE_OFF),
                        0};
            e.note_id = noteId_;
            e.port_index = 0;
            e.channel = 0;
            e.key = n.key;
            e.velocity = n.kind == NoteEvent::On ? n.velocity / 127.0 : 0;
            out->try_push(out, &e.header);
        }
        if (n.kind != NoteEvent::Off && (n.kind == NoteEvent::Tuning || n.tuning != 0)) {
            clap_event_note_expression_t e{};
            e.header = {sizeof e, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_NOTE_EXPRESSION, 0};
            e.expression_id = CLAP_NOTE_EXPRESSION_TUNING;
            e.note_id = noteId_;
            e.port_index = 0;
            e.channel = 0;
            e.key = n.key;
            e.value = n.tuning;
            out->try_push(out, &e.header);
        }
    }
}

} // namespace Korvel

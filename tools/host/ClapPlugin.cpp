#include "tools/host/ClapPlugin.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace OmbrelHost {

namespace {

#ifdef _WIN32
constexpr const char* kWindowApi = CLAP_WINDOW_API_WIN32;
#else
constexpr const char* kWindowApi = CLAP_WINDOW_API_X11;
#endif

ClapPlugin* owner(const clap_host_t* host) {
    return host ? static_cast<ClapPlugin*>(host->host_data) : nullptr;
}

// --- The host's extensions ---

bool CLAP_ABI isMain(const clap_host_t* h) {
    return owner(h) && owner(h)->isMainThread();
}
bool CLAP_ABI isAudio(const clap_host_t* h) {
    return owner(h) && owner(h)->isAudioThread();
}
const clap_host_thread_check_t kThreadCheck = {isMain, isAudio};

void CLAP_ABI paramsRescan(const clap_host_t* h, clap_param_rescan_flags flags) {
    if (ClapPlugin* p = owner(h)) p->rescanned(flags);
}
void CLAP_ABI paramsClear(const clap_host_t*, clap_id, clap_param_clear_flags) {}
void CLAP_ABI paramsRequestFlush(const clap_host_t* h) {
    if (ClapPlugin* p = owner(h)) p->requested(true);
}
const clap_host_params_t kParams = {paramsRescan, paramsClear, paramsRequestFlush};

bool CLAP_ABI timerRegister(const clap_host_t* h, std::uint32_t period, clap_id* id) {
    ClapPlugin* p = owner(h);
    return p && id && p->registerTimer(period, *id);
}
bool CLAP_ABI timerUnregister(const clap_host_t* h, clap_id id) {
    ClapPlugin* p = owner(h);
    return p && p->unregisterTimer(id);
}
const clap_host_timer_support_t kTimers = {timerRegister, timerUnregister};

void CLAP_ABI stateDirty(const clap_host_t*) {}
const clap_host_state_t kState = {stateDirty};

void CLAP_ABI logMessage(const clap_host_t* h, clap_log_severity, const char* message) {
    if (ClapPlugin* p = owner(h)) p->logged(message);
}
const clap_host_log_t kLog = {logMessage};

void CLAP_ABI guiHintsChanged(const clap_host_t*) {}
bool CLAP_ABI guiRequestResize(const clap_host_t* h, std::uint32_t width, std::uint32_t height) {
    ClapPlugin* p = owner(h);
    return p && p->resizeRequested(width, height);
}
bool CLAP_ABI guiRequest(const clap_host_t*) {
    return false;
}
void CLAP_ABI guiClosed(const clap_host_t*, bool) {}
const clap_host_gui_t kGui = {guiHintsChanged, guiRequestResize, guiRequest, guiRequest, guiClosed};

bool CLAP_ABI portsFlagSupported(const clap_host_t*, std::uint32_t) {
    return false;
}
void CLAP_ABI portsRescan(const clap_host_t*, std::uint32_t) {}
const clap_host_audio_ports_t kPorts = {portsFlagSupported, portsRescan};

const void* CLAP_ABI hostGetExtension(const clap_host_t* h, const char* id) {
    ClapPlugin* p = owner(h);
    return p && id ? p->hostExtension(id) : nullptr;
}
void CLAP_ABI hostRequestRestart(const clap_host_t*) {}
void CLAP_ABI hostRequestProcess(const clap_host_t* h) {
    if (ClapPlugin* p = owner(h)) p->requested(false);
}
void CLAP_ABI hostRequestCallback(const clap_host_t*) {}

// --- Event lists and streams ---

struct InputList {
    clap_input_events_t list;
    const std::vector<clap_event_param_value_t>* events;
};
std::uint32_t CLAP_ABI inputSize(const clap_input_events_t* l) {
    return static_cast<std::uint32_t>(reinterpret_cast<const InputList*>(l)->events->size());
}
const clap_event_header_t* CLAP_ABI inputGet(const clap_input_events_t* l, std::uint32_t i) {
    const auto& events = *reinterpret_cast<const InputList*>(l)->events;
    return i < events.size() ? &events[i].header : nullptr;
}

bool CLAP_ABI outputPush(const clap_output_events_t* l, const clap_event_header_t* event) {
    auto* p = static_cast<ClapPlugin*>(l->ctx);
    if (!p || !event || event->size < sizeof(clap_event_header_t)) return false;
    p->received(*event);
    return true;
}

struct OutStream {
    clap_ostream_t stream;
    std::vector<std::uint8_t>* bytes;
    std::size_t chunk;
};
std::int64_t CLAP_ABI streamWrite(const clap_ostream_t* s, const void* data, std::uint64_t size) {
    const auto* o = reinterpret_cast<const OutStream*>(s);
    std::uint64_t n = o->chunk && size > o->chunk ? o->chunk : size;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    o->bytes->insert(o->bytes->end(), bytes, bytes + n);
    return static_cast<std::int64_t>(n);
}

struct InStream {
    clap_istream_t stream;
    const std::vector<std::uint8_t>* bytes;
    std::size_t chunk;
    std::size_t at;
};
std::int64_t CLAP_ABI streamRead(const clap_istream_t* s, void* data, std::uint64_t size) {
    auto* in = const_cast<InStream*>(reinterpret_cast<const InStream*>(s));
    std::uint64_t left = in->bytes->size() - in->at;
    std::uint64_t n = std::min<std::uint64_t>(size, left);
    if (in->chunk && n > in->chunk) n = in->chunk;
    if (n) std::memcpy(data, in->bytes->data() + in->at, static_cast<std::size_t>(n));
    in->at += static_cast<std::size_t>(n);
    return static_cast<std::int64_t>(n);
}

bool sameNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

// ---------------------------------------------------------------------------------------------

double ClapTransport::beats() const {
    return start_ + frames_ / sampleRate_ * tempo_ / 60.0;
}

const clap_event_transport_t* ClapTransport::current() {
    const double at = beats();
    record_ = clap_event_transport_t{};
    record_.header.size = sizeof record_;
    record_.header.type = CLAP_EVENT_TRANSPORT;
    record_.flags = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE |
                    CLAP_TRANSPORT_HAS_TIME_SIGNATURE | (playing_ ? CLAP_TRANSPORT_IS_PLAYING : 0);
    record_.song_pos_beats =
        static_cast<clap_beattime>(std::llround(at * static_cast<double>(CLAP_BEATTIME_FACTOR)));
    record_.tempo = tempo_;
    record_.bar_start = static_cast<clap_beattime>(std::floor(at / 4) * 4) * CLAP_BEATTIME_FACTOR;
    record_.bar_number = static_cast<std::int32_t>(std::floor(at / 4));
    record_.tsig_num = 4;
    record_.tsig_denom = 4;
    return &record_;
}

void ClapTransport::advance(std::uint32_t frames, double sampleRate) {
    if (sampleRate > 0) sampleRate_ = sampleRate;
    if (playing_) frames_ += frames;
}

ClapPlugin::ClapPlugin() : mainThread_(std::this_thread::get_id()), audioThread_(mainThread_) {
    host_.clap_version = CLAP_VERSION;
    host_.host_data = this;
    host_.name = "ombrel-host";
    host_.vendor = "Korvel";
    host_.url = "";
    host_.version = "3.1";
    host_.get_extension = hostGetExtension;
    host_.request_restart = hostRequestRestart;
    host_.request_process = hostRequestProcess;
    host_.request_callback = hostRequestCallback;
}

ClapPlugin::~ClapPlugin() {
    unload();
}

const void* ClapPlugin::hostExtension(const char* id) const {
    if (!std::strcmp(id, CLAP_EXT_THREAD_CHECK)) return &kThreadCheck;
    if (!std::strcmp(id, CLAP_EXT_PARAMS)) return &kParams;
    if (!std::strcmp(id, CLAP_EXT_TIMER_SUPPORT)) return &kTimers;
    if (!std::strcmp(id, CLAP_EXT_STATE)) return &kState;
    if (!std::strcmp(id, CLAP_EXT_LOG)) return &kLog;
    if (!std::strcmp(id, CLAP_EXT_GUI)) return &kGui;
    if (!std::strcmp(id, CLAP_EXT_AUDIO_PORTS)) return &kPorts;
    return nullptr;
}

bool ClapPlugin::load(const std::string& path, std::string& error, const std::string& id) {
    unload();
    if (!library_.open(path, error)) {
        error = "cannot load plug-in " + path + ": " + error;
        return false;
    }
    entry_ = static_cast<const clap_plugin_entry_t*>(library_.symbol("clap_entry"));
    if (!entry_ || !clap_version_is_compatible(entry_->clap_version) || !entry_->init) {
        error = path + ": no CLAP entry of version 1 or later";
        entry_ = nullptr;
        library_.close();
        return false;
    }
    if (!entry_->init(path.c_str())) {
        error = path + ": the plug-in library refused to initialise";
        entry_ = nullptr;
        library_.close();
        return false;
    }
    auto* factory = static_cast<const clap_plugin_factory_t*>(
        entry_->get_factory ? entry_->get_factory(CLAP_PLUGIN_FACTORY_ID) : nullptr);
    std::uint32_t count = factory ? factory->get_plugin_count(factory) : 0;
    const clap_plugin_descriptor_t* chosen = nullptr;
    for (std::uint32_t i = 0; i < count && !chosen; ++i) {
        const clap_plugin_descriptor_t* d = factory->get_plugin_descriptor(factory, i);
        if (d && d->id && (id.empty() || id == d->id)) chosen = d;
    }
    plugin_ = chosen ? factory->create_plugin(factory, &host_, chosen->id) : nullptr;
    if (plugin_ && !plugin_->init(plugin_)) {
        plugin_->destroy(plugin_);
        plugin_ = nullptr;
    }
    if (!plugin_) {
        error = path + (chosen ? ": the plug-in could not be created" : ": no such plug-in");
        unload();
        return false;
    }
    return true;
}

void ClapPlugin::unload() {
    if (plugin_) {
        closeGui();
        deactivate();
        plugin_->destroy(plugin_);
        plugin_ = nullptr;
    }
    if (entry_ && entry_->deinit) entry_->deinit();
    entry_ = nullptr;
    library_.close();
    timers_.clear();
    pending_.clear();
}

const clap_plugin_descriptor_t* ClapPlugin::descriptor() const {
    return plugin_ ? plugin_->desc : nullptr;
}

std::vector<std::string> ClapPlugin::features() const {
    std::vector<std::string> words;
    const clap_plugin_descriptor_t* d = descriptor();
    for (const char* const* f = d ? d->features : nullptr; f && *f; ++f)
        words.emplace_back(*f);
    return words;
}

const void* ClapPlugin::extension(const char* id) const {
    return plugin_ && plugin_->get_extension ? plugin_->get_extension(plugin_, id) : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Parameters

int ClapPlugin::paramCount() const {
    auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    return params ? static_cast<int>(params->count(plugin_)) : 0;
}

bool ClapPlugin::paramInfo(int index, ClapParam& info) const {
    auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    clap_param_info_t raw{};
    if (!params || index < 0 || !params->get_info(plugin_, static_cast<std::uint32_t>(index), &raw))
        return false;
    raw.name[CLAP_NAME_SIZE - 1] = 0;
    raw.module[CLAP_PATH_SIZE - 1] = 0;
    info.id = raw.id;
    info.flags = raw.flags;
    info.name = raw.name;
    info.module = raw.module;
    info.min = raw.min_value;
    info.max = raw.max_value;
    info.defaultValue = raw.default_value;
    return true;
}

int ClapPlugin::findParam(const std::string& name) const {
    ClapParam info;
    for (int i = 0; i < paramCount(); ++i)
        if (paramInfo(i, info) && sameNoCase(info.name, name)) return i;
    return -1;
}

double ClapPlugin::value(int index) const {
    auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    ClapParam info;
    double v = 0;
    if (params && paramInfo(index, info)) params->get_value(plugin_, info.id, &v);
    return v;
}

std::string ClapPlugin::text(int index, double v) const {
    auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    ClapParam info;
    char buffer[CLAP_NAME_SIZE] = {};
    if (!params || !paramInfo(index, info) ||
        !params->value_to_text(plugin_, info.id, v, buffer, sizeof buffer))
        return "";
    buffer[sizeof buffer - 1] = 0;
    return buffer;
}

bool ClapPlugin::textToValue(int index, const std::string& text, double& v) const {
    auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    ClapParam info;
    return params && paramInfo(index, info) &&
           params->text_to_value(plugin_, info.id, text.c_str(), &v);
}

void ClapPlugin::setValue(int index, double v, std::uint32_t time) {
    ClapParam info;
    if (!paramInfo(index, info)) return;
    clap_event_param_value_t event{};
    event.header.size = sizeof event;
    event.header.time = time;
    event.header.type = CLAP_EVENT_PARAM_VALUE;
    event.param_id = info.id;
    event.note_id = -1;
    event.port_index = event.channel = event.key = -1;
    event.value = v;
    std::lock_guard<std::mutex> hold(lock_);
    pending_.push_back(event);
}

bool ClapPlugin::setText(int index, const std::string& text) {
    double v = 0;
    if (!textToValue(index, text, v)) return false;
    setValue(index, v);
    return true;
}

void ClapPlugin::flush() {
    auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    if (!params) return;
    std::vector<clap_event_param_value_t> queued;
    {
        std::lock_guard<std::mutex> hold(lock_);
        queued.swap(pending_);
    }
    InputList in{{nullptr, inputSize, inputGet}, &queued};
    clap_output_events_t out{this, outputPush};
    params->flush(plugin_, &in.list, &out);
}

void ClapPlugin::received(const clap_event_header_t& event) {
    ClapEvent e;
    e.type = event.type;
    e.time = event.time;
    if (event.space_id == CLAP_CORE_EVENT_SPACE_ID) {
        if (event.type == CLAP_EVENT_PARAM_VALUE &&
            event.size >= sizeof(clap_event_param_value_t)) {
            const auto& v = reinterpret_cast<const clap_event_param_value_t&>(event);
            e.param = v.param_id;
            e.value = v.value;
        } else if ((event.type == CLAP_EVENT_NOTE_ON || event.type == CLAP_EVENT_NOTE_OFF ||
                    event.type == CLAP_EVENT_NOTE_CHOKE || event.type == CLAP_EVENT_NOTE_END) &&
                   event.size >= sizeof(clap_event_note_t)) {
            const auto& n = reinterpret_cast<const clap_event_note_t&>(event);
            e.key = n.key;
            e.channel = n.channel;
            e.value = n.velocity;
        } else if (event.type == CLAP_EVENT_NOTE_EXPRESSION &&
                   event.size >= sizeof(clap_event_note_expression_t)) {
            const auto& x = reinterpret_cast<const clap_event_note_expression_t&>(event);
            e.key = x.key;
            e.channel = x.channel;
            e.expression = x.expression_id;
            e.value = x.value;
        } else if ((event.type == CLAP_EVENT_PARAM_GESTURE_BEGIN ||
                    event.type == CLAP_EVENT_PARAM_GESTURE_END) &&
                   event.size >= sizeof(clap_event_param_gesture_t)) {
            e.param = reinterpret_cast<const clap_event_param_gesture_t&>(event).param_id;
        }
    }
    std::lock_guard<std::mutex> hold(lock_);
    events_.push_back(e);
}

std::vector<ClapEvent> ClapPlugin::takeEvents() {
    std::vector<ClapEvent> taken;
    std::lock_guard<std::mutex> hold(lock_);
    taken.swap(events_);
    return taken;
}

// ---------------------------------------------------------------------------------------------
// State and layout

int ClapPlugin::noteOutputs() const {
    auto* ports = extension<clap_plugin_note_ports_t>(CLAP_EXT_NOTE_PORTS);
    return ports && ports->count ? static_cast<int>(ports->count(plugin_, false)) : 0;
}

bool ClapPlugin::saveState(std::vector<std::uint8_t>& bytes, std::size_t chunk) const {
    auto* state = extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    bytes.clear();
    OutStream out{{nullptr, streamWrite}, &bytes, chunk};
    return state && state->save(plugin_, &out.stream);
}

bool ClapPlugin::loadState(const std::vector<std::uint8_t>& bytes, std::size_t chunk) const {
    auto* state = extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    InStream in{{nullptr, streamRead}, &bytes, chunk, 0};
    return state && state->load(plugin_, &in.stream);
}

int ClapPlugin::channels(bool input) const {
    auto* ports = extension<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
    clap_audio_port_info_t info{};
    if (!ports || ports->count(plugin_, input) == 0 || !ports->get(plugin_, 0, input, &info))
        return 0;
    return static_cast<int>(info.channel_count);
}

bool ClapPlugin::selectLayout(int inputs, int outputs) {
    auto* configs = extension<clap_plugin_audio_ports_config_t>(CLAP_EXT_AUDIO_PORTS_CONFIG);
    std::uint32_t count = configs ? configs->count(plugin_) : 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        clap_audio_ports_config_t c{};
        if (configs->get(plugin_, i, &c) &&
            c.main_input_channel_count == static_cast<std::uint32_t>(inputs) &&
            c.main_output_channel_count == static_cast<std::uint32_t>(outputs))
            return configs->select(plugin_, c.id) && inputChannels() == inputs &&
                   outputChannels() == outputs;
    }
    return false;
}

std::vector<ClapLayout> ClapPlugin::layouts() const {
    std::vector<ClapLayout> found;
    auto* configs = extension<clap_plugin_audio_ports_config_t>(CLAP_EXT_AUDIO_PORTS_CONFIG);
    std::uint32_t count = configs ? configs->count(plugin_) : 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        clap_audio_ports_config_t c{};
        if (!configs->get(plugin_, i, &c)) continue;
        c.name[CLAP_NAME_SIZE - 1] = 0;
        found.push_back({c.id, c.name, c.has_main_input ? int(c.main_input_channel_count) : 0,
                         c.has_main_output ? int(c.main_output_channel_count) : 0});
    }
    return found;
}

bool ClapPlugin::supports64() const {
    auto* ports = extension<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
    if (!ports) return false;
    for (bool input : {true, false}) {
        clap_audio_port_info_t info{};
        if (ports->count(plugin_, input) > 0 && (!ports->get(plugin_, 0, input, &info) ||
                                                 !(info.flags & CLAP_AUDIO_PORT_SUPPORTS_64BITS)))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Activation and processing

void ClapPlugin::makePortBuffers(bool input, std::uint32_t maxFrames) {
    PortBuffers& b = input ? portsIn_ : portsOut_;
    b = PortBuffers{};
    auto* ports = extension<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
    const std::uint32_t count = ports ? ports->count(plugin_, input) : 0;
    std::vector<std::uint32_t> widths;
    for (std::uint32_t k = 0; k < count; ++k) {
        clap_audio_port_info_t info{};
        widths.push_back(ports->get(plugin_, k, input, &info) ? info.channel_count : 0);
    }
    // The pointer tables are filled once every vector has its final size.
    std::size_t channels = 0;
    for (std::uint32_t k = 1; k < count; ++k)
        channels += widths[k];
    b.floats.assign(channels, std::vector<float>(maxFrames, 0.0f));
    b.doubles.assign(channels, std::vector<double>(maxFrames, 0.0));
    for (std::size_t c = 0; c < channels; ++c) {
        b.floatChannels.push_back(b.floats[c].data());
        b.doubleChannels.push_back(b.doubles[c].data());
    }
    b.records.assign(count, clap_audio_buffer_t{});
    for (std::uint32_t k = 1, at = 0; k < count; at += widths[k], ++k)
        b.records[k] = {b.floatChannels.data() + at, b.doubleChannels.data() + at, widths[k], 0, 0};
}

bool ClapPlugin::activate(double sampleRate, std::uint32_t minFrames, std::uint32_t maxFrames) {
    if (!plugin_ || active_) return false;
    makePortBuffers(true, maxFrames);
    makePortBuffers(false, maxFrames);
    active_ = plugin_->activate(plugin_, sampleRate, minFrames, maxFrames);
    if (active_) sampleRate_ = sampleRate;
    return active_;
}

void ClapPlugin::deactivate() {
    if (!plugin_ || !active_) return;
    stopProcessing();
    plugin_->deactivate(plugin_);
    active_ = false;
}

bool ClapPlugin::startProcessing() {
    if (!plugin_ || !active_ || processing_) return processing_;
    processing_ = plugin_->start_processing(plugin_);
    return processing_;
}

void ClapPlugin::stopProcessing() {
    if (plugin_ && processing_) plugin_->stop_processing(plugin_);
    processing_ = false;
}

clap_process_status ClapPlugin::run(clap_audio_buffer_t& in, clap_audio_buffer_t& out,
                                    std::uint32_t frames) {
    std::vector<clap_event_param_value_t> queued;
    {
        std::lock_guard<std::mutex> hold(lock_);
        queued.swap(pending_);
    }
    // The events are delivered sorted by time, as the interface promises.
    std::stable_sort(queued.begin(), queued.end(),
                     [](const auto& a, const auto& b) { return a.header.time < b.header.time; });
    InputList events{{nullptr, inputSize, inputGet}, &queued};
    clap_output_events_t sent{this, outputPush};
    // The main ports are the caller's; the others keep the buffers made at activation.
    clap_audio_buffer_t* ins = portsIn_.records.empty() ? &in : portsIn_.records.data();
    clap_audio_buffer_t* outs = portsOut_.records.empty() ? &out : portsOut_.records.data();
    ins[0] = in;
    outs[0] = out;
    clap_process_t p{};
    p.steady_time = steadyTime_;
    p.frames_count = frames;
    p.transport = freeRunning_ ? nullptr : transport_.current();
    p.audio_inputs = ins;
    p.audio_outputs = outs;
    p.audio_inputs_count = static_cast<std::uint32_t>(portsIn_.records.size());
    p.audio_outputs_count = static_cast<std::uint32_t>(portsOut_.records.size());
    p.in_events = &events.list;
    p.out_events = &sent;
    clap_process_status status = plugin_->process(plugin_, &p);
    steadyTime_ += frames;
    transport_.advance(frames, sampleRate_);
    return status;
}

clap_process_status ClapPlugin::process(float** inputs, float** outputs, std::uint32_t frames) {
    if (!plugin_) return CLAP_PROCESS_ERROR;
    clap_audio_buffer_t in{inputs, nullptr, static_cast<std::uint32_t>(inputChannels()), 0, 0};
    clap_audio_buffer_t out{outputs, nullptr, static_cast<std::uint32_t>(outputChannels()), 0, 0};
    return run(in, out, frames);
}

clap_process_status ClapPlugin::process(double** inputs, double** outputs, std::uint32_t frames) {
    if (!plugin_) return CLAP_PROCESS_ERROR;
    clap_audio_buffer_t in{nullptr, inputs, static_cast<std::uint32_t>(inputChannels()), 0, 0};
    clap_audio_buffer_t out{nullptr, outputs, static_cast<std::uint32_t>(outputChannels()), 0, 0};
    return run(in, out, frames);
}

// ---------------------------------------------------------------------------------------------
// Main loop and editor

bool ClapPlugin::registerTimer(std::uint32_t, clap_id& id) {
    id = nextTimer_++;
    timers_.push_back(id);
    return true;
}

bool ClapPlugin::unregisterTimer(clap_id id) {
    auto found = std::find(timers_.begin(), timers_.end(), id);
    if (found == timers_.end()) return false;
    timers_.erase(found);
    return true;
}

void ClapPlugin::runTimers() {
    auto* timer = extension<clap_plugin_timer_support_t>(CLAP_EXT_TIMER_SUPPORT);
    if (!timer) return;
    std::vector<clap_id> ticking = timers_;
    for (clap_id id : ticking)
        timer->on_timer(plugin_, id);
}

bool ClapPlugin::hasGui() const {
    auto* gui = extension<clap_plugin_gui_t>(CLAP_EXT_GUI);
    return gui && gui->is_api_supported(plugin_, kWindowApi, false);
}

bool ClapPlugin::openGui(std::uintptr_t parent, std::uint32_t& width, std::uint32_t& height) {
    auto* gui = extension<clap_plugin_gui_t>(CLAP_EXT_GUI);
    if (!gui || guiOpen_ || !gui->is_api_supported(plugin_, kWindowApi, false) ||
        !gui->create(plugin_, kWindowApi, false))
        return false;
    clap_window_t window{};
    window.api = kWindowApi;
#ifdef _WIN32
    window.win32 = reinterpret_cast<void*>(parent);
#else
    window.x11 = static_cast<clap_xwnd>(parent);
#endif
    // A plug-in may ignore the scale (false); its size then is its own.
    if (guiScale_ > 0 && gui->set_scale) gui->set_scale(plugin_, guiScale_);
    guiOpen_ = gui->get_size(plugin_, &width, &height) && gui->set_parent(plugin_, &window) &&
               gui->show(plugin_);
    if (!guiOpen_) gui->destroy(plugin_);
    return guiOpen_;
}

bool ClapPlugin::setGuiScale(double scale) {
    guiScale_ = scale;
    auto* gui = guiOpen_ ? extension<clap_plugin_gui_t>(CLAP_EXT_GUI) : nullptr;
    return !gui || !gui->set_scale || gui->set_scale(plugin_, scale);
}

void ClapPlugin::closeGui() {
    auto* gui = extension<clap_plugin_gui_t>(CLAP_EXT_GUI);
    if (!gui || !guiOpen_) return;
    gui->hide(plugin_);
    gui->destroy(plugin_);
    guiOpen_ = false;
}

} // namespace OmbrelHost

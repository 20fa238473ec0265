// Declarations of the published CLAP 1.x plug-in interface, as far as this plug-in and our own
// test host use it: the library entry, the plug-in factory, the plug-in and host records, events,
// processing, and the extensions for parameters, state, audio ports and their configurations,
// the embedded editor, timers, file descriptors, thread checks, note ports and logging. Names,
// identifiers, numbers and field orders are the published ones, so a plug-in or host built
// against other declarations of the same version agrees with ours byte for byte. The records are
// plain C structures with natural alignment (no packing), every function pointer uses the C
// calling convention, and texts are UTF-8.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define CLAP_ABI __cdecl
#else
#define CLAP_ABI
#endif

extern "C" {

// --- Versions and identifiers -------------------------------------------------------------------

// Major 0 was the draft era and is incompatible; every 1.x is compatible with every other.
struct clap_version_t {
    std::uint32_t major;
    std::uint32_t minor;
    std::uint32_t revision;
};
// The version these declarations follow.
constexpr clap_version_t CLAP_VERSION = {1, 2, 1};
constexpr bool clap_version_is_compatible(clap_version_t v) {
    return v.major >= 1;
}

typedef std::uint32_t clap_id;
constexpr clap_id CLAP_INVALID_ID = UINT32_MAX;

// Capacities of the fixed text fields, terminator included.
enum { CLAP_NAME_SIZE = 256, CLAP_PATH_SIZE = 1024 };

// Song positions in fixed point: beats or seconds times 2^31.
typedef std::int64_t clap_beattime;
typedef std::int64_t clap_sectime;
constexpr std::int64_t CLAP_BEATTIME_FACTOR = std::int64_t(1) << 31;
constexpr std::int64_t CLAP_SECTIME_FACTOR = std::int64_t(1) << 31;

// --- Host
// -----------------------------------------------------------------------------------------

struct clap_host_t {
    clap_version_t clap_version;
    void* host_data;  // the host's own
    const char* name; // required
    const char* vendor;
    const char* url;
    const char* version; // required
    // [thread-safe] Null when the host lacks the extension; only from the plug-in's init on.
    const void*(CLAP_ABI* get_extension)(const clap_host_t* host, const char* extension_id);
    // [thread-safe] Deactivate and activate again, when the host gets round to it.
    void(CLAP_ABI* request_restart)(const clap_host_t* host);
    // [thread-safe] Activate and start processing.
    void(CLAP_ABI* request_process)(const clap_host_t* host);
    // [thread-safe] Schedule one on_main_thread call.
    void(CLAP_ABI* request_callback)(const clap_host_t* host);
};

// --- Events
// ---------------------------------------------------------------------------------------

// Every event starts with this header; an event is a contiguous record of `size` bytes that a
// list copies as it is.
struct clap_event_header_t {
    std::uint32_t size; // of the whole event
    std::uint32_t time; // frame within the block
    std::uint16_t space_id;
    std::uint16_t type;
    std::uint32_t flags;
};

constexpr std::uint16_t CLAP_CORE_EVENT_SPACE_ID = 0;

enum clap_event_flags {
    CLAP_EVENT_IS_LIVE = 1 << 0,
    CLAP_EVENT_DONT_RECORD = 1 << 1,
};

// Event types of the core space.
enum {
    CLAP_EVENT_NOTE_ON = 0,
    CLAP_EVENT_NOTE_OFF = 1,
    CLAP_EVENT_NOTE_CHOKE = 2,
    CLAP_EVENT_NOTE_END = 3,
    CLAP_EVENT_NOTE_EXPRESSION = 4,
    CLAP_EVENT_PARAM_VALUE = 5,
    CLAP_EVENT_PARAM_MOD = 6,
    CLAP_EVENT_PARAM_GESTURE_BEGIN = 7,
    CLAP_EVENT_PARAM_GESTURE_END = 8,
    CLAP_EVENT_TRANSPORT = 9,
    CLAP_EVENT_MIDI = 10,
    CLAP_EVENT_MIDI_SYSEX = 11,
    CLAP_EVENT_MIDI2 = 12,
};

// A note starts or ends. note_id -1 when the sender gives none; port, channel and key address it
// (-1 for "any" where a receiver matches).
struct clap_event_note_t {
    clap_event_header_t header;
    std::int32_t note_id;
    std::int16_t port_index;
    std::int16_t channel;
    std::int16_t key;
    double velocity; // 0..1
};

// Expressions a sounding note takes.
enum {
    CLAP_NOTE_EXPRESSION_VOLUME = 0,
    CLAP_NOTE_EXPRESSION_PAN = 1,
    CLAP_NOTE_EXPRESSION_TUNING = 2, // semitones from the key, -120..120, equal temperament
    CLAP_NOTE_EXPRESSION_VIBRATO = 3,
    CLAP_NOTE_EXPRESSION_EXPRESSION = 4,
    CLAP_NOTE_EXPRESSION_BRIGHTNESS = 5,
    CLAP_NOTE_EXPRESSION_PRESSURE = 6,
};
using clap_note_expression = std::int32_t;

struct clap_event_note_expression_t {
    clap_event_header_t header;
    clap_note_expression expression_id;
    std::int32_t note_id;
    std::int16_t port_index;
    std::int16_t channel;
    std::int16_t key;
    double value;
};

// A parameter's new plain value. The address fields (-1 for "any") narrow it to a note, port,
// channel or key; this plug-in's parameters are global.
struct clap_event_param_value_t {
    clap_event_header_t header;
    clap_id param_id;
    void* cookie; // clap_param_info_t.cookie, or null
    std::int32_t note_id;
    std::int16_t port_index;
    std::int16_t channel;
    std::int16_t key;
    double value;
};

// A user starts or ends adjusting a parameter.
struct clap_event_param_gesture_t {
    clap_event_header_t header;
    clap_id param_id;
};

enum clap_transport_flags {
    CLAP_TRANSPORT_HAS_TEMPO = 1 << 0,
    CLAP_TRANSPORT_HAS_BEATS_TIMELINE = 1 << 1,
    CLAP_TRANSPORT_HAS_SECONDS_TIMELINE = 1 << 2,
    CLAP_TRANSPORT_HAS_TIME_SIGNATURE = 1 << 3,
    CLAP_TRANSPORT_IS_PLAYING = 1 << 4,
    CLAP_TRANSPORT_IS_RECORDING = 1 << 5,
    CLAP_TRANSPORT_IS_LOOP_ACTIVE = 1 << 6,
    CLAP_TRANSPORT_IS_WITHIN_PRE_ROLL = 1 << 7,
};

// The transport at a block's first frame (clap_process_t.transport) or, as an event, from a
// frame within it. Fields are valid as the flags say.
struct clap_event_transport_t {
    clap_event_header_t header;
    std::uint32_t flags;
    clap_beattime song_pos_beats;
    clap_sectime song_pos_seconds;
    double tempo;     // beats per minute
    double tempo_inc; // per frame, until the next transport event
    clap_beattime loop_start_beats;
    clap_beattime loop_end_beats;
    clap_sectime loop_start_seconds;
    clap_sectime loop_end_seconds;
    clap_beattime bar_start;
    std::int32_t bar_number;
    std::uint16_t tsig_num;
    std::uint16_t tsig_denom;
};

// The host's events for a block, sorted by time.
struct clap_input_events_t {
    void* ctx;
    std::uint32_t(CLAP_ABI* size)(const clap_input_events_t* list);
    const clap_event_header_t*(CLAP_ABI* get)(const clap_input_events_t* list, std::uint32_t index);
};

// The plug-in's events for the host, pushed in time order; the list copies each one. False
// when the host could not take it.
struct clap_output_events_t {
    void* ctx;
    bool(CLAP_ABI* try_push)(const clap_output_events_t* list, const clap_event_header_t* event);
};

// --- Processing
// -----------------------------------------------------------------------------------

// One port's channels: data32 or data64 is set, as the port and the host agreed.
struct clap_audio_buffer_t {
    float** data32;
    double** data64;
    std::uint32_t channel_count;
    std::uint32_t latency;
    std::uint64_t constant_mask; // bit k: channel k holds one value throughout (a hint)
};

enum {
    CLAP_PROCESS_ERROR = 0, // the output is to be discarded
    CLAP_PROCESS_CONTINUE = 1,
    CLAP_PROCESS_CONTINUE_IF_NOT_QUIET = 2,
    CLAP_PROCESS_TAIL = 3,
    CLAP_PROCESS_SLEEP = 4,
};
typedef std::int32_t clap_process_status;

struct clap_process_t {
    std::int64_t steady_time; // frames, or -1
    std::uint32_t frames_count;
    const clap_event_transport_t* transport; // null: a free-running host without a transport
    const clap_audio_buffer_t* audio_inputs;
    clap_audio_buffer_t* audio_outputs;
    std::uint32_t audio_inputs_count;
    std::uint32_t audio_outputs_count;
    const clap_input_events_t* in_events;
    const clap_output_events_t* out_events;
};

// --- Plug-in
// --------------------------------------------------------------------------------------

struct clap_plugin_descriptor_t {
    clap_version_t clap_version;
    const char* id;   // required, e.g. reverse domain
    const char* name; // required
    const char* vendor;
    const char* url;
    const char* manual_url;
    const char* support_url;
    const char* version;
    const char* description;
    const char* const* features; // null-terminated list of feature words
};

// Feature words the descriptor may list.
#define CLAP_PLUGIN_FEATURE_AUDIO_EFFECT "audio-effect"
#define CLAP_PLUGIN_FEATURE_SYNTHESIZER "synthesizer"
#define CLAP_PLUGIN_FEATURE_NOTE_DETECTOR "note-detector"
#define CLAP_PLUGIN_FEATURE_MONO "mono"
#define CLAP_PLUGIN_FEATURE_STEREO "stereo"

// The thread each entry belongs to is the published one, repeated here.
struct clap_plugin_t {
    const clap_plugin_descriptor_t* desc;
    void* plugin_data; // the plug-in's own
    // [main] The host's extensions are reachable from here on; false: destroy it.
    bool(CLAP_ABI* init)(const clap_plugin_t* plugin);
    // [main, inactive]
    void(CLAP_ABI* destroy)(const clap_plugin_t* plugin);
    // [main, inactive] The rate and the frame counts of every block until deactivate.
    bool(CLAP_ABI* activate)(const clap_plugin_t* plugin, double sample_rate,
                             std::uint32_t min_frames_count, std::uint32_t max_frames_count);
    // [main, active]
    void(CLAP_ABI* deactivate)(const clap_plugin_t* plugin);
    // [audio, active, not processing]
    bool(CLAP_ABI* start_processing)(const clap_plugin_t* plugin);
    // [audio, active, processing]
    void(CLAP_ABI* stop_processing)(const clap_plugin_t* plugin);
    // [audio, active] Clears the processing state; parameter values stay.
    void(CLAP_ABI* reset)(const clap_plugin_t* plugin);
    // [audio, active, processing]
    clap_process_status(CLAP_ABI* process)(const clap_plugin_t* plugin,
                                           const clap_process_t* process);
    // [thread-safe] Null when the plug-in lacks the extension; not before init.
    const void*(CLAP_ABI* get_extension)(const clap_plugin_t* plugin, const char* id);
    // [main] Answers the host's request_callback.
    void(CLAP_ABI* on_main_thread)(const clap_plugin_t* plugin);
};

// --- Library entry and factory
// --------------------------------------------------------------------

// The one exported symbol, named clap_entry. init and deinit come in pairs (a host may still
// call them more than once); get_factory is thread-safe.
struct clap_plugin_entry_t {
    clap_version_t clap_version;
    bool(CLAP_ABI* init)(const char* plugin_path);
    void(CLAP_ABI* deinit)(void);
    const void*(CLAP_ABI* get_factory)(const char* factory_id);
};

constexpr const char CLAP_PLUGIN_FACTORY_ID[] = "clap.plugin-factory";

// [thread-safe] throughout; create_plugin must not call the host.
struct clap_plugin_factory_t {
    std::uint32_t(CLAP_ABI* get_plugin_count)(const clap_plugin_factory_t* factory);
    const clap_plugin_descriptor_t*(CLAP_ABI* get_plugin_descriptor)(
        const clap_plugin_factory_t* factory, std::uint32_t index);
    const clap_plugin_t*(CLAP_ABI* create_plugin)(const clap_plugin_factory_t* factory,
                                                  const clap_host_t* host, const char* plugin_id);
};

// --- Parameters
// -----------------------------------------------------------------------------------

constexpr const char CLAP_EXT_PARAMS[] = "clap.params";

enum {
    CLAP_PARAM_IS_STEPPED = 1 << 0, // whole values only
    CLAP_PARAM_IS_PERIODIC = 1 << 1,
    CLAP_PARAM_IS_HIDDEN = 1 << 2,
    CLAP_PARAM_IS_READONLY = 1 << 3,
    CLAP_PARAM_IS_BYPASS = 1 << 4,
    CLAP_PARAM_IS_AUTOMATABLE = 1 << 5,
    CLAP_PARAM_IS_AUTOMATABLE_PER_NOTE_ID = 1 << 6,
    CLAP_PARAM_IS_AUTOMATABLE_PER_KEY = 1 << 7,
    CLAP_PARAM_IS_AUTOMATABLE_PER_CHANNEL = 1 << 8,
    CLAP_PARAM_IS_AUTOMATABLE_PER_PORT = 1 << 9,
    CLAP_PARAM_IS_MODULATABLE = 1 << 10,
    CLAP_PARAM_IS_MODULATABLE_PER_NOTE_ID = 1 << 11,
    CLAP_PARAM_IS_MODULATABLE_PER_KEY = 1 << 12,
    CLAP_PARAM_IS_MODULATABLE_PER_CHANNEL = 1 << 13,
    CLAP_PARAM_IS_MODULATABLE_PER_PORT = 1 << 14,
    CLAP_PARAM_REQUIRES_PROCESS = 1 << 15,
    CLAP_PARAM_IS_ENUM = 1 << 16, // with IS_STEPPED: every step has a name
};
typedef std::uint32_t clap_param_info_flags;

struct clap_param_info_t {
    clap_id id; // stable for good
    clap_param_info_flags flags;
    void* cookie; // handed back in the host's events, or null
    char name[CLAP_NAME_SIZE];
    char module[CLAP_PATH_SIZE]; // "/"-separated group path
    double min_value;            // plain values, finite
    double max_value;
    double default_value;
};

struct clap_plugin_params_t {
    // [main]
    std::uint32_t(CLAP_ABI* count)(const clap_plugin_t* plugin);
    bool(CLAP_ABI* get_info)(const clap_plugin_t* plugin, std::uint32_t param_index,
                             clap_param_info_t* param_info);
    bool(CLAP_ABI* get_value)(const clap_plugin_t* plugin, clap_id param_id, double* out_value);
    bool(CLAP_ABI* value_to_text)(const clap_plugin_t* plugin, clap_id param_id, double value,
                                  char* out_buffer, std::uint32_t out_buffer_capacity);
    bool(CLAP_ABI* text_to_value)(const clap_plugin_t* plugin, clap_id param_id,
                                  const char* param_value_text, double* out_value);
    // [audio while active, else main] Events in both directions without audio; never at the
    // same time as process.
    void(CLAP_ABI* flush)(const clap_plugin_t* plugin, const clap_input_events_t* in,
                          const clap_output_events_t* out);
};

enum {
    CLAP_PARAM_RESCAN_VALUES = 1 << 0,
    CLAP_PARAM_RESCAN_TEXT = 1 << 1,
    CLAP_PARAM_RESCAN_INFO = 1 << 2,
    CLAP_PARAM_RESCAN_ALL = 1 << 3,
};
typedef std::uint32_t clap_param_rescan_flags;

enum {
    CLAP_PARAM_CLEAR_ALL = 1 << 0,
    CLAP_PARAM_CLEAR_AUTOMATIONS = 1 << 1,
    CLAP_PARAM_CLEAR_MODULATIONS = 1 << 2,
};
typedef std::uint32_t clap_param_clear_flags;

struct clap_host_params_t {
    // [main]
    void(CLAP_ABI* rescan)(const clap_host_t* host, clap_param_rescan_flags flags);
    void(CLAP_ABI* clear)(const clap_host_t* host, clap_id param_id, clap_param_clear_flags flags);
    // [thread-safe, not audio] Asks for a process or a flush call soon.
    void(CLAP_ABI* request_flush)(const clap_host_t* host);
};

// --- State
// ----------------------------------------------------------------------------------------

// Streams may move fewer bytes per call than asked: callers loop.
struct clap_istream_t {
    void* ctx;
    // Bytes read; 0 at the end, -1 on an error.
    std::int64_t(CLAP_ABI* read)(const clap_istream_t* stream, void* buffer, std::uint64_t size);
};

struct clap_ostream_t {
    void* ctx;
    // Bytes written; -1 on an error.
    std::int64_t(CLAP_ABI* write)(const clap_ostream_t* stream, const void* buffer,
                                  std::uint64_t size);
};

constexpr const char CLAP_EXT_STATE[] = "clap.state";

struct clap_plugin_state_t {
    // [main]
    bool(CLAP_ABI* save)(const clap_plugin_t* plugin, const clap_ostream_t* stream);
    bool(CLAP_ABI* load)(const clap_plugin_t* plugin, const clap_istream_t* stream);
};

struct clap_host_state_t {
    // [main] The state changed in a way no parameter event told.
    void(CLAP_ABI* mark_dirty)(const clap_host_t* host);
};

// --- Audio ports
// ----------------------------------------------------------------------------------

constexpr const char CLAP_EXT_AUDIO_PORTS[] = "clap.audio-ports";
constexpr const char CLAP_PORT_MONO[] = "mono";
constexpr const char CLAP_PORT_STEREO[] = "stereo";

enum {
    CLAP_AUDIO_PORT_IS_MAIN = 1 << 0,
    CLAP_AUDIO_PORT_SUPPORTS_64BITS = 1 << 1,
    CLAP_AUDIO_PORT_PREFERS_64BITS = 1 << 2,
    CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE = 1 << 3,
};

struct clap_audio_port_info_t {
    clap_id id;
    char name[CLAP_NAME_SIZE];
    std::uint32_t flags;
    std::uint32_t channel_count;
    const char* port_type; // CLAP_PORT_MONO, CLAP_PORT_STEREO, or null
    clap_id in_place_pair; // CLAP_INVALID_ID: no in-place processing
};

struct clap_plugin_audio_ports_t {
    // [main]
    std::uint32_t(CLAP_ABI* count)(const clap_plugin_t* plugin, bool is_input);
    bool(CLAP_ABI* get)(const clap_plugin_t* plugin, std::uint32_t index, bool is_input,
                        clap_audio_port_info_t* info);
};

enum {
    CLAP_AUDIO_PORTS_RESCAN_NAMES = 1 << 0,
    CLAP_AUDIO_PORTS_RESCAN_FLAGS = 1 << 1,
    CLAP_AUDIO_PORTS_RESCAN_CHANNEL_COUNT = 1 << 2,
    CLAP_AUDIO_PORTS_RESCAN_PORT_TYPE = 1 << 3,
    CLAP_AUDIO_PORTS_RESCAN_IN_PLACE_PAIR = 1 << 4,
    CLAP_AUDIO_PORTS_RESCAN_LIST = 1 << 5,
};

struct clap_host_audio_ports_t {
    // [main]
    bool(CLAP_ABI* is_rescan_flag_supported)(const clap_host_t* host, std::uint32_t flag);
    void(CLAP_ABI* rescan)(const clap_host_t* host, std::uint32_t flags);
};

constexpr const char CLAP_EXT_AUDIO_PORTS_CONFIG[] = "clap.audio-ports-config";

// A layout of the main ports that a user can pick from a menu.
struct clap_audio_ports_config_t {
    clap_id id;
    char name[CLAP_NAME_SIZE];
    std::uint32_t input_port_count;
    std::uint32_t output_port_count;
    bool has_main_input;
    std::uint32_t main_input_channel_count;
    const char* main_input_port_type;
    bool has_main_output;
    std::uint32_t main_output_channel_count;
    const char* main_output_port_type;
};

struct clap_plugin_audio_ports_config_t {
    // [main]
    std::uint32_t(CLAP_ABI* count)(const clap_plugin_t* plugin);
    bool(CLAP_ABI* get)(const clap_plugin_t* plugin, std::uint32_t index,
                        clap_audio_ports_config_t* config);
    // [main, inactive] The host scans the audio ports again afterwards.
    bool(CLAP_ABI* select)(const clap_plugin_t* plugin, clap_id config_id);
};

// --- Note ports
// -----------------------------------------------------------------------------------

constexpr const char CLAP_EXT_NOTE_PORTS[] = "clap.note-ports";

enum clap_note_dialect {
    CLAP_NOTE_DIALECT_CLAP = 1 << 0,
    CLAP_NOTE_DIALECT_MIDI = 1 << 1,
    CLAP_NOTE_DIALECT_MIDI_MPE = 1 << 2,
    CLAP_NOTE_DIALECT_MIDI2 = 1 << 3,
};

struct clap_note_port_info_t {
    clap_id id;
    std::uint32_t supported_dialects;
    std::uint32_t preferred_dialect;
    char name[CLAP_NAME_SIZE];
};

struct clap_plugin_note_ports_t {
    // [main]
    std::uint32_t(CLAP_ABI* count)(const clap_plugin_t* plugin, bool is_input);
    bool(CLAP_ABI* get)(const clap_plugin_t* plugin, std::uint32_t index, bool is_input,
                        clap_note_port_info_t* info);
};

// --- Editor
// ---------------------------------------------------------------------------------------

constexpr const char CLAP_EXT_GUI[] = "clap.gui";
// Window systems, by their published names. X11 and Win32 sizes are physical pixels.
constexpr const char CLAP_WINDOW_API_WIN32[] = "win32";
constexpr const char CLAP_WINDOW_API_COCOA[] = "cocoa";
constexpr const char CLAP_WINDOW_API_X11[] = "x11";
constexpr const char CLAP_WINDOW_API_WAYLAND[] = "wayland";

typedef void* clap_hwnd;
typedef void* clap_nsview;
typedef unsigned long clap_xwnd;

struct clap_window_t {
    const char* api;
    union {
        clap_nsview cocoa;
        clap_xwnd x11;
        clap_hwnd win32;
        void* ptr;
    };
};

struct clap_gui_resize_hints_t {
    bool can_resize_horizontally;
    bool can_resize_vertically;
    bool preserve_aspect_ratio;
    std::uint32_t aspect_ratio_width;
    std::uint32_t aspect_ratio_height;
};

// [main] throughout. An embedded editor goes create, (set_scale), get_size, set_parent, show,
// and hide / show any number of times, then destroy.
struct clap_plugin_gui_t {
    bool(CLAP_ABI* is_api_supported)(const clap_plugin_t* plugin, const char* api,
                                     bool is_floating);
    bool(CLAP_ABI* get_preferred_api)(const clap_plugin_t* plugin, const char** api,
                                      bool* is_floating);
    bool(CLAP_ABI* create)(const clap_plugin_t* plugin, const char* api, bool is_floating);
    void(CLAP_ABI* destroy)(const clap_plugin_t* plugin);
    bool(CLAP_ABI* set_scale)(const clap_plugin_t* plugin, double scale);
    bool(CLAP_ABI* get_size)(const clap_plugin_t* plugin, std::uint32_t* width,
                             std::uint32_t* height);
    bool(CLAP_ABI* can_resize)(const clap_plugin_t* plugin);
    bool(CLAP_ABI* get_resize_hints)(const clap_plugin_t* plugin, clap_gui_resize_hints_t* hints);
    bool(CLAP_ABI* adjust_size)(const clap_plugin_t* plugin, std::uint32_t* width,
                                std::uint32_t* height);
    bool(CLAP_ABI* set_size)(const clap_plugin_t* plugin, std::uint32_t width,
                             std::uint32_t height);
    bool(CLAP_ABI* set_parent)(const clap_plugin_t* plugin, const clap_window_t* window);
    bool(CLAP_ABI* set_transient)(const clap_plugin_t* plugin, const clap_window_t* window);
    void(CLAP_ABI* suggest_title)(const clap_plugin_t* plugin, const char* title);
    bool(CLAP_ABI* show)(const clap_plugin_t* plugin);
    bool(CLAP_ABI* hide)(const clap_plugin_t* plugin);
};

struct clap_host_gui_t {
    // [thread-safe] throughout.
    void(CLAP_ABI* resize_hints_changed)(const clap_host_t* host);
    bool(CLAP_ABI* request_resize)(const clap_host_t* host, std::uint32_t width,
                                   std::uint32_t height);
    bool(CLAP_ABI* request_show)(const clap_host_t* host);
    bool(CLAP_ABI* request_hide)(const clap_host_t* host);
    void(CLAP_ABI* closed)(const clap_host_t* host, bool was_destroyed);
};

// --- Timers and file descriptors on the host's main loop -----------------------------------------

constexpr const char CLAP_EXT_TIMER_SUPPORT[] = "clap.timer-support";

struct clap_plugin_timer_support_t {
    // [main]
    void(CLAP_ABI* on_timer)(const clap_plugin_t* plugin, clap_id timer_id);
};

struct clap_host_timer_support_t {
    // [main] The host may lengthen a short period; about 30 Hz is always allowed.
    bool(CLAP_ABI* register_timer)(const clap_host_t* host, std::uint32_t period_ms,
                                   clap_id* timer_id);
    bool(CLAP_ABI* unregister_timer)(const clap_host_t* host, clap_id timer_id);
};

constexpr const char CLAP_EXT_POSIX_FD_SUPPORT[] = "clap.posix-fd-support";

enum {
    CLAP_POSIX_FD_READ = 1 << 0,
    CLAP_POSIX_FD_WRITE = 1 << 1,
    CLAP_POSIX_FD_ERROR = 1 << 2,
};
typedef std::uint32_t clap_posix_fd_flags_t;

struct clap_plugin_posix_fd_support_t {
    // [main] Level-triggered: called for as long as the condition holds.
    void(CLAP_ABI* on_fd)(const clap_plugin_t* plugin, int fd, clap_posix_fd_flags_t flags);
};

struct clap_host_posix_fd_support_t {
    // [main]
    bool(CLAP_ABI* register_fd)(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags);
    bool(CLAP_ABI* modify_fd)(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags);
    bool(CLAP_ABI* unregister_fd)(const clap_host_t* host, int fd);
};

// --- Thread checks and logging
// --------------------------------------------------------------------

constexpr const char CLAP_EXT_THREAD_CHECK[] = "clap.thread-check";

// The main thread is one OS thread for the plug-in's life; the audio thread is symbolic (one at
// a time, possibly a different OS thread per block, possibly the main thread).
struct clap_host_thread_check_t {
    // [thread-safe]
    bool(CLAP_ABI* is_main_thread)(const clap_host_t* host);
    bool(CLAP_ABI* is_audio_thread)(const clap_host_t* host);
};

constexpr const char CLAP_EXT_LOG[] = "clap.log";

enum {
    CLAP_LOG_DEBUG = 0,
    CLAP_LOG_INFO = 1,
    CLAP_LOG_WARNING = 2,
    CLAP_LOG_ERROR = 3,
    CLAP_LOG_FATAL = 4,
    CLAP_LOG_HOST_MISBEHAVING = 5,
    CLAP_LOG_PLUGIN_MISBEHAVING = 6,
};
typedef std::int32_t clap_log_severity;

struct clap_host_log_t {
    // [thread-safe]
    void(CLAP_ABI* log)(const clap_host_t* host, clap_log_severity severity, const char* msg);
};

} // extern "C"

// The published records' sizes on 64-bit targets, where every field sits at its natural
// alignment: a field added, dropped or moved by mistake shows here rather than in a host.
#if UINTPTR_MAX == UINT64_MAX
static_assert(sizeof(clap_plugin_descriptor_t) == 88, "descriptor layout");
static_assert(sizeof(clap_plugin_t) == 96, "plug-in record layout");
static_assert(sizeof(clap_host_t) == 88, "host record layout");
static_assert(sizeof(clap_process_t) == 64, "process record layout");
static_assert(sizeof(clap_audio_buffer_t) == 32, "audio buffer layout");
static_assert(sizeof(clap_event_param_value_t) == 56, "parameter value event layout");
static_assert(sizeof(clap_event_param_gesture_t) == 20, "gesture event layout");
static_assert(sizeof(clap_event_transport_t) == 104, "transport event layout");
static_assert(sizeof(clap_param_info_t) == 1320, "parameter info layout");
static_assert(sizeof(clap_audio_port_info_t) == 288, "audio port info layout");
static_assert(sizeof(clap_window_t) == 16, "window layout");
#endif

#include "tools/host/Lv2Plugin.h"

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/port-props/port-props.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/ui/ui.h>
#include <lv2/units/units.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace OmbrelHost {

namespace {

constexpr std::size_t kAtomBytes = 4096;

struct ControlPort {
    std::uint32_t port;
    std::string symbol, name, unit;
    float min = 0, max = 1, def = 0;
    bool integer = false;     // integer, enumeration or toggled: whole values only
    bool logarithmic = false; // a slider moves in ratios (both ends of one sign)
    std::vector<std::pair<float, std::string>> points;
};

// What each port is connected to.
enum class PortUse { Control, Audio, Transport, EventsIn, EventsOut, Unconnected };

// The events a plug-in may write into one atom output port per block.
constexpr std::size_t kEventBytes = 8192;

// Case-blind equality of two texts.
bool sameWord(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string trimmed(const std::string& s) {
    const std::size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// Symbols of the units vocabulary's units, which a bundle names without describing them.
const char* vocabularySymbol(const std::string& unit) {
    static const char* const known[][2] = {{"hz", "Hz"},    {"db", "dB"},   {"cent", "ct"},
                                           {"s", "s"},      {"ms", "ms"},   {"pc", "%"},
                                           {"degree", "°"}, {"bpm", "BPM"}, {"khz", "kHz"}};
    const std::string prefix = LV2_UNITS_PREFIX;
    if (unit.compare(0, prefix.size(), prefix) != 0) return nullptr;
    for (const auto& k : known)
        if (unit.compare(prefix.size(), std::string::npos, k[0]) == 0) return k[1];
    return nullptr;
}

} // namespace

struct Lv2Plugin::World {
    LilvWorld* world = nullptr;
    const LilvPlugin* plugin = nullptr;
    LilvInstance* instance = nullptr;

    // URIDs: the index in this list plus one.
    std::vector<std::string> uris;
    LV2_URID_Map map{this, &World::mapUri};
    LV2_URID_Unmap unmap{this, &World::unmapUri};
    std::int32_t minBlock = 1, maxBlock = 0;
    float rate = 0;
    std::vector<LV2_Options_Option> options;
    LV2_Feature mapFeature{LV2_URID__map, &map};
    LV2_Feature unmapFeature{LV2_URID__unmap, &unmap};
    LV2_Feature optionsFeature{LV2_OPTIONS__options, nullptr};
    LV2_Feature boundedFeature{LV2_BUF_SIZE__boundedBlockLength, nullptr};
    std::vector<const LV2_Feature*> features;

    std::vector<ControlPort> controls;
    std::vector<float> portValues; // by port index
    std::vector<PortUse> uses;     // by port index
    std::vector<std::uint32_t> audioIn, audioOut;
    std::vector<bool> optional; // by port index
    std::int64_t transportPort = -1;
    alignas(8) unsigned char atomBuffer[kAtomBytes] = {};
    // One event buffer per other atom port, by port index (empty for the rest).
    std::vector<std::vector<std::uint64_t>> events;
    std::vector<bool> midiOut; // by port index: an output that gives MIDI events
    std::vector<float> silence;
    std::vector<float> discard;

    // The UI.
    Korvel::KDynamicLibrary uiLibrary;
    const LV2UI_Descriptor* uiDescriptor = nullptr;
    LV2UI_Handle ui = nullptr;
    LV2UI_Widget uiWidget = nullptr;
    const LV2UI_Idle_Interface* uiIdle = nullptr;
    LV2UI_Touch touch{this, &World::touched};
    LV2UI_Resize resize{this, &World::resized};
    std::function<bool(int, int)>* onResize = nullptr;
    std::vector<Lv2Notice> notices;
    float uiScale = 0;
    std::vector<LV2_Options_Option> uiOptions;
    LV2_Feature uiOptionsFeature{LV2_OPTIONS__options, nullptr};

    static LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri) {
        auto* self = static_cast<World*>(handle);
        auto found = std::find(self->uris.begin(), self->uris.end(), uri);
        if (found != self->uris.end()) return static_cast<LV2_URID>(found - self->uris.begin() + 1);
        self->uris.push_back(uri);
        return static_cast<LV2_URID>(self->uris.size());
    }
    static const char* unmapUri(LV2_URID_Unmap_Handle handle, LV2_URID urid) {
        auto* self = static_cast<World*>(handle);
        return urid >= 1 && urid <= self->uris.size() ? self->uris[urid - 1].c_str() : nullptr;
    }
    LV2_URID id(const char* uri) { return mapUri(this, uri); }
    static int resized(LV2UI_Feature_Handle handle, int width, int height) {
        auto* self = static_cast<World*>(handle);
        return self->onResize && *self->onResize && (*self->onResize)(width, height) ? 0 : 1;
    }
    static void touched(LV2UI_Feature_Handle handle, std::uint32_t port, bool grabbed) {
        static_cast<World*>(handle)->notices.push_back(
            {grabbed ? Lv2Notice::TouchBegin : Lv2Notice::TouchEnd, port, 0});
    }
    static void written(LV2UI_Controller controller, std::uint32_t port, std::uint32_t size,
                        std::uint32_t protocol, const void* buffer) {
        auto* self = static_cast<World*>(controller);
        if (protocol != 0 || size != sizeof(float) || port >= self->portValues.size()) return;
        float value;
        std::memcpy(&value, buffer, sizeof value);
        self->portValues[port] = value;
        self->notices.push_back({Lv2Notice::Write, port, value});
    }
    static const void* portValue(const char* symbol, void* data, std::uint32_t* size,
                                 std::uint32_t* type) {
        auto* self = static_cast<World*>(data);
        for (const ControlPort& c : self->controls)
            if (c.symbol == symbol) {
                *size = sizeof(float);
                *type = self->id(LV2_ATOM__Float);
                return &self->portValues[c.port];
            }
        *size = *type = 0;
        return nullptr;
    }
    static void setPortValue(const char* symbol, void* data, const void* value, std::uint32_t size,
                             std::uint32_t type) {
        auto* self = static_cast<World*>(data);
        float v = 0;
        if (type == self->id(LV2_ATOM__Float) && size == sizeof(float))
            std::memcpy(&v, value, sizeof v);
        else if (type == self->id(LV2_ATOM__Double) && size == sizeof(double))
            v = static_cast<float>(*static_cast<const double*>(value));
        else if (type == self->id(LV2_ATOM__Int) && size == sizeof(std::int32_t))
            v = static_cast<float>(*static_cast<const std::int32_t*>(value));
        else
            return;
        for (const ControlPort& c : self->controls)
            if (c.symbol == symbol) self->portValues[c.port] = v;
    }

    LilvNode* node(const char* uri) { return lilv_new_uri(world, uri); }
    bool portIs(const LilvPort* port, const char* uri) {
        LilvNode* n = node(uri);
        const bool is = lilv_port_is_a(plugin, port, n);
        lilv_node_free(n);
        return is;
    }
    bool portHas(const LilvPort* port, const char* uri) {
        LilvNode* n = node(uri);
        const bool has = lilv_port_has_property(plugin, port, n);
        lilv_node_free(n);
        return has;
    }
    std::string text(LilvNode* n) {
        std::string s = n ? lilv_node_as_string(n) : "";
        lilv_node_free(n);
        return s;
    }
    ControlPort describeControl(std::uint32_t index, const LilvPort* port);
    std::string unitSymbol(const LilvPort* port);
    bool scanPorts(std::string& error);
    void connectPorts();
    const LilvUI* x11Ui(LilvUIs* uis);
    std::vector<std::string> uriList(const LilvNodes* nodes) {
        std::vector<std::string> out;
        LILV_FOREACH(nodes, i, nodes)
        out.push_back(lilv_node_as_string(lilv_nodes_get(nodes, i)));
        return out;
    }
    void sendPortEvent(std::uint32_t port) {
        if (ui && uiDescriptor->port_event)
            uiDescriptor->port_event(ui, port, sizeof(float), 0, &portValues[port]);
    }
};

std::string Lv2Plugin::World::unitSymbol(const LilvPort* port) {
    LilvNode* unitPredicate = node(LV2_UNITS__unit);
    LilvNode* unit = lilv_port_get(plugin, port, unitPredicate);
    lilv_node_free(unitPredicate);
    if (!unit) return "";
    std::string symbol;
    if (lilv_node_is_uri(unit)) {
        const std::string uri = lilv_node_as_uri(unit);
        if (const char* known = vocabularySymbol(uri)) symbol = known;
    }
    if (symbol.empty()) {
        LilvNode* symbolPredicate = node(LV2_UNITS__symbol);
        symbol = text(lilv_world_get(world, unit, symbolPredicate, nullptr));
        lilv_node_free(symbolPredicate);
    }
    lilv_node_free(unit);
    return symbol;
}

ControlPort Lv2Plugin::World::describeControl(std::uint32_t index, const LilvPort* port) {
    ControlPort c;
    c.port = index;
    c.symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
    c.name = text(lilv_port_get_name(plugin, port));
    c.unit = unitSymbol(port);
    LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
    lilv_port_get_range(plugin, port, &def, &min, &max);
    c.min = min ? lilv_node_as_float(min) : 0;
    c.max = max ? lilv_node_as_float(max) : 1;
    c.def = def ? lilv_node_as_float(def) : c.min;
    lilv_node_free(def);
    lilv_node_free(min);
    lilv_node_free(max);
    c.integer = portHas(port, LV2_CORE__integer) || portHas(port, LV2_CORE__enumeration) ||
                portHas(port, LV2_CORE__toggled);
    c.logarithmic = portHas(port, LV2_PORT_PROPS__logarithmic) && c.min * c.max > 0;
    if (LilvScalePoints* points = lilv_port_get_scale_points(plugin, port)) {
        LILV_FOREACH(scale_points, i, points) {
            const LilvScalePoint* p = lilv_scale_points_get(points, i);
            c.points.emplace_back(lilv_node_as_float(lilv_scale_point_get_value(p)),
                                  lilv_node_as_string(lilv_scale_point_get_label(p)));
        }
        lilv_scale_points_free(points);
        std::sort(c.points.begin(), c.points.end());
    }
    return c;
}

bool Lv2Plugin::World::scanPorts(std::string& error) {
    const std::uint32_t count = lilv_plugin_get_num_ports(plugin);
    portValues.assign(count, 0);
    optional.assign(count, false);
    uses.assign(count, PortUse::Unconnected);
    events.assign(count, {});
    midiOut.assign(count, false);
    for (std::uint32_t i = 0; i < count; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        const bool input = portIs(port, LV2_CORE__InputPort);
        optional[i] = portHas(port, LV2_CORE__connectionOptional);
        if (portIs(port, LV2_CORE__ControlPort)) {
            ControlPort c = describeControl(i, port);
            portValues[i] = c.def;
            uses[i] = PortUse::Control;
            if (input) controls.push_back(c);
        } else if (portIs(port, LV2_CORE__AudioPort)) {
            (input ? audioIn : audioOut).push_back(i);
            uses[i] = PortUse::Audio;
        } else if (portIs(port, LV2_ATOM__AtomPort) && input && transportPort < 0) {
            transportPort = i;
            uses[i] = PortUse::Transport;
        } else if (portIs(port, LV2_ATOM__AtomPort)) {
            uses[i] = input ? PortUse::EventsIn : PortUse::EventsOut;
            events[i].assign(kEventBytes / sizeof(std::uint64_t), 0);
            LilvNode* midi = node(LV2_MIDI__MidiEvent);
            midiOut[i] = !input && lilv_port_supports_event(plugin, port, midi);
            lilv_node_free(midi);
        } else if (!optional[i]) {
            error = "port " + std::to_string(i) + " is of a kind this host cannot connect";
            return false;
        }
    }
    return true;
}

// Everything but the audio, which each block connects to its own buffers.
void Lv2Plugin::World::connectPorts() {
    for (std::uint32_t i = 0; i < uses.size(); ++i) {
        void* data = nullptr;
        switch (uses[i]) {
        case PortUse::Control:
            data = &portValues[i];
            break;
        case PortUse::Transport:
            data = atomBuffer;
            break;
        case PortUse::EventsIn:
        case PortUse::EventsOut:
            data = events[i].data();
            break;
        case PortUse::Audio:
            continue;
        case PortUse::Unconnected:
            break;
        }
        lilv_instance_connect_port(instance, i, data);
    }
}

Lv2Plugin::Lv2Plugin() = default;

Lv2Plugin::~Lv2Plugin() {
    unload();
}

bool Lv2Plugin::loaded() const {
    return w_ && w_->instance;
}

bool Lv2Plugin::load(const std::string& bundle, double sampleRate, int blockSize,
                     std::string& error, const std::string& uri) {
    unload();
    if (sampleRate <= 0 || blockSize <= 0) {
        error = "the sample rate and the block size must be positive";
        return false;
    }
    sampleRate_ = sampleRate;
    blockSize_ = blockSize;
    w_.reset(new World);
    World& w = *w_;
    w.world = lilv_world_new();
    std::string dir = bundle;
    if (dir.empty() || dir.back() != '/') dir += '/';
    LilvNode* bundleUri = lilv_new_file_uri(w.world, nullptr, dir.c_str());
    lilv_world_load_bundle(w.world, bundleUri);
    const LilvPlugins* plugins = lilv_world_get_all_plugins(w.world);
    LILV_FOREACH(plugins, i, plugins) {
        const LilvPlugin* p = lilv_plugins_get(plugins, i);
        const bool inBundle = lilv_node_equals(lilv_plugin_get_bundle_uri(p), bundleUri);
        if (inBundle && (uri.empty() || uri == lilv_node_as_uri(lilv_plugin_get_uri(p)))) {
            w.plugin = p;
            break;
        }
    }
    lilv_node_free(bundleUri);
    if (!w.plugin) {
        error = "no LV2 plug-in" + (uri.empty() ? "" : " " + uri) + " in " + bundle;
        unload();
        return false;
    }
    if (!w.scanPorts(error)) {
        unload();
        return false;
    }
    w.maxBlock = blockSize;
    w.rate = static_cast<float>(sampleRate);
    const LV2_URID intType = w.id(LV2_ATOM__Int);
    w.options = {{LV2_OPTIONS_INSTANCE, 0, w.id(LV2_BUF_SIZE__minBlockLength), sizeof(std::int32_t),
                  intType, &w.minBlock},
                 {LV2_OPTIONS_INSTANCE, 0, w.id(LV2_BUF_SIZE__maxBlockLength), sizeof(std::int32_t),
                  intType, &w.maxBlock},
                 {LV2_OPTIONS_INSTANCE, 0, w.id(LV2_BUF_SIZE__nominalBlockLength),
                  sizeof(std::int32_t), intType, &w.maxBlock},
                 {LV2_OPTIONS_INSTANCE, 0, w.id(LV2_PARAMETERS__sampleRate), sizeof(float),
                  w.id(LV2_ATOM__Float), &w.rate},
                 {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    w.optionsFeature.data = w.options.data();
    w.features = {&w.mapFeature, &w.unmapFeature, &w.optionsFeature, &w.boundedFeature, nullptr};
    w.instance = lilv_plugin_instantiate(w.plugin, sampleRate, w.features.data());
    if (!w.instance) {
        error = "the plug-in refused to be instantiated";
        unload();
        return false;
    }
    w.silence.assign(static_cast<std::size_t>(blockSize), 0.0f);
    w.discard.assign(static_cast<std::size_t>(blockSize), 0.0f);
    w.connectPorts();
    setChannels(std::min(audioInputs(), 2), std::min(audioOutputs(), 2));
    samplePos_ = 0;
    return true;
}

void Lv2Plugin::unload() {
    if (!w_) return;
    closeUi();
    if (w_->instance) {
        if (active_) lilv_instance_deactivate(w_->instance);
        lilv_instance_free(w_->instance);
    }
    active_ = false;
    if (w_->world) lilv_world_free(w_->world);
    w_.reset();
}

std::string Lv2Plugin::uri() const {
    return loaded() ? lilv_node_as_uri(lilv_plugin_get_uri(w_->plugin)) : "";
}

std::string Lv2Plugin::name() const {
    return loaded() ? w_->text(lilv_plugin_get_name(w_->plugin)) : "";
}

std::string Lv2Plugin::author() const {
    return loaded() ? w_->text(lilv_plugin_get_author_name(w_->plugin)) : "";
}

std::string Lv2Plugin::pluginClass() const {
    const LilvPluginClass* c = loaded() ? lilv_plugin_get_class(w_->plugin) : nullptr;
    const LilvNode* label = c ? lilv_plugin_class_get_label(c) : nullptr;
    return label ? lilv_node_as_string(label) : "";
}

std::vector<std::string> Lv2Plugin::requiredFeatures() const {
    if (!loaded()) return {};
    LilvNodes* nodes = lilv_plugin_get_required_features(w_->plugin);
    std::vector<std::string> out = w_->uriList(nodes);
    lilv_nodes_free(nodes);
    return out;
}

std::vector<std::string> Lv2Plugin::optionalFeatures() const {
    if (!loaded()) return {};
    LilvNodes* nodes = lilv_plugin_get_optional_features(w_->plugin);
    std::vector<std::string> out = w_->uriList(nodes);
    lilv_nodes_free(nodes);
    return out;
}

std::vector<std::string> Lv2Plugin::extensionData() const {
    if (!loaded()) return {};
    LilvNodes* nodes = lilv_plugin_get_extension_data(w_->plugin);
    std::vector<std::string> out = w_->uriList(nodes);
    lilv_nodes_free(nodes);
    return out;
}

int Lv2Plugin::parameterCount() const {
    return loaded() ? static_cast<int>(w_->controls.size()) : 0;
}

#define OMBREL_CONTROL(index, field, none)                                                         \
    (index >= 0 && index < parameterCount() ? w_->controls[static_cast<std::size_t>(index)].field  \
                                            : none)

std::string Lv2Plugin::parameterName(int index) const {
    return OMBREL_CONTROL(index, name, "");
}
std::string Lv2Plugin::parameterSymbol(int index) const {
    return OMBREL_CONTROL(index, symbol, "");
}
std::string Lv2Plugin::parameterUnit(int index) const {
    return OMBREL_CONTROL(index, unit, "");
}
float Lv2Plugin::parameterMinimum(int index) const {
    return OMBREL_CONTROL(index, min, 0.0f);
}
float Lv2Plugin::parameterMaximum(int index) const {
    return OMBREL_CONTROL(index, max, 0.0f);
}
float Lv2Plugin::parameterDefault(int index) const {
    return OMBREL_CONTROL(index, def, 0.0f);
}
std::uint32_t Lv2Plugin::parameterPort(int index) const {
    return OMBREL_CONTROL(index, port, 0u);
}
#undef OMBREL_CONTROL

int Lv2Plugin::parameterIndex(const std::string& symbol) const {
    for (int i = 0; i < parameterCount(); ++i)
        if (w_->controls[static_cast<std::size_t>(i)].symbol == symbol) return i;
    return -1;
}

float Lv2Plugin::parameter(int index) const {
    return index >= 0 && index < parameterCount() ? w_->portValues[parameterPort(index)] : 0;
}

void Lv2Plugin::setParameter(int index, float value) {
    if (index < 0 || index >= parameterCount() || std::isnan(value)) return;
    const ControlPort& c = w_->controls[static_cast<std::size_t>(index)];
    w_->portValues[c.port] = std::min(std::max(value, c.min), c.max);
    w_->sendPortEvent(c.port);
}

int Lv2Plugin::enabledParameter() const {
    if (!loaded()) return -1;
    LilvNode* input = w_->node(LV2_CORE__InputPort);
    LilvNode* enabled = w_->node(LV2_CORE__enabled);
    const LilvPort* port = lilv_plugin_get_port_by_designation(w_->plugin, input, enabled);
    lilv_node_free(enabled);
    lilv_node_free(input);
    for (int i = 0; port && i < parameterCount(); ++i)
        if (parameterPort(i) == lilv_port_get_index(w_->plugin, port)) return i;
    return -1;
}

double Lv2Plugin::normalised(int index) const {
    if (index < 0 || index >= parameterCount()) return 0;
    const ControlPort& c = w_->controls[static_cast<std::size_t>(index)];
    const double v = w_->portValues[c.port];
    if (!(c.max > c.min)) return 0;
    const double n = c.logarithmic ? std::log(v / c.min) / std::log(double(c.max) / c.min)
                                   : (v - c.min) / (double(c.max) - c.min);
    return std::isfinite(n) ? std::min(1.0, std::max(0.0, n)) : 0;
}

float Lv2Plugin::fromNormalised(int index, double n) const {
    if (index < 0 || index >= parameterCount() || std::isnan(n)) return 0;
    const ControlPort& c = w_->controls[static_cast<std::size_t>(index)];
    n = std::min(1.0, std::max(0.0, n));
    double v = c.logarithmic ? c.min * std::pow(double(c.max) / c.min, n)
                             : c.min + n * (double(c.max) - c.min);
    if (c.integer) v = std::round(v);
    return static_cast<float>(std::min<double>(std::max<double>(v, c.min), c.max));
}

std::string Lv2Plugin::parameterDisplay(int index) const {
    if (index < 0 || index >= parameterCount()) return "";
    return displayOf(index, w_->portValues[parameterPort(index)], true);
}

std::string Lv2Plugin::displayOf(int index, float value, bool withUnit) const {
    if (index < 0 || index >= parameterCount()) return "";
    const ControlPort& c = w_->controls[static_cast<std::size_t>(index)];
    for (const auto& point : c.points)
        if (point.first == value) return point.second;
    char number[64];
    if (c.integer)
        std::snprintf(number, sizeof number, "%.0f", static_cast<double>(value));
    else
        std::snprintf(number, sizeof number, "%g", static_cast<double>(value));
    return c.unit.empty() || !withUnit ? number : std::string(number) + " " + c.unit;
}

bool Lv2Plugin::setParameterText(int index, const std::string& typed) {
    if (index < 0 || index >= parameterCount()) return false;
    const ControlPort& c = w_->controls[static_cast<std::size_t>(index)];
    const std::string text = trimmed(typed);
    for (const auto& point : c.points)
        if (sameWord(point.second, text)) {
            setParameter(index, point.first);
            return true;
        }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || std::isnan(value)) return false;
    const std::string rest = trimmed(end);
    if (!rest.empty() && !sameWord(rest, c.unit)) return false;
    // Inf and -Inf stand for the ends of the range (-Inf dB: as quiet as the port goes).
    setParameter(index,
                 static_cast<float>(std::isinf(value) ? (value > 0 ? c.max : c.min) : value));
    return true;
}

std::vector<std::string> Lv2Plugin::presets() const {
    std::vector<std::string> labels;
    if (!loaded()) return labels;
    LilvNode* presetClass = w_->node(LV2_PRESETS__Preset);
    LilvNode* label = w_->node(LILV_NS_RDFS "label");
    LilvNodes* related = lilv_plugin_get_related(w_->plugin, presetClass);
    LILV_FOREACH(nodes, i, related) {
        const LilvNode* preset = lilv_nodes_get(related, i);
        lilv_world_load_resource(w_->world, preset);
        labels.push_back(w_->text(lilv_world_get(w_->world, preset, label, nullptr)));
    }
    lilv_nodes_free(related);
    lilv_node_free(label);
    lilv_node_free(presetClass);
    return labels;
}

bool Lv2Plugin::loadPreset(int index) {
    if (!loaded() || index < 0) return false;
    LilvNode* presetClass = w_->node(LV2_PRESETS__Preset);
    LilvNodes* related = lilv_plugin_get_related(w_->plugin, presetClass);
    LilvState* state = nullptr;
    int n = 0;
    LILV_FOREACH(nodes, i, related) {
        if (n++ != index) continue;
        const LilvNode* preset = lilv_nodes_get(related, i);
        lilv_world_load_resource(w_->world, preset);
        state = lilv_state_new_from_world(w_->world, &w_->map, preset);
    }
    lilv_nodes_free(related);
    lilv_node_free(presetClass);
    if (!state) return false;
    lilv_state_restore(state, w_->instance, &World::setPortValue, w_.get(), 0, w_->features.data());
    lilv_state_free(state);
    for (const ControlPort& c : w_->controls)
        w_->sendPortEvent(c.port);
    return true;
}

std::string Lv2Plugin::saveState(const std::string& label) {
    if (!loaded()) return "";
    LilvState* state = lilv_state_new_from_instance(
        w_->plugin, w_->instance, &w_->map, nullptr, nullptr, nullptr, nullptr, &World::portValue,
        w_.get(), LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, w_->features.data());
    if (!state) return "";
    if (!label.empty()) lilv_state_set_label(state, label.c_str());
    char* text = lilv_state_to_string(w_->world, &w_->map, &w_->unmap, state,
                                      "urn:ombrel-host:state", nullptr);
    lilv_state_free(state);
    std::string out = text ? text : "";
    lilv_free(text);
    // lilv writes the prefixed names without declaring the prefixes, which only lilv reads back;
    // declared, the text is Turtle any tool reads (and a preset file a bundle may hold).
    if (!out.empty() && out.find("@prefix") == std::string::npos)
        out = "@prefix atom: <" LV2_ATOM_PREFIX "> .\n"
              "@prefix lv2: <" LV2_CORE_PREFIX "> .\n"
              "@prefix pset: <" LV2_PRESETS_PREFIX "> .\n"
              "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
              "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
              "@prefix state: <" LV2_STATE_PREFIX "> .\n"
              "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n\n" +
              out;
    return out;
}

namespace {

// lilv_state_restore keeps the plug-in's answer to itself, and a host must not set the ports of
// a state the plug-in refused. The restore goes through a stand-in instance whose state interface
// passes the call on and keeps the answer. Descriptors' extension_data has no instance argument,
// so the stand-in in use is a static; one thread drives the host.
struct RestoreWatch {
    LV2_Handle handle = nullptr;
    const LV2_State_Interface* state = nullptr;
    LV2_State_Status status = LV2_STATE_SUCCESS;
    LV2_Descriptor descriptor{};
    LilvInstance instance{};
};
RestoreWatch* gWatch = nullptr;

LV2_State_Status watchedRestore(LV2_Handle, LV2_State_Retrieve_Function retrieve,
                                LV2_State_Handle handle, std::uint32_t flags,
                                const LV2_Feature* const* features) {
    gWatch->status = gWatch->state->restore(gWatch->handle, retrieve, handle, flags, features);
    return gWatch->status;
}
const LV2_State_Interface kWatchedState = {nullptr, watchedRestore};
const void* watchedExtension(const char* uri) {
    return uri && std::strcmp(uri, LV2_STATE__interface) == 0 ? &kWatchedState : nullptr;
}

// Whether text can be a saved state at all, before lilv's parser (which complains on stderr)
// sees it.
bool looksLikeState(const std::string& text) {
    return text.find('\0') == std::string::npos && text.find("appliesTo") != std::string::npos;
}

} // namespace

Lv2Plugin::StateLoad Lv2Plugin::restoreState(const std::string& text, std::string& appliesTo) {
    appliesTo.clear();
    if (!loaded() || !looksLikeState(text)) return StateLoad::NotState;
    LilvState* state = lilv_state_new_from_string(w_->world, &w_->map, text.c_str());
    if (!state) return StateLoad::NotState;
    const LilvNode* target = lilv_state_get_plugin_uri(state);
    appliesTo = target ? lilv_node_as_uri(target) : "";
    if (!lilv_node_equals(target, lilv_plugin_get_uri(w_->plugin))) {
        lilv_state_free(state);
        return StateLoad::OtherPlugin;
    }
    RestoreWatch watch;
    const LV2_Descriptor* real = lilv_instance_get_descriptor(w_->instance);
    watch.handle = lilv_instance_get_handle(w_->instance);
    watch.state = static_cast<const LV2_State_Interface*>(
        lilv_instance_get_extension_data(w_->instance, LV2_STATE__interface));
    LilvInstance* targetInstance = w_->instance;
    if (watch.state && watch.state->restore) {
        watch.descriptor = *real;
        watch.descriptor.extension_data = watchedExtension;
        watch.instance.lv2_descriptor = &watch.descriptor;
        watch.instance.lv2_handle = watch.handle;
        targetInstance = &watch.instance;
    }
    gWatch = &watch;
    lilv_state_restore(state, targetInstance, nullptr, nullptr, 0, w_->features.data());
    gWatch = nullptr;
    const bool taken = watch.status == LV2_STATE_SUCCESS;
    // The ports after the plug-in's own state, as lilv_state_restore orders them.
    if (taken) lilv_state_emit_port_values(state, &World::setPortValue, w_.get());
    lilv_state_free(state);
    if (!taken) return StateLoad::Refused;
    for (const ControlPort& c : w_->controls)
        w_->sendPortEvent(c.port);
    return StateLoad::Ok;
}

bool Lv2Plugin::loadState(const std::string& text) {
    std::string appliesTo;
    return restoreState(text, appliesTo) == StateLoad::Ok;
}

bool Lv2Plugin::summariseState(const std::string& text, Lv2StateSummary& summary) {
    if (!looksLikeState(text)) return false;
    World w;
    w.world = lilv_world_new();
    LilvState* state = lilv_state_new_from_string(w.world, &w.map, text.c_str());
    if (state) {
        const LilvNode* target = lilv_state_get_plugin_uri(state);
        summary.plugin = target ? lilv_node_as_uri(target) : "";
        const char* label = lilv_state_get_label(state);
        summary.label = label ? label : "";
        summary.properties = lilv_state_get_num_properties(state);
        summary.ports.clear();
        std::pair<World*, Lv2StateSummary*> both(&w, &summary);
        lilv_state_emit_port_values(
            state,
            [](const char* symbol, void* data, const void* value, std::uint32_t size,
               std::uint32_t type) {
                auto* self = static_cast<std::pair<World*, Lv2StateSummary*>*>(data);
                float v = 0;
                if (type == self->first->id(LV2_ATOM__Float) && size == sizeof v)
                    std::memcpy(&v, value, sizeof v);
                else if (type == self->first->id(LV2_ATOM__Double) && size == sizeof(double))
                    v = static_cast<float>(*static_cast<const double*>(value));
                else if (type == self->first->id(LV2_ATOM__Int) && size == sizeof(std::int32_t))
                    v = static_cast<float>(*static_cast<const std::int32_t*>(value));
                self->second->ports.emplace_back(symbol, v);
            },
            &both);
        lilv_state_free(state);
    }
    lilv_world_free(w.world);
    w.world = nullptr;
    return state != nullptr;
}

int Lv2Plugin::audioInputs() const {
    return w_ ? static_cast<int>(w_->audioIn.size()) : 0;
}

int Lv2Plugin::audioOutputs() const {
    return w_ ? static_cast<int>(w_->audioOut.size()) : 0;
}

// Fewer channels than ports leaves the optional ones unconnected; a required one that is not used
// reads silence or writes into a discarded buffer.
bool Lv2Plugin::setChannels(int inputs, int outputs) {
    if (!loaded() || inputs < 0 || outputs < 0 || inputs > audioInputs() ||
        outputs > audioOutputs())
        return false;
    inputsUsed_ = inputs;
    outputsUsed_ = outputs;
    return true;
}

void Lv2Plugin::activate() {
    if (!loaded() || active_) return;
    lilv_instance_activate(w_->instance);
    active_ = true;
}

void Lv2Plugin::deactivate() {
    if (!loaded() || !active_) return;
    lilv_instance_deactivate(w_->instance);
    active_ = false;
}

void Lv2Plugin::connectAudio(float** inputs, float** outputs, int offset) {
    World& w = *w_;
    auto connect = [&](const std::vector<std::uint32_t>& ports, float** channels, int used,
                       float* unused) {
        for (std::size_t k = 0; k < ports.size(); ++k) {
            float* data = static_cast<int>(k) < used ? channels[k] + offset
                          : w.optional[ports[k]]     ? nullptr
                                                     : unused;
            lilv_instance_connect_port(w.instance, ports[k], data);
        }
    };
    connect(w.audioIn, inputs, inputsUsed_, w.silence.data());
    connect(w.audioOut, outputs, outputsUsed_, w.discard.data());
}

void Lv2Plugin::writeTransport() {
    World& w = *w_;
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, &w.map);
    lv2_atom_forge_set_buffer(&forge, w.atomBuffer, sizeof w.atomBuffer);
    LV2_Atom_Forge_Frame sequence, object;
    lv2_atom_forge_sequence_head(&forge, &sequence, 0);
    if (transportOn_) {
        const double beat = samplePos_ / sampleRate_ * tempo_ / 60.0;
        lv2_atom_forge_frame_time(&forge, 0);
        lv2_atom_forge_object(&forge, &object, 0, w.id(LV2_TIME__Position));
        lv2_atom_forge_key(&forge, w.id(LV2_TIME__frame));
        lv2_atom_forge_long(&forge, static_cast<std::int64_t>(samplePos_));
        lv2_atom_forge_key(&forge, w.id(LV2_TIME__speed));
        lv2_atom_forge_float(&forge, playing_ ? 1.0f : 0.0f);
        lv2_atom_forge_key(&forge, w.id(LV2_TIME__beatsPerMinute));
        lv2_atom_forge_float(&forge, static_cast<float>(tempo_));
        lv2_atom_forge_key(&forge, w.id(LV2_TIME__beatUnit));
        lv2_atom_forge_int(&forge, 4);
        lv2_atom_forge_key(&forge, w.id(LV2_TIME__beatsPerBar));
        lv2_atom_forge_float(&forge, 4.0f);
        lv2_atom_forge_key(&forge, w.id(LV2_TIME__bar));
        lv2_atom_forge_long(&forge, static_cast<std::int64_t>(std::floor(beat / 4)));
        lv2_atom_forge_key(&forge, w.id(LV2_TIME__barBeat));
        lv2_atom_forge_float(&forge, static_cast<float>(beat - 4 * std::floor(beat / 4)));
        lv2_atom_forge_key(&forge, w.id(LV2_TIME__beat));
        lv2_atom_forge_double(&forge, beat);
        lv2_atom_forge_pop(&forge, &object);
    }
    lv2_atom_forge_pop(&forge, &sequence);
}

// Every block: the atom inputs an empty sequence, the outputs their whole room (as atom:Chunk,
// which the plug-in replaces with its sequence).
void Lv2Plugin::prepareEvents() {
    World& w = *w_;
    for (std::size_t i = 0; i < w.uses.size(); ++i) {
        if (w.uses[i] != PortUse::EventsIn && w.uses[i] != PortUse::EventsOut) continue;
        auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(w.events[i].data());
        if (w.uses[i] == PortUse::EventsIn) {
            sequence->atom.size = sizeof(LV2_Atom_Sequence_Body);
            sequence->atom.type = w.id(LV2_ATOM__Sequence);
            sequence->body.unit = sequence->body.pad = 0;
        } else {
            sequence->atom.size = static_cast<std::uint32_t>(kEventBytes - sizeof(LV2_Atom));
            sequence->atom.type = w.id(LV2_ATOM__Chunk);
        }
    }
}

void Lv2Plugin::process(float** inputs, float** outputs, int frames) {
    if (!loaded() || frames <= 0) return;
    for (int offset = 0; offset < frames; offset += blockSize_) {
        const int n = std::min(blockSize_, frames - offset);
        connectAudio(inputs, outputs, offset);
        if (w_->transportPort >= 0) writeTransport();
        prepareEvents();
        lilv_instance_run(w_->instance, static_cast<std::uint32_t>(n));
        readMidi(n);
        if (playing_) samplePos_ += n;
        framesRun_ += n;
    }
}

bool Lv2Plugin::hasMidiOutput() const {
    if (!loaded()) return false;
    for (bool midi : w_->midiOut)
        if (midi) return true;
    return false;
}

// The MIDI events of every MIDI output, in port order within the block; a sequence the plug-in
// left as the room it was given (or damaged) holds none.
void Lv2Plugin::readMidi(int frames) {
    World& w = *w_;
    if (!onMidiOutput) return;
    const LV2_URID sequenceType = w.id(LV2_ATOM__Sequence);
    const LV2_URID midiType = w.id(LV2_MIDI__MidiEvent);
    for (std::size_t i = 0; i < w.midiOut.size(); ++i) {
        if (!w.midiOut[i]) continue;
        const auto* sequence = reinterpret_cast<const LV2_Atom_Sequence*>(w.events[i].data());
        if (sequence->atom.type != sequenceType ||
            sequence->atom.size > kEventBytes - sizeof(LV2_Atom))
            continue;
        LV2_ATOM_SEQUENCE_FOREACH(sequence, event) {
            if (event->body.type != midiType || event->body.size == 0 || event->body.size > 3)
                continue;
            const std::int64_t at = event->time.frames;
            if (at < 0 || at >= frames) continue;
            onMidiOutput(framesRun_ + at, reinterpret_cast<const std::uint8_t*>(&event->body + 1),
                         static_cast<int>(event->body.size));
        }
    }
}

std::vector<Lv2Notice> Lv2Plugin::takeNotices() {
    std::vector<Lv2Notice> out;
    if (w_) out.swap(w_->notices);
    return out;
}

const LilvUI* Lv2Plugin::World::x11Ui(LilvUIs* uis) {
    LilvNode* x11 = node(LV2_UI__X11UI);
    const LilvUI* chosen = nullptr;
    LILV_FOREACH(uis, i, uis) {
        const LilvUI* each = lilv_uis_get(uis, i);
        if (!chosen && lilv_ui_is_a(each, x11)) chosen = each;
    }
    lilv_node_free(x11);
    return chosen;
}

bool Lv2Plugin::hasUi() const {
    if (!loaded()) return false;
    LilvUIs* uis = lilv_plugin_get_uis(w_->plugin);
    const bool has = w_->x11Ui(uis) != nullptr;
    lilv_uis_free(uis);
    return has;
}

void Lv2Plugin::setUiScale(double scale) {
    if (w_) w_->uiScale = static_cast<float>(scale);
}

bool Lv2Plugin::openUi(unsigned long parent, std::string& error) {
    if (!loaded()) {
        error = "no plug-in loaded";
        return false;
    }
    closeUi();
    World& w = *w_;
    LilvUIs* uis = lilv_plugin_get_uis(w.plugin);
    const LilvUI* chosen = w.x11Ui(uis);
    std::string uiUri, binary;
    if (chosen) {
        uiUri = lilv_node_as_uri(lilv_ui_get_uri(chosen));
        char* path = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(chosen)), nullptr);
        binary = path ? path : "";
        lilv_free(path);
    }
    lilv_uis_free(uis);
    if (binary.empty()) {
        error = "the plug-in has no X11 UI";
        return false;
    }
    if (!w.uiLibrary.open(binary, error)) return false;
    using Entry = const LV2UI_Descriptor* (*)(std::uint32_t);
    auto entry = reinterpret_cast<Entry>(w.uiLibrary.symbol("lv2ui_descriptor"));
    for (std::uint32_t i = 0; entry && !w.uiDescriptor; ++i) {
        const LV2UI_Descriptor* d = entry(i);
        if (!d) break;
        if (uiUri == d->URI) w.uiDescriptor = d;
    }
    if (!w.uiDescriptor) {
        error = "the UI binary does not describe " + uiUri;
        closeUi();
        return false;
    }
    LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(parent)};
    LV2_Feature instanceFeature{LV2_INSTANCE_ACCESS_URI, lilv_instance_get_handle(w.instance)};
    LV2_Feature idleFeature{LV2_UI__idleInterface, nullptr};
    LV2_Feature touchFeature{LV2_UI__touch, &w.touch};
    LV2_Feature resizeFeature{LV2_UI__resize, &w.resize};
    // The instance's options, and the scale when one is given.
    w.uiOptions.clear();
    for (const LV2_Options_Option& o : w.options)
        if (o.key) w.uiOptions.push_back(o);
    if (w.uiScale > 0)
        w.uiOptions.push_back({LV2_OPTIONS_INSTANCE, 0, w.id(LV2_UI__scaleFactor), sizeof(float),
                               w.id(LV2_ATOM__Float), &w.uiScale});
    w.uiOptions.push_back({LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr});
    w.uiOptionsFeature.data = w.uiOptions.data();
    const LV2_Feature* features[] = {&w.mapFeature,    &w.unmapFeature,     &parentFeature,
                                     &instanceFeature, &idleFeature,        &touchFeature,
                                     &resizeFeature,   &w.uiOptionsFeature, nullptr};
    char* bundle =
        lilv_file_uri_parse(lilv_node_as_uri(lilv_plugin_get_bundle_uri(w.plugin)), nullptr);
    w.onResize = &onUiResize;
    w.ui = w.uiDescriptor->instantiate(w.uiDescriptor, uri().c_str(), bundle, &World::written, &w,
                                       &w.uiWidget, features);
    lilv_free(bundle);
    if (!w.ui) {
        error = "the UI did not open";
        closeUi();
        return false;
    }
    if (w.uiDescriptor->extension_data)
        w.uiIdle = static_cast<const LV2UI_Idle_Interface*>(
            w.uiDescriptor->extension_data(LV2_UI__idleInterface));
    for (const ControlPort& c : w.controls)
        w.sendPortEvent(c.port);
    return true;
}

bool Lv2Plugin::idleUi() {
    if (!uiOpen()) return false;
    return !w_->uiIdle || w_->uiIdle->idle(w_->ui) == 0;
}

void Lv2Plugin::closeUi() {
    if (!w_) return;
    if (w_->ui) w_->uiDescriptor->cleanup(w_->ui);
    w_->ui = nullptr;
    w_->uiWidget = nullptr;
    w_->uiIdle = nullptr;
    w_->uiDescriptor = nullptr;
    w_->onResize = nullptr;
    w_->uiLibrary.close();
}

bool Lv2Plugin::uiOpen() const {
    return w_ && w_->ui;
}

unsigned long Lv2Plugin::uiWindow() const {
    return uiOpen() ? reinterpret_cast<unsigned long>(w_->uiWidget) : 0;
}

} // namespace OmbrelHost

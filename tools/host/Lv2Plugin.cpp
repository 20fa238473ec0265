#include "tools/host/Lv2Plugin.h"

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/instance-access/instance-access.h>
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
    bool integer = false;
    std::vector<std::pair<float, std::string>> points;
};

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
    std::vector<std::uint32_t> audioIn, audioOut;
    std::vector<bool> optional; // by port index
    std::int64_t transportPort = -1;
    alignas(8) unsigned char atomBuffer[kAtomBytes] = {};
    std::vector<float> silence;
    std::vector<float> discard;

    // The UI.
    Korvel::KDynamicLibrary uiLibrary;
    const LV2UI_Descriptor* uiDescriptor = nullptr;
    LV2UI_Handle ui = nullptr;
    LV2UI_Widget uiWidget = nullptr;
    const LV2UI_Idle_Interface* uiIdle = nullptr;
    LV2UI_Touch touch{this, &World::touched};
    std::vector<Lv2Notice> notices;

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
    c.integer = portHas(port, LV2_CORE__integer) || portHas(port, LV2_CORE__enumeration);
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
    for (std::uint32_t i = 0; i < count; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        const bool input = portIs(port, LV2_CORE__InputPort);
        optional[i] = portHas(port, LV2_CORE__connectionOptional);
        if (portIs(port, LV2_CORE__ControlPort)) {
            ControlPort c = describeControl(i, port);
            portValues[i] = c.def;
            if (input) controls.push_back(c);
        } else if (portIs(port, LV2_CORE__AudioPort)) {
            (input ? audioIn : audioOut).push_back(i);
        } else if (portIs(port, LV2_ATOM__AtomPort) && input && transportPort < 0) {
            transportPort = i;
        } else if (!optional[i]) {
            error = "port " + std::to_string(i) + " is of a kind this host cannot connect";
            return false;
        }
    }
    return true;
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
    for (std::size_t i = 0; i < w.portValues.size(); ++i)
        if (std::find(w.audioIn.begin(), w.audioIn.end(), i) == w.audioIn.end() &&
            std::find(w.audioOut.begin(), w.audioOut.end(), i) == w.audioOut.end() &&
            static_cast<std::int64_t>(i) != w.transportPort)
            lilv_instance_connect_port(w.instance, static_cast<std::uint32_t>(i), &w.portValues[i]);
    if (w.transportPort >= 0)
        lilv_instance_connect_port(w.instance, static_cast<std::uint32_t>(w.transportPort),
                                   w.atomBuffer);
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

std::string Lv2Plugin::parameterDisplay(int index) const {
    if (index < 0 || index >= parameterCount()) return "";
    const ControlPort& c = w_->controls[static_cast<std::size_t>(index)];
    const float value = w_->portValues[c.port];
    for (const auto& point : c.points)
        if (point.first == value) return point.second;
    char number[64];
    if (c.integer)
        std::snprintf(number, sizeof number, "%.0f", static_cast<double>(value));
    else
        std::snprintf(number, sizeof number, "%g", static_cast<double>(value));
    return c.unit.empty() ? number : std::string(number) + " " + c.unit;
}

bool Lv2Plugin::setParameterText(int index, const std::string& text) {
    if (index < 0 || index >= parameterCount()) return false;
    const ControlPort& c = w_->controls[static_cast<std::size_t>(index)];
    for (const auto& point : c.points)
        if (strcasecmp(point.second.c_str(), text.c_str()) == 0) {
            setParameter(index, point.first);
            return true;
        }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str()) return false;
    setParameter(index, static_cast<float>(value));
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

std::string Lv2Plugin::saveState() {
    if (!loaded()) return "";
    LilvState* state = lilv_state_new_from_instance(
        w_->plugin, w_->instance, &w_->map, nullptr, nullptr, nullptr, nullptr, &World::portValue,
        w_.get(), LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, w_->features.data());
    if (!state) return "";
    char* text = lilv_state_to_string(w_->world, &w_->map, &w_->unmap, state,
                                      "urn:ombrel-host:state", nullptr);
    lilv_state_free(state);
    std::string out = text ? text : "";
    lilv_free(text);
    return out;
}

bool Lv2Plugin::loadState(const std::string& text) {
    if (!loaded()) return false;
    LilvState* state = lilv_state_new_from_string(w_->world, &w_->map, text.c_str());
    if (!state) return false;
    const bool ours =
        lilv_node_equals(lilv_state_get_plugin_uri(state), lilv_plugin_get_uri(w_->plugin));
    if (ours)
        lilv_state_restore(state, w_->instance, &World::setPortValue, w_.get(), 0,
                           w_->features.data());
    lilv_state_free(state);
    if (ours)
        for (const ControlPort& c : w_->controls)
            w_->sendPortEvent(c.port);
    return ours;
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

void Lv2Plugin::process(float** inputs, float** outputs, int frames) {
    if (!loaded() || frames <= 0) return;
    for (int offset = 0; offset < frames; offset += blockSize_) {
        const int n = std::min(blockSize_, frames - offset);
        connectAudio(inputs, outputs, offset);
        if (w_->transportPort >= 0) writeTransport();
        lilv_instance_run(w_->instance, static_cast<std::uint32_t>(n));
        if (playing_) samplePos_ += n;
    }
}

std::vector<Lv2Notice> Lv2Plugin::takeNotices() {
    std::vector<Lv2Notice> out;
    if (w_) out.swap(w_->notices);
    return out;
}

bool Lv2Plugin::openUi(unsigned long parent, std::string& error) {
    if (!loaded()) {
        error = "no plug-in loaded";
        return false;
    }
    closeUi();
    World& w = *w_;
    LilvUIs* uis = lilv_plugin_get_uis(w.plugin);
    LilvNode* x11 = w.node(LV2_UI__X11UI);
    const LilvUI* chosen = nullptr;
    LILV_FOREACH(uis, i, uis) {
        const LilvUI* ui = lilv_uis_get(uis, i);
        if (!chosen && lilv_ui_is_a(ui, x11)) chosen = ui;
    }
    lilv_node_free(x11);
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
    const LV2_Feature* features[] = {&w.mapFeature,    &w.unmapFeature, &parentFeature,
                                     &instanceFeature, &idleFeature,    &touchFeature,
                                     nullptr};
    char* bundle =
        lilv_file_uri_parse(lilv_node_as_uri(lilv_plugin_get_bundle_uri(w.plugin)), nullptr);
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
    w_->uiLibrary.close();
}

bool Lv2Plugin::uiOpen() const {
    return w_ && w_->ui;
}

unsigned long Lv2Plugin::uiWindow() const {
    return uiOpen() ? reinterpret_cast<unsigned long>(w_->uiWidget) : 0;
}

} // namespace OmbrelHost

// The parameters extension: what each parameter looks like to the host, its values and texts in
// the host's units, and the events in both directions.
#include "clap/KAudioSection.h"
#include "clap/KClapEffect.h"
#include "clap/KClapExtensions.h"
#include "clap/KShield.h"
#include "core/KText.h"
#include "params/KEffectParameter.h"

#include <cmath>
#include <cstring>
#include <new>

namespace Korvel {

namespace {

std::uint64_t bitsOf(double x) {
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

bool blank(char c) {
    return c == ' ' || c == '\t';
}

// The framework reads any text as a number (0 when it holds none); a host asking to convert a
// text wants to know when it is not one.
bool readsAsNumber(const char* text) {
    while (blank(*text))
        ++text;
    if (equalsNoCase(text, "inf") || equalsNoCase(text, "-inf")) return true;
    if (*text == '+' || *text == '-') ++text;
    if (*text == '.') ++text;
    return *text >= '0' && *text <= '9';
}

// The text without a trailing unit, so that what value_to_text wrote ("-Inf dB", "200 Hz")
// reads back as the value it stands for.
void withoutUnit(char* out, std::size_t size, const char* text, const char* unit) {
    copyText(out, text, size - 1);
    std::size_t n = std::strlen(out);
    while (n > 0 && blank(out[n - 1]))
        out[--n] = 0;
    std::size_t u = unit ? std::strlen(unit) : 0;
    if (u == 0 || u > n || !equalsNoCase(out + n - u, unit)) return;
    n -= u;
    out[n] = 0;
    while (n > 0 && blank(out[n - 1]))
        out[--n] = 0;
}

std::uint32_t CLAP_ABI paramsCount(const clap_plugin_t* p) {
    KClapEffect* e = KClapEffect::from(p);
    return e ? e->paramCount() : 0;
}
bool CLAP_ABI paramsInfo(const clap_plugin_t* p, std::uint32_t index, clap_param_info_t* info) {
    KClapEffect* e = KClapEffect::from(p);
    return e && info && e->paramInfo(index, *info);
}
bool CLAP_ABI paramsValue(const clap_plugin_t* p, clap_id id, double* value) {
    KClapEffect* e = KClapEffect::from(p);
    return e && value && e->paramValue(id, *value);
}
bool CLAP_ABI paramsValueToText(const clap_plugin_t* p, clap_id id, double value, char* out,
                                std::uint32_t capacity) {
    KClapEffect* e = KClapEffect::from(p);
    return e && shielded(false, [&] { return e->valueToText(id, value, out, capacity); });
}
bool CLAP_ABI paramsTextToValue(const clap_plugin_t* p, clap_id id, const char* text,
                                double* value) {
    KClapEffect* e = KClapEffect::from(p);
    return e && value && shielded(false, [&] { return e->textToValue(id, text, *value); });
}
void CLAP_ABI paramsFlush(const clap_plugin_t* p, const clap_input_events_t* in,
                          const clap_output_events_t* out) {
    if (KClapEffect* e = KClapEffect::from(p)) shieldedVoid([&] { e->flush(in, out); });
}

} // namespace

const clap_plugin_params_t kClapParams = {paramsCount,       paramsInfo,        paramsValue,
                                          paramsValueToText, paramsTextToValue, paramsFlush};

// A host's generic slider and its automation lanes move linearly between min and max, so each
// parameter gets the range in which that movement is the knob's: a knob turns its normalised
// value linearly. For linear parameters that is the real value (hertz, cents, seconds... with
// whole steps marked stepped), for choices the item index, and for logarithmic and decibel
// parameters the normalised value itself, whose texts the plug-in supplies. A host then records
// and plays back exactly what a turn of the knob does.
void KClapEffect::describeParameters() {
    paramCount_ = effect()->parameterCount();
    scales_.reset(new (std::nothrow) Scale[static_cast<std::size_t>(paramCount_)]);
    known_.reset(new (std::nothrow) std::atomic<double>[static_cast<std::size_t>(paramCount_)]);
    if (!scales_ || !known_) return;
    for (int i = 0; i < paramCount_; ++i) {
        KParameterScale scale = describeScale(*effect()->parameter(i));
        Scale& s = scales_[i];
        s.kind = scale.kind;
        s.flags = CLAP_PARAM_IS_AUTOMATABLE;
        if (scale.kind == KScaleKind::Linear || scale.kind == KScaleKind::Choice) {
            s.min = scale.min;
            s.max = scale.max;
            s.defaultValue = scale.defaultReal;
            if (scale.integer) s.flags |= CLAP_PARAM_IS_STEPPED;
            if (scale.kind == KScaleKind::Choice) s.flags |= CLAP_PARAM_IS_ENUM;
        } else {
            s.min = 0;
            s.max = 1;
            s.defaultValue = effect()->parameterDefault(i);
        }
        if (!(s.defaultValue >= s.min)) s.defaultValue = s.min;
        if (s.defaultValue > s.max) s.defaultValue = s.max;
    }
    rememberAll();
}

std::uint32_t KClapEffect::paramCount() const {
    return scales_ ? static_cast<std::uint32_t>(paramCount_) : 0;
}

bool KClapEffect::paramInfo(std::uint32_t index, clap_param_info_t& info) const {
    if (index >= paramCount()) return false;
    const Scale& s = scales_[index];
    int i = static_cast<int>(index);
    info = clap_param_info_t{};
    info.id = index;
    info.flags = s.flags;
    copyText(info.name, effect()->parameterName(i), CLAP_NAME_SIZE - 1);
    info.min_value = s.min;
    info.max_value = s.max;
    info.default_value = s.defaultValue;
    return true;
}

double KClapEffect::toHost(int index, double normalised) const {
    const Scale& s = scales_[index];
    double v = normalised;
    if (s.kind == KScaleKind::Linear || s.kind == KScaleKind::Choice)
        v = effect()->parameter(index)->toReal(normalised);
    // A step's real value is whole but may come out a hair below it (-99 + 198 * 108/198), and
    // hosts truncate stepped values: 9 cents would come back as 8.
    if (s.flags & CLAP_PARAM_IS_STEPPED) v = std::round(v);
    if (!(v >= s.min)) return std::isnan(v) ? s.defaultValue : s.min;
    return v > s.max ? s.max : v;
}

void KClapEffect::setFromHost(int index, double value) {
    if (!std::isfinite(value)) return;
    const Scale& s = scales_[index];
    // Stepped values are whole numbers; the interface converts by truncation.
    if (s.flags & CLAP_PARAM_IS_STEPPED) value = std::trunc(value);
    if (s.kind == KScaleKind::Linear || s.kind == KScaleKind::Choice)
        effect()->setParamReal(index, value);
    else
        effect()->setParamNormalised(index, clamp01(value));
}

bool KClapEffect::paramValue(clap_id id, double& value) const {
    if (id >= paramCount()) return false;
    int i = static_cast<int>(id);
    value = toHost(i, effect()->parameterValue(i));
    return true;
}

bool KClapEffect::valueToText(clap_id id, double value, char* out, std::uint32_t capacity) const {
    if (id >= paramCount() || !out || capacity == 0 || !std::isfinite(value)) return false;
    int i = static_cast<int>(id);
    const Scale& s = scales_[i];
    const KEffectParameter* p = effect()->parameter(i);
    if (s.flags & CLAP_PARAM_IS_STEPPED) value = std::trunc(value);
    double n = s.kind == KScaleKind::Linear || s.kind == KScaleKind::Choice ? p->fromReal(value)
                                                                            : clamp01(value);
    // Formatted from a cell of our own: the current program stays untouched.
    KCellCopy cell(bitsOf(n));
    p->formatValueWithUnit(out, capacity, cell);
    return true;
}

bool KClapEffect::textToValue(clap_id id, const char* text, double& value) const {
    if (id >= paramCount() || !text) return false;
    int i = static_cast<int>(id);
    const KEffectParameter* p = effect()->parameter(i);
    char bare[KEffectInterface::kDisplayTextBytes * 4];
    withoutUnit(bare, sizeof bare, text, p->unit());
    bool choice = scales_[i].kind == KScaleKind::Choice;
    if (!choice && !readsAsNumber(bare)) return false;
    // A choice leaves the cell as it was when no item has the name: start from a value no item
    // stands for.
    const double none = -1;
    KCellCopy cell(bitsOf(none));
    p->parseInto(cell.cell(), bare);
    double n = p->cellValue(cell);
    if (choice && n == none) return false;
    value = toHost(i, n);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Events

void KClapEffect::remember(int index, double normalised) {
    known_[index].store(normalised, std::memory_order_relaxed);
}

void KClapEffect::rememberAll() {
    if (!known_) return;
    for (int i = 0; i < paramCount_; ++i)
        remember(i, effect()->parameterValue(i));
}

bool KClapEffect::valuesDiffer() const {
    for (int i = 0; i < paramCount_; ++i)
        if (bitsOf(effect()->parameterValue(i)) !=
            bitsOf(known_[i].load(std::memory_order_relaxed)))
            return true;
    return false;
}

bool KClapEffect::pushValue(const clap_output_events_t* out, int index, double normalised) {
    if (!out || !out->try_push) return false;
    clap_event_param_value_t event{};
    event.header.size = sizeof event;
    event.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
    event.header.type = CLAP_EVENT_PARAM_VALUE;
    event.param_id = static_cast<clap_id>(index);
    event.note_id = -1;
    event.port_index = event.channel = event.key = -1;
    event.value = toHost(index, normalised);
    return out->try_push(out, &event.header);
}

bool KClapEffect::pushGesture(const clap_output_events_t* out, int index, bool begin) {
    if (!out || !out->try_push) return false;
    clap_event_param_gesture_t event{};
    event.header.size = sizeof event;
    event.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
    event.header.type = begin ? CLAP_EVENT_PARAM_GESTURE_BEGIN : CLAP_EVENT_PARAM_GESTURE_END;
    event.param_id = static_cast<clap_id>(index);
    return out->try_push(out, &event.header);
}

void KClapEffect::sendEdits(const clap_output_events_t* out) {
    // Cleared before the queue is read: an edit pushed after this asks for a flush of its own.
    flushRequested_.store(false, std::memory_order_seq_cst);
    if (resync_.exchange(false, std::memory_order_acq_rel)) rememberAll();
    KEdit edit;
    while (edits_.peek(edit)) {
        bool sent = edit.kind == KEdit::Value
                        ? pushValue(out, edit.index, edit.value)
                        : pushGesture(out, edit.index, edit.kind == KEdit::Begin);
        // A host list that takes no more keeps the rest for the next call, in order.
        if (!sent) break;
        edits_.pop(edit);
        if (edit.kind == KEdit::Value) remember(edit.index, edit.value);
    }
}

void KClapEffect::sendChanges(const clap_output_events_t* out) {
    for (int i = 0; i < paramCount_; ++i) {
        double v = effect()->parameterValue(i);
        if (bitsOf(v) == bitsOf(known_[i].load(std::memory_order_relaxed))) continue;
        if (pushValue(out, i, v)) remember(i, v);
    }
}

void KClapEffect::applyEvent(const clap_event_header_t& event, Transport& transport) {
    if (event.space_id != CLAP_CORE_EVENT_SPACE_ID) return;
    if (event.type == CLAP_EVENT_PARAM_VALUE && event.size >= sizeof(clap_event_param_value_t)) {
        const auto& e = reinterpret_cast<const clap_event_param_value_t&>(event);
        if (e.param_id >= paramCount()) return;
        int i = static_cast<int>(e.param_id);
        setFromHost(i, e.value);
        // The host knows this one; a coupled parameter it moved is reported after the block.
        remember(i, effect()->parameterValue(i));
    } else if (event.type == CLAP_EVENT_TRANSPORT && event.size >= sizeof(clap_event_transport_t)) {
        const auto& t = reinterpret_cast<const clap_event_transport_t&>(event);
        bool beats = t.flags & CLAP_TRANSPORT_HAS_BEATS_TIMELINE;
        transport.tempoKnown = (t.flags & CLAP_TRANSPORT_HAS_TEMPO) && t.tempo > 0;
        transport.tempo = t.tempo;
        transport.beats = beats ? static_cast<double>(t.song_pos_beats) /
                                      static_cast<double>(CLAP_BEATTIME_FACTOR)
                                : 0;
        transport.playing = beats && (t.flags & CLAP_TRANSPORT_IS_PLAYING);
        transport.frame = event.time;
    }
}

void KClapEffect::flush(const clap_input_events_t* in, const clap_output_events_t* out) {
    if (!effect() || !scales_) return;
    // Active, this is the audio thread's; inactive, the main thread's. Never beside a block.
    if (!active() && !onMainThread()) return;
    KAudioSection section(inAudio_);
    if (!section) return;
    sendEdits(out);
    Transport unused;
    std::uint32_t count = in && in->size ? in->size(in) : 0;
    for (std::uint32_t i = 0; i < count; ++i)
        if (const clap_event_header_t* event = in->get(in, i)) applyEvent(*event, unused);
    sendChanges(out);
}

void KClapEffect::requestFlush() {
    // While processing, the next block carries the events anyway.
    if (processing_.load(std::memory_order_relaxed)) return;
    if (flushRequested_.exchange(true, std::memory_order_seq_cst)) return;
    if (hostParams_ && hostParams_->request_flush)
        hostParams_->request_flush(host_);
    else if (host_ && host_->request_process)
        host_->request_process(host_);
}

void KClapEffect::beginEdit(int index) {
    if (index < 0 || index >= paramCount_) return;
    edits_.push({KEdit::Begin, index, 0});
    requestFlush();
}

void KClapEffect::automate(int index) {
    if (index < 0 || index >= paramCount_) return;
    edits_.push({KEdit::Value, index, effect()->parameterValue(index)});
    requestFlush();
}

void KClapEffect::endEdit(int index) {
    if (index < 0 || index >= paramCount_) return;
    edits_.push({KEdit::End, index, 0});
    requestFlush();
}

const char* KClapEffect::hostVendor() const {
    return host_ ? host_->vendor : nullptr;
}

const char* KClapEffect::hostProduct() const {
    return host_ ? host_->name : nullptr;
}

} // namespace Korvel

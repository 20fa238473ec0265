#include "lv2/OmbrelLv2.h"

#ifdef OMBREL_EDITOR_WINDOW
#include "platform/KEditorWindowFactory.h"
#define OMBREL_WINDOWS &Korvel::createEditorWindow
#else
#define OMBREL_WINDOWS nullptr
#endif

#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/parameters/parameters.h>
#include <lv2/time/time.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace Korvel {
namespace Lv2 {

namespace {

// A number in any of the atom types hosts use for time:Position fields and options.
bool readNumber(std::uint32_t type, std::uint32_t size, const void* body, const LV2_URID* types,
                double& out) {
    if (!body) return false;
    if (type == types[0] && size >= sizeof(float))
        out = *static_cast<const float*>(body);
    else if (type == types[1] && size >= sizeof(double))
        out = *static_cast<const double*>(body);
    else if (type == types[2] && size >= sizeof(std::int32_t))
        out = *static_cast<const std::int32_t*>(body);
    else if (type == types[3] && size >= sizeof(std::int64_t))
        out = static_cast<double>(*static_cast<const std::int64_t*>(body));
    else
        return false;
    return std::isfinite(out);
}

bool readNumber(const LV2_Atom* atom, const LV2_URID* types, double& out) {
    return atom && readNumber(atom->type, atom->size, atom + 1, types, out);
}

} // namespace

OmbrelLv2* OmbrelLv2::instantiate(double sampleRate, const LV2_Feature* const* features) {
    OmbrelLv2* self = new (std::nothrow) OmbrelLv2;
    if (!self) return nullptr;
    if (sampleRate > 0) self->rate_ = sampleRate;
    if (!self->takeFeatures(features) || !self->create(self->rate_, OMBREL_WINDOWS)) {
        delete self;
        return nullptr;
    }
    for (int i = 0; i < kOmbrelParamCount; ++i) {
        self->decibelFloor_[i] = hasDecibelFloor(*self->effect()->parameter(i));
        self->hostValue_[i].store(std::numeric_limits<float>::quiet_NaN());
    }
    self->enableNoteOutput();
    // The block lengths come with the options, which need the effect.
    for (const LV2_Feature* const* f = features; f && *f; ++f)
        if (std::strcmp((*f)->URI, LV2_OPTIONS__options) == 0)
            self->setOptions(static_cast<const LV2_Options_Option*>((*f)->data));
    return self;
}

bool OmbrelLv2::takeFeatures(const LV2_Feature* const* features) {
    const LV2_URID_Map* map = nullptr;
    for (const LV2_Feature* const* f = features; f && *f; ++f)
        if (std::strcmp((*f)->URI, LV2_URID__map) == 0)
            map = static_cast<const LV2_URID_Map*>((*f)->data);
    // Without a map (lv2apply gives none) the effect still plays: no transport, options or state.
    if (!map || !map->map) return true;
    mapped_ = true;
    auto u = [map](const char* uri) { return map->map(map->handle, uri); };
    uris_ = Uris{u(LV2_ATOM__Blank),
                 u(LV2_ATOM__Object),
                 u(LV2_ATOM__Float),
                 u(LV2_ATOM__Double),
                 u(LV2_ATOM__Int),
                 u(LV2_ATOM__Long),
                 u(LV2_ATOM__Chunk),
                 u(LV2_TIME__Position),
                 u(LV2_TIME__beatsPerMinute),
                 u(LV2_TIME__speed),
                 u(LV2_TIME__beat),
                 u(LV2_TIME__bar),
                 u(LV2_TIME__barBeat),
                 u(LV2_TIME__beatsPerBar),
                 u(LV2_TIME__beatUnit),
                 u(LV2_PARAMETERS__sampleRate),
                 u(LV2_BUF_SIZE__maxBlockLength),
                 u(LV2_BUF_SIZE__nominalBlockLength),
                 u(kStateBank),
                 u(kStateProgram),
                 u(LV2_ATOM__Sequence),
                 u(LV2_MIDI__MidiEvent)};
    return true;
}

void OmbrelLv2::connect(std::uint32_t port, void* data) {
    if (port < kAudioInLeft)
        controls_[port] = static_cast<float*>(data);
    else if (port < kTransportIn)
        audio_[port - kAudioInLeft] = static_cast<float*>(data);
    else if (port == kTransportIn)
        transport_ = static_cast<const LV2_Atom_Sequence*>(data);
    else if (port == kNotesOut)
        notesOut_ = static_cast<LV2_Atom_Sequence*>(data);
}

void OmbrelLv2::activate() {
    // effMainsChanged on: the engine starts from silence.
    effect()->resume();
}

void OmbrelLv2::deactivate() {
    effect()->suspend();
}

float OmbrelLv2::portValue(int index) const {
    if (index < 0 || index >= kOmbrelParamCount) return 0;
    return static_cast<float>(portValueOf(effect()->parameterReal(index), decibelFloor_[index]));
}

// A port the host changed reaches the effect, unless it holds the float of the effect's own
// value: the effect keeps doubles, and a state, the editor or Random set values that a float port
// can only approximate. A port the host left as it was never overwrites what the effect holds.
void OmbrelLv2::applyControlPorts() {
    for (int i = 0; i < kOmbrelParamCount; ++i) {
        if (!controls_[i]) continue;
        const float value = *controls_[i];
        const float seen = hostValue_[i].load(std::memory_order_relaxed);
        if (value == seen || !std::isfinite(value)) continue;
        if (value != portValue(i)) applyPortValue(*effect(), i, decibelFloor_[i], value);
        // After the effect took it, so the UI never sees the new port beside the old value.
        hostValue_[i].store(value, std::memory_order_relaxed);
    }
}

void OmbrelLv2::readPosition(const LV2_Atom_Object* position, std::int64_t frame) {
    const LV2_Atom *bpm = nullptr, *speed = nullptr, *beat = nullptr, *bar = nullptr,
                   *barBeat = nullptr, *beatsPerBar = nullptr, *beatUnit = nullptr;
    lv2_atom_object_get(position, uris_.timeBpm, &bpm, uris_.timeSpeed, &speed, uris_.timeBeat,
                        &beat, uris_.timeBar, &bar, uris_.timeBarBeat, &barBeat,
                        uris_.timeBeatsPerBar, &beatsPerBar, uris_.timeBeatUnit, &beatUnit, 0);
    const LV2_URID types[] = {uris_.atomFloat, uris_.atomDouble, uris_.atomInt, uris_.atomLong};
    double x = 0;
    if (readNumber(beatUnit, types, x) && x > 0) beatUnit_ = x;
    if (readNumber(beatsPerBar, types, x) && x > 0) beatsPerBar_ = x;
    if (readNumber(speed, types, x)) speed_ = x;
    // The effect counts in quarter notes, as VST hosts do.
    const double quarter = 4 / beatUnit_;
    if (readNumber(bpm, types, x) && x > 0) tempo_ = x * quarter;
    double beats = 0;
    bool known = readNumber(beat, types, beats);
    if (!known && readNumber(barBeat, types, x)) {
        double bars = 0;
        beats = (readNumber(bar, types, bars) ? bars * beatsPerBar_ : 0) + x;
        known = true;
    }
    if (!known) return;
    // The effect reads one position per block: an event inside the block is taken back to its
    // start at the speed it states.
    quarters_ = beats * quarter - static_cast<double>(frame) / rate_ * tempo_ / 60 * speed_;
    positionKnown_ = true;
}

void OmbrelLv2::readTransport() {
    if (!mapped_ || !transport_ || transport_->atom.size < sizeof(LV2_Atom_Sequence_Body)) return;
    LV2_ATOM_SEQUENCE_FOREACH(transport_, event) {
        const LV2_Atom& body = event->body;
        if (body.type != uris_.atomObject && body.type != uris_.atomBlank) continue;
        const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&body);
        if (object->body.otype == uris_.timePosition) readPosition(object, event->time.frames);
    }
}

void OmbrelLv2::writeNotes() {
    // A host without a URID map cannot read MIDI events, and may connect the port to anything
    // (lv2apply gives it a float): then it stays untouched.
    if (!notesOut_ || !mapped_) return;
    // The host gives the buffer's capacity in the atom's size; the plug-in leaves what it wrote.
    const std::uint32_t capacity = notesOut_->atom.size;
    if (capacity < sizeof(LV2_Atom_Sequence_Body)) return;
    notesOut_->atom.type = uris_.atomSequence;
    notesOut_->atom.size = sizeof(LV2_Atom_Sequence_Body);
    notesOut_->body.unit = 0;
    notesOut_->body.pad = 0;
    const NoteEvents& notes = noteEvents();
    auto* base = reinterpret_cast<std::uint8_t*>(&notesOut_->body);
    for (int i = 0; i < notes.size(); ++i) {
        NoteMidi midi = noteMidi(notes[i], bend_);
        for (int k = 0; k < midi.count; ++k) {
            const std::uint32_t used = notesOut_->atom.size;
            const std::uint32_t step = lv2_atom_pad_size(sizeof(LV2_Atom_Event) + 3);
            if (capacity - used < step) return;
            auto* event = reinterpret_cast<LV2_Atom_Event*>(base + used);
            event->time.frames = notes[i].frame;
            event->body.size = 3;
            event->body.type = uris_.midiEvent;
            std::memcpy(event + 1, midi.bytes[k], 3);
            notesOut_->atom.size = used + step;
        }
    }
}

void OmbrelLv2::run(std::uint32_t frames) {
    applyControlPorts();
    readTransport();
    beginNoteBlock();
    struct Notes {
        OmbrelLv2* self;
        ~Notes() { self->writeNotes(); }
    } notes{this};
    if (frames == 0) return;
    const int count = static_cast<int>(frames);
    if (!audio_[0] || !audio_[2]) {
        if (audio_[2]) std::memset(audio_[2], 0, frames * sizeof(float));
        if (audio_[3]) std::memset(audio_[3], 0, frames * sizeof(float));
        return;
    }
    // Mono and stereo as the host connects the right channels; the effect routes them as it
    // does for the VST host's speaker arrangements.
    float* inputs[2] = {audio_[0], audio_[1]};
    float* outputs[2] = {audio_[2], audio_[3]};
    const int inCount = audio_[1] ? 2 : 1;
    const int outCount = audio_[3] ? 2 : 1;
    const bool playing = speed_ != 0;
    if (positionKnown_)
        setTransport(quarters_, tempo_, playing);
    else
        clearTransport();
    effect()->processFloat(inputs, inCount, outputs, outCount, count);
    if (positionKnown_ && playing) quarters_ += count / rate_ * tempo_ / 60 * speed_;
}

LV2_State_Status OmbrelLv2::save(LV2_State_Store_Function store, LV2_State_Handle handle) {
    if (!mapped_) return LV2_STATE_ERR_NO_FEATURE;
    void* bank = nullptr;
    const int size = effect()->getChunk(&bank, false);
    if (!bank || size <= 0) return LV2_STATE_ERR_UNKNOWN;
    const std::int32_t program = effect()->currentProgram();
    const std::uint32_t flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    LV2_State_Status status = store(handle, uris_.stateBank, bank, static_cast<std::size_t>(size),
                                    uris_.atomChunk, flags);
    if (status != LV2_STATE_SUCCESS) return status;
    return store(handle, uris_.stateProgram, &program, sizeof program, uris_.atomInt, flags);
}

LV2_State_Status OmbrelLv2::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
    std::size_t bankSize = 0, programSize = 0;
    std::uint32_t bankType = 0, programType = 0, flags = 0;
    const void* bank = retrieve(handle, uris_.stateBank, &bankSize, &bankType, &flags);
    if (!bank) return LV2_STATE_ERR_NO_PROPERTY;
    if (bankType != uris_.atomChunk || bankSize > static_cast<std::size_t>(INT32_MAX))
        return LV2_STATE_ERR_BAD_TYPE;
    std::int32_t program = effect()->currentProgram();
    const void* stored = retrieve(handle, uris_.stateProgram, &programSize, &programType, &flags);
    if (stored && programType == uris_.atomInt && programSize == sizeof program)
        std::memcpy(&program, stored, sizeof program);
    // A bank shorter than ours comes from another plug-in or a damaged session: the effect
    // refuses it and keeps what it has.
    if (effect()->setChunk(const_cast<void*>(bank), static_cast<VstInt32>(bankSize), false) == 0)
        return LV2_STATE_ERR_BAD_TYPE;
    effect()->setProgram(program);
    return LV2_STATE_SUCCESS;
}

std::uint32_t OmbrelLv2::takeOption(const LV2_Options_Option& option) {
    if (!mapped_ || option.context != LV2_OPTIONS_INSTANCE || !option.value) return 1;
    if (option.key == uris_.sampleRate) {
        const LV2_URID types[] = {uris_.atomFloat, uris_.atomDouble, uris_.atomInt, uris_.atomLong};
        double rate = 0;
        if (!readNumber(option.type, option.size, option.value, types, rate) || rate <= 0) return 1;
        rate_ = rate;
        setSampleRate(rate);
        return 0;
    }
    if (option.key == uris_.maxBlock || option.key == uris_.nominalBlock) {
        if (option.type != uris_.atomInt || option.size != sizeof(std::int32_t)) return 1;
        std::int32_t length = 0;
        std::memcpy(&length, option.value, sizeof length);
        // The scratch only grows, so the nominal length never shrinks what the maximum reserved.
        if (length > 0) effect()->setBlockSize(length);
        return 0;
    }
    return 1;
}

std::uint32_t OmbrelLv2::setOptions(const LV2_Options_Option* options) {
    std::uint32_t refused = 0;
    for (const LV2_Options_Option* o = options; o && o->key; ++o)
        refused += takeOption(*o);
    return refused == 0 ? LV2_OPTIONS_SUCCESS : LV2_OPTIONS_ERR_BAD_KEY;
}

std::uint32_t OmbrelLv2::getOptions(LV2_Options_Option* options) {
    // The host keeps the options it set; the plug-in answers none of its own.
    return options && options->key ? LV2_OPTIONS_ERR_BAD_KEY : LV2_OPTIONS_SUCCESS;
}

void OmbrelLv2::beginEdit(int index) {
    if (UiLink* link = ui()) link->beginEdit(index);
}

void OmbrelLv2::automate(int index) {
    if (UiLink* link = ui()) link->automate(index);
}

void OmbrelLv2::endEdit(int index) {
    if (UiLink* link = ui()) link->endEdit(index);
}

} // namespace Lv2
} // namespace Korvel

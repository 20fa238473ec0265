#include "host/KEffect.h"

#include "core/KNamedFiles.h"
#include "core/KText.h"
#include "dsp/ChannelRouting.h"
#include "editor/KEditor.h"
#include "editor/KEditorSkinBuilder.h"
#include "editor/KWindowInterface.h"
#include "host/KHostEditor.h"
#include "host/KTextVariables.h"
#include "params/KParameterLookup.h"
#include "state/KPresetFile.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

namespace Korvel {

namespace {

// Channel-configuration capability words and their (inputs, outputs).
struct ChannelWord {
    const char* word;
    int inputs;
    int outputs;
};
const ChannelWord kChannelWords[] = {
    {"1in1out", 1, 1}, {"1in2out", 1, 2}, {"2in1out", 2, 1}, {"2in2out", 2, 2}, {"2in4out", 2, 4},
    {"4in2out", 4, 2}, {"4in4out", 4, 4}, {"4in8out", 4, 8}, {"8in4out", 8, 4}, {"8in8out", 8, 8}};

// Texts that cross the host interface, in characters before the terminator. Hosts pass their
// buffers without a size, so these bounds are what hosts and this effect have always agreed on.
// Display texts go out at up to 32, beyond the published 8 that names and units keep; a longer
// one ends in "..." as its 30th to 32nd characters.
constexpr int kDisplayChars = 32;
constexpr int kEllipsisAt = kDisplayChars - 3;
static_assert(KEffectInterface::kDisplayTextBytes == kDisplayChars + 1, "the same display bound");
static_assert(KProgramBank::kMaxProgramName == kVstMaxProgNameLen, "program names");
static_assert(KEffectParameter::kMaxUnit == kVstMaxParamStrLen, "units");

void copyIdentity(char* out, const char* text, std::size_t maxChars) {
    copyText(out, text ? text : "", maxChars);
}

} // namespace

KEffect::KEffect(audioMasterCallback host, VstInt32 programs, VstInt32 params, VstInt32 numInputs,
                 VstInt32 numOutputs)
    : AudioEffectX(host, programs, params), inputArrangement_(new KSpeakerArrangement(numInputs)),
      outputArrangement_(new KSpeakerArrangement(numOutputs)), inputChannels_(numInputs),
      outputChannels_(numOutputs), floatBridge_(blockSize) {
    cEffect.numInputs = numInputs;
    cEffect.numOutputs = numOutputs;
}

KEffect::~KEffect() = default;

void KEffect::buildEditor(const char* skinFileName, KWindowFactory windows) {
    // A failed allocation throws out of here, and creation fails as a whole: an editor missing some
    // of its controls would be worse than none. The builder frees whatever it had made.
    std::unique_ptr<KEditor> core(KEditorSkinBuilder(this).build(skinFileName));
    if (!core) return;
    std::unique_ptr<KWindowInterface> window(windows ? windows(*core) : nullptr);
    KHostEditor* built = new KHostEditor(this, this, core.get(), window.get());
    core.release();
    window.release();
    hostEditor_ = built;
    setEditor(built);
}

void KEffect::releaseEditor() {
    if (!hostEditor_) return;
    // Still the effect's editor while it closes: the change a typed value makes ends in a
    // refresh request to it.
    if (hostEditor_->isOpen() || (hostEditor_->window() && hostEditor_->window()->isLive()))
        hostEditor_->close();
    hostEditor_ = nullptr;
    setEditor(nullptr);
}

void KEffect::requestEditorRefresh() {
    if (hostEditor_ && editorIsOpen()) hostEditor_->refreshRequest();
}

// ---------------------------------------------------------------------------------------------
// Lifecycle and processing

void KEffect::close() {
    releaseEditor();
}

void KEffect::suspend() {
    resetEngine();
}

void KEffect::resume() {
    resetEngine();
    AudioEffectX::resume();
}

void KEffect::setBlockSize(VstInt32 size) {
    AudioEffect::setBlockSize(size);
    // Reserved now, on the host's set-up thread, so the audio thread never allocates.
    floatBridge_.reserve(size);
}

void KEffect::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    processFloat(inputs, inputChannels(), outputs, outputChannels(), frames);
}

void KEffect::processDoubleReplacing(double** inputs, double** outputs, VstInt32 frames) {
    if (!inputs || !outputs || frames <= 0) return;
    processDouble(inputs, inputChannels(), outputs, outputChannels(), frames);
}

void KEffect::processFloat(float** inputs, int inputCount, float** outputs, int outputCount,
                           int frames) {
    floatBridge_.run(inputs, inputCount, outputs, outputCount, frames,
                     [this](double** in, int ins, double** out, int outs, int n) {
                         processDouble(in, ins, out, outs, n);
                     });
}

void KEffect::mapChannels(bool twoInputs, bool twoOutputs, double left, double right, double* out1,
                          double* out2) {
    routeFrame(twoInputs, twoOutputs, left, right, out1, out2);
}

// ---------------------------------------------------------------------------------------------
// Parameters

void KEffect::parameterStored(int index) {
    paramChanged(index);
    applyParameters();
}

// The program is read once, so the value lands in the program it was read from even when another
// thread switches programs meanwhile.
void KEffect::setParamNormalised(int index, double n) {
    KEffectParameter* p = parameter(index);
    int program = currentProgram();
    KCellCopy cell = bank_.load(program, index);
    if (!p || !cell.valid()) return;
    // Clamped, so the display, getParameter and the engine read the same bounded value.
    p->storeValue(cell.cell(), std::isfinite(n) ? clamp01(n) : p->getValue());
    bank_.store(program, index, cell);
    parameterStored(index);
}

void KEffect::setParamReal(int index, double r) {
    KEffectParameter* p = parameter(index);
    int program = currentProgram();
    KCellCopy cell = bank_.load(program, index);
    if (!p || !cell.valid()) return;
    p->storeReal(cell.cell(), r);
    bank_.store(program, index, cell);
    parameterStored(index);
}

bool KEffect::parseParameterText(int index, const char* text) {
    KEffectParameter* p = parameter(index);
    int program = currentProgram();
    KCellCopy cell = bank_.load(program, index);
    if (!p || !cell.valid() || !p->acceptsText()) return false;
    if (text) {
        // Text that names nothing leaves the copy as it was; storing it back anyway would undo
        // a change another thread made meanwhile.
        KCellCopy before = cell;
        p->parseInto(cell.cell(), text);
        if (cell.bits() != before.bits()) bank_.store(program, index, cell);
        parameterStored(index);
    }
    return true;
}

double KEffect::parameterValue(int index) const {
    KEffectParameter* p = parameter(index);
    KCellCopy cell = currentCell(index);
    return p && cell.valid() ? p->cellValue(cell) : 0.0;
}

double KEffect::parameterQuantised(int index) const {
    KEffectParameter* p = parameter(index);
    KCellCopy cell = currentCell(index);
    return p && cell.valid() ? p->cellQuantised(cell) : 0.0;
}

double KEffect::parameterReal(int index) const {
    KEffectParameter* p = parameter(index);
    KCellCopy cell = currentCell(index);
    return p && cell.valid() ? p->cellReal(cell) : 0.0;
}

double KEffect::parameterDefault(int index) const {
    KEffectParameter* p = parameter(index);
    return p ? p->getValue() : 0.0;
}

void KEffect::parameterDisplay(int index, char* out, std::size_t size) const {
    if (!out || size == 0) return;
    char text[KProgramBank::kDisplayBytes];
    bank_.formatDisplay(currentProgram(), index, text);
    copyText(out, text, size - 1);
}

void KEffect::parameterDisplayWithUnit(int index, char* out, std::size_t size) const {
    if (!out || size == 0) return;
    char text[KProgramBank::kUnitDisplayBytes];
    bank_.formatUnitDisplay(currentProgram(), index, text);
    copyText(out, text, size - 1);
}

const char* KEffect::parameterName(int index) const {
    KEffectParameter* p = parameter(index);
    return p ? p->getName() : "";
}

const char* KEffect::parameterUnit(int index) const {
    KEffectParameter* p = parameter(index);
    return p ? p->unit() : "";
}

bool KEffect::parameterAcceptsText(int index) const {
    KEffectParameter* p = parameter(index);
    return p && p->acceptsText();
}

long KEffect::notifyBeginEdit(int index) {
    return beginEdit(index) ? 1 : 0;
}

long KEffect::notifyEndEdit(int index) {
    return endEdit(index) ? 1 : 0;
}

long KEffect::notifyAutomate(int index) {
    if (!parameter(index) || !audioMaster) return 0;
    return static_cast<long>(callHost(audioMasterAutomate, index, 0, nullptr, getParameter(index)));
}

void KEffect::setParameter(VstInt32 index, float value) {
    setParamNormalised(index, value);
}

float KEffect::getParameter(VstInt32 index) {
    return static_cast<float>(parameterValue(index));
}

void KEffect::getParameterName(VstInt32 index, char* text) {
    copyText(text, parameterName(index), kVstMaxParamStrLen);
}

void KEffect::getParameterLabel(VstInt32 index, char* text) {
    copyText(text, parameterUnit(index), kVstMaxParamStrLen);
}

void KEffect::getParameterDisplay(VstInt32 index, char* text) {
    if (!text) return;
    char cached[KProgramBank::kDisplayBytes];
    bank_.formatDisplay(currentProgram(), index, cached);
    if (std::strlen(cached) >= kDisplayChars) {
        copyText(text, cached, kEllipsisAt);
        std::memcpy(text + kEllipsisAt, "...", 4);
    } else {
        copyText(text, cached, kDisplayChars);
    }
}

bool KEffect::string2parameter(VstInt32 index, char* text) {
    return parseParameterText(index, text);
}

int KEffect::parameterIndex(const char* name) const {
    return findParameterIndex(parameters_, name);
}

int KEffect::commandId(const char* name) const {
    return findCommandId(commands_, name);
}

void KEffect::addDisplaySource(const char* name, const KDoubleSource* value) {
    displaySources_.add(name, KSourceType::Double, value);
}

void KEffect::addDisplaySource(const char* name, const KIntSource* value) {
    displaySources_.add(name, KSourceType::Int, value);
}

void KEffect::addDisplaySource(const char* name, const KHistory* value) {
    displaySources_.add(name, KSourceType::History, value);
}

const void* KEffect::displaySource(const char* name, KSourceType type) const {
    return displaySources_.find(name, type);
}

// ---------------------------------------------------------------------------------------------
// Programs and chunks

void KEffect::setProgram(VstInt32 program) {
    if (bank_.validProgram(program)) curProgram.store(program, std::memory_order_relaxed);
    applyParameters();
}

void KEffect::setProgramName(char* name) {
    bank_.setProgramName(currentProgram(), name);
}

void KEffect::getProgramName(char* name) {
    bank_.programName(currentProgram(), name);
}

VstInt32 KEffect::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
    bank_.programName(index, text);
    return 1;
}

bool KEffect::copyProgram(int destination) {
    return bank_.copyProgram(currentProgram(), destination);
}

void KEffect::loadPresets(const char* fileName) {
    KFileData file;
    if (loadNamedFile(fileName, file)) applyPresetText(file.bytes, file.size, bank_, parameters_);
}

// The bytes are laid out at this call in a buffer the bank owns; hosts copy them before their
// next call, and a program chunk lies at its program's place in the bank's bytes.
VstInt32 KEffect::getChunk(void** data, bool isPreset) {
    if (!data) return 0;
    if (isPreset) {
        *data = bank_.saveProgram(currentProgram());
        return *data ? bank_.recordSize() : 0;
    }
    *data = bank_.saveBank();
    return bank_.bankSize();
}

// A chunk shorter than the record or bank it stands for is refused (answer 0, nothing changes):
// it comes from another plug-in or a damaged project, and taking part of it would misplace
// every value after the cut. A longer one is taken up to the expected size.
VstInt32 KEffect::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    int expected = isPreset ? bank_.recordSize() : bank_.bankSize();
    if (!data || byteSize < expected) return 0;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    if (isPreset) {
        int program = currentProgram();
        if (!bank_.validProgram(program)) return 0;
        bank_.loadProgram(program, bytes);
    } else {
        bank_.loadBank(bytes);
    }
    applyParameters();
    return expected;
}

// ---------------------------------------------------------------------------------------------
// Speaker arrangements, bypass, identity, capabilities

bool KEffect::setSpeakerArrangement(VstSpeakerArrangement* input, VstSpeakerArrangement* output) {
    if (!input || !output || !supportsChannels(input->numChannels, output->numChannels))
        return false;
    // Both copies first: an allocation that fails then changes nothing.
    std::unique_ptr<KSpeakerArrangement> in(new KSpeakerArrangement(0));
    std::unique_ptr<KSpeakerArrangement> out(new KSpeakerArrangement(0));
    in->copyFrom(*input);
    out->copyFrom(*output);
    inputArrangement_ = std::move(in);
    outputArrangement_ = std::move(out);
    inputChannels_.store(inputArrangement_->channels(), std::memory_order_relaxed);
    outputChannels_.store(outputArrangement_->channels(), std::memory_order_relaxed);
    return true;
}

bool KEffect::getSpeakerArrangement(VstSpeakerArrangement** input, VstSpeakerArrangement** output) {
    *input = inputArrangement_->get();
    *output = outputArrangement_->get();
    return true;
}

bool KEffect::setBypass(bool onOff) {
    char word[] = "bypass";
    if (canDo(word) != 1) return false;
    bypass_.store(onOff, std::memory_order_relaxed);
    return true;
}

bool KEffect::getEffectName(char* name) {
    copyIdentity(name, effectName(), kVstMaxEffectNameLen);
    return effectName() != nullptr;
}

bool KEffect::getVendorString(char* text) {
    copyIdentity(text, vendorName(), kVstMaxVendorStrLen);
    return vendorName() != nullptr;
}

bool KEffect::getProductString(char* text) {
    copyIdentity(text, productName(), kVstMaxProductStrLen);
    return productName() != nullptr;
}

VstInt32 KEffect::canDo(char* text) {
    if (!text) return 0;
    for (const ChannelWord& w : kChannelWords)
        if (std::strcmp(text, w.word) == 0) return supportsChannels(w.inputs, w.outputs) ? 1 : -1;
    return 0;
}

AEffect* KEffect::getAeffect() {
    cEffect.version = getVendorVersion();
    return &cEffect;
}

// ---------------------------------------------------------------------------------------------
// Text variables

void KEffect::lookupVariable(char* out, std::size_t size, const char* name) {
    KTextVariables(*this).lookup(out, size, name);
}

void KEffect::expandText(char* out, std::size_t size, const char* text) {
    KTextVariables::expand(*this, out, size, text);
}

} // namespace Korvel

#include "state/KProgramBank.h"

#include "core/KText.h"

#include <cmath>
#include <cstring>

namespace Korvel {

static_assert(std::atomic<std::uint64_t>::is_always_lock_free,
              "the audio thread reads and writes values without a lock");

void KProgramBank::create(int programCount, const KList<KEffectParameter>* parameters) {
    programCount_ = programCount > 0 ? programCount : 0;
    parameters_ = parameters;
    parameterCount_ = parameters ? parameters->size() : 0;
    // Every parameter's valueSize is the 8 bytes of a double.
    recordSize_ = kNameField + parameterCount_ * static_cast<int>(KCellCopy::kBytes);
    bankSize_ = recordSize_ * programCount_;

    std::size_t cells = entry(programCount_, 0);
    values_.reset(new std::atomic<std::uint64_t>[cells + 1]());
    names_.reset(new unsigned char[static_cast<std::size_t>(programCount_) * kNameField + 1]());
    chunk_.reset(new unsigned char[static_cast<std::size_t>(bankSize_) + 1]());

    for (int p = 0; p < programCount_; ++p) {
        copyText(reinterpret_cast<char*>(name(p)), "Defaults", kMaxProgramName);
        for (int j = 0; j < parameterCount_; ++j) {
            KCellCopy cell(0);
            parameters->get(j)->storeOwnValue(cell.cell());
            store(p, j, cell);
        }
    }
}

// Relaxed order suffices: each value stands alone, and whoever needs later values to follow
// (the engine's settings) orders them with a flag of its own.
KCellCopy KProgramBank::load(int program, int parameter) const {
    if (!validProgram(program) || !validParameter(parameter)) return KCellCopy();
    return KCellCopy(values_[entry(program, parameter)].load(std::memory_order_relaxed));
}

void KProgramBank::store(int program, int parameter, const KCellCopy& cell) {
    if (!validProgram(program) || !validParameter(parameter) || !cell.valid()) return;
    values_[entry(program, parameter)].store(cell.bits(), std::memory_order_relaxed);
}

void KProgramBank::formatDisplay(int program, int parameter, char* text) const {
    if (!text) return;
    KCellCopy cell = load(program, parameter);
    if (!cell.valid()) {
        text[0] = 0;
        return;
    }
    parameters_->get(parameter)->formatValue(text, kDisplayBytes, cell);
}

void KProgramBank::formatUnitDisplay(int program, int parameter, char* text) const {
    if (!text) return;
    KCellCopy cell = load(program, parameter);
    if (!cell.valid()) {
        text[0] = 0;
        return;
    }
    parameters_->get(parameter)->formatValueWithUnit(text, kDisplayBytes, cell);
}

const char* KProgramBank::display(int program, int parameter) const {
    formatDisplay(program, parameter, displayText_);
    return displayText_;
}

const char* KProgramBank::unitDisplay(int program, int parameter) const {
    formatUnitDisplay(program, parameter, unitDisplayText_);
    return unitDisplayText_;
}

void KProgramBank::programName(int program, char* text) const {
    if (!text) return;
    if (!validProgram(program)) {
        text[0] = 0;
        return;
    }
    // Names from a chunk need not be terminated: read at most 24 characters.
    const unsigned char* field = names_.get() + static_cast<std::size_t>(program) * kNameField;
    std::size_t n = 0;
    while (n < kMaxProgramName && field[n]) {
        text[n] = static_cast<char>(field[n]);
        ++n;
    }
    text[n] = 0;
}

void KProgramBank::setProgramName(int program, const char* text) {
    if (!validProgram(program) || !text || !text[0]) return;
    copyText(reinterpret_cast<char*>(name(program)), text, kMaxProgramName);
}

bool KProgramBank::copyProgram(int from, int to) {
    if (!validProgram(from) || !validProgram(to)) return false;
    if (from == to) return true;
    std::memcpy(name(to), name(from), kNameField);
    for (int j = 0; j < parameterCount_; ++j)
        store(to, j, load(from, j));
    return true;
}

void KProgramBank::writeRecord(int program, unsigned char* record) const {
    std::memcpy(record, names_.get() + static_cast<std::size_t>(program) * kNameField, kNameField);
    for (int j = 0; j < parameterCount_; ++j) {
        KCellCopy cell = load(program, j);
        std::memcpy(record + kNameField + j * KCellCopy::kBytes, cell.cell(), KCellCopy::kBytes);
    }
}

void KProgramBank::readRecord(int program, const unsigned char* record) {
    std::memcpy(name(program), record, kNameField);
    for (int j = 0; j < parameterCount_; ++j) {
        std::uint64_t bits;
        std::memcpy(&bits, record + kNameField + j * KCellCopy::kBytes, KCellCopy::kBytes);
        KCellCopy cell(bits);
        const KEffectParameter* p = parameters_->get(j);
        double n = p->cellValue(cell);
        if (!std::isfinite(n))
            p->storeOwnValue(cell.cell());
        else if (n < 0 || n > 1)
            p->storeValue(cell.cell(), clamp01(n));
        store(program, j, cell);
    }
}

unsigned char* KProgramBank::saveProgram(int program) {
    if (!validProgram(program)) return nullptr;
    unsigned char* record = chunk_.get() + static_cast<std::size_t>(program) * recordSize_;
    writeRecord(program, record);
    return record;
}

unsigned char* KProgramBank::saveBank() {
    for (int p = 0; p < programCount_; ++p)
        writeRecord(p, chunk_.get() + static_cast<std::size_t>(p) * recordSize_);
    return chunk_.get();
}

void KProgramBank::loadProgram(int program, const unsigned char* record) {
    if (!validProgram(program) || !record) return;
    readRecord(program, record);
}

void KProgramBank::loadBank(const unsigned char* bytes) {
    if (!bytes) return;
    for (int p = 0; p < programCount_; ++p)
        readRecord(p, bytes + static_cast<std::size_t>(p) * recordSize_);
}

} // namespace Korvel

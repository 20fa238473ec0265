#include "state/KProgramBank.h"

#include "core/KText.h"

#include <cstring>

namespace Korvel {

void KProgramBank::create(int programCount, const KList<KEffectParameter>* parameters) {
    programCount_ = programCount > 0 ? programCount : 0;
    parameters_ = parameters;
    parameterCount_ = parameters ? parameters->size() : 0;
    cellCount_ = programCount_ * parameterCount_;

    cellOffsets_.reset(new int[static_cast<std::size_t>(parameterCount_) + 1]);
    recordSize_ = kNameField;
    for (int j = 0; j < parameterCount_; ++j) {
        cellOffsets_[j] = recordSize_;
        recordSize_ += parameters->get(j)->valueSize();
    }
    bankSize_ = recordSize_ * programCount_;
    bank_.reset(new unsigned char[static_cast<std::size_t>(bankSize_) + 1]());
    displayCache_.reset(new char[static_cast<std::size_t>(cellCount_) * kDisplayBytes + 1]());
    unitDisplayCache_.reset(
        new char[static_cast<std::size_t>(cellCount_) * kUnitDisplayBytes + 1]());

    for (int p = 0; p < programCount_; ++p) {
        copyText(reinterpret_cast<char*>(record(p)), "Defaults", kMaxProgramName);
        for (int j = 0; j < parameterCount_; ++j) {
            parameters->get(j)->storeOwnValue(cell(p, j));
            refresh(p, j);
        }
    }
}

void KProgramBank::refresh(int program, int parameter) {
    if (!validProgram(program) || !validParameter(parameter)) return;
    std::size_t entry = static_cast<std::size_t>(program) * parameterCount_ + parameter;
    const KEffectParameter* p = parameters_->get(parameter);
    p->formatValue(&displayCache_[entry * kDisplayBytes], kDisplayBytes, cell(program, parameter));
    p->formatValueWithUnit(&unitDisplayCache_[entry * kUnitDisplayBytes], kDisplayBytes,
                           cell(program, parameter));
}

void KProgramBank::refreshAll() {
    for (int p = 0; p < programCount_; ++p)
        for (int j = 0; j < parameterCount_; ++j)
            refresh(p, j);
}

unsigned char* KProgramBank::record(int program) {
    if (!validProgram(program)) return nullptr;
    return bank_.get() + static_cast<std::size_t>(program) * recordSize_;
}

KCell KProgramBank::cell(int program, int parameter) {
    if (!validProgram(program) || !validParameter(parameter)) return nullptr;
    return record(program) + cellOffsets_[parameter];
}

KConstCell KProgramBank::cell(int program, int parameter) const {
    return const_cast<KProgramBank*>(this)->cell(program, parameter);
}

const char* KProgramBank::display(int program, int parameter) const {
    if (!validProgram(program) || !validParameter(parameter)) return "";
    return &displayCache_[(static_cast<std::size_t>(program) * parameterCount_ + parameter) *
                          kDisplayBytes];
}

const char* KProgramBank::unitDisplay(int program, int parameter) const {
    if (!validProgram(program) || !validParameter(parameter)) return "";
    return &unitDisplayCache_[(static_cast<std::size_t>(program) * parameterCount_ + parameter) *
                              kUnitDisplayBytes];
}

void KProgramBank::programName(int program, char* text) const {
    if (!text) return;
    if (!validProgram(program)) {
        text[0] = 0;
        return;
    }
    // Names from a chunk need not be terminated: read at most 24 characters.
    const char* name = reinterpret_cast<const char*>(bank_.get()) +
                       static_cast<std::size_t>(program) * recordSize_;
    std::size_t n = 0;
    while (n < kMaxProgramName && name[n]) {
        text[n] = name[n];
        ++n;
    }
    text[n] = 0;
}

void KProgramBank::setProgramName(int program, const char* name) {
    if (!validProgram(program) || !name || !name[0]) return;
    copyText(reinterpret_cast<char*>(record(program)), name, kMaxProgramName);
}

} // namespace Korvel

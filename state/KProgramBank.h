// All programs in one contiguous byte array whose layout is also the state chunk: per program a
// 25-byte name field followed by one 8-byte value cell per parameter. Two caches hold every
// cell's display text, without and with unit, so hosts and the editor never format on reads.
#pragma once

#include "core/KList.h"
#include "params/KEffectParameter.h"

#include <cstddef>
#include <memory>

namespace Korvel {

class KProgramBank {
public:
    static constexpr int kNameField = 25;
    static constexpr int kMaxProgramName = 24;
    static constexpr int kDisplayBytes = 276;
    static constexpr int kUnitDisplayBytes = 285;

    KProgramBank() = default;
    KProgramBank(const KProgramBank&) = delete;
    KProgramBank& operator=(const KProgramBank&) = delete;

    // Lays out programCount records for the parameters, each named "Defaults" and holding every
    // parameter's default, with both caches filled.
    void create(int programCount, const KList<KEffectParameter>* parameters);

    void refresh(int program, int parameter);
    void refreshAll();

    bool validProgram(int program) const { return program >= 0 && program < programCount_; }
    bool validParameter(int parameter) const {
        return parameter >= 0 && parameter < parameterCount_;
    }

    // Null outside the bank.
    KCell cell(int program, int parameter);
    KConstCell cell(int program, int parameter) const;
    unsigned char* record(int program);
    const char* display(int program, int parameter) const;
    const char* unitDisplay(int program, int parameter) const;

    // Name of program, at most 24 characters and a terminator, into text; "" outside the bank.
    void programName(int program, char* text) const;
    // Empty or missing names change nothing; longer ones are cut to 24 characters.
    void setProgramName(int program, const char* name);

    unsigned char* bytes() { return bank_.get(); }
    int programCount() const { return programCount_; }
    int parameterCount() const { return parameterCount_; }
    int recordSize() const { return recordSize_; }
    int bankSize() const { return bankSize_; }

private:
    int programCount_ = 0;
    const KList<KEffectParameter>* parameters_ = nullptr;
    int parameterCount_ = 0;
    int cellCount_ = 0;
    std::unique_ptr<unsigned char[]> bank_;
    int recordSize_ = 0;
    int bankSize_ = 0;
    std::unique_ptr<int[]> cellOffsets_;
    std::unique_ptr<char[]> displayCache_;
    std::unique_ptr<char[]> unitDisplayCache_;
};

} // namespace Korvel

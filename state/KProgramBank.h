// All programs of an effect: per program a 25-byte name field and one value per parameter. The
// state chunk lays them out as records (name, then an 8-byte little-endian double per parameter).
//
// Why it is not stored as those bytes: hosts write values from their audio thread (automation)
// while their user-interface thread reads texts, switches programs and saves or restores chunks.
// The chunk's cells are unaligned, so they cannot be atomics, and a lock is not allowed on the
// audio thread. The live truth is therefore an aligned array of std::atomic<uint64_t>, one per
// program and parameter, holding the double's bits: each value is read and written whole, without
// lock or allocation, and the bits round-trip exactly. The chunk bytes exist only when a host
// asks: saveProgram/saveBank lay them out in a buffer the bank owns, loadProgram/loadBank parse
// them back, byte for byte as the record layout has always been.
//
// Display texts are not cached: the reader formats them from the value it has just read. A cache
// refreshed by the writer would be written on the audio thread while another thread copies it
// (a torn text), and formatting there costs the audio thread time for texts nobody may read.
//
// Threads: values and their texts [any]; names, chunks and copies [ui] (only dispatcher calls and
// the editor touch them); create before the effect is shared.
#pragma once

#include "core/KList.h"
#include "params/KEffectParameter.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace Korvel {

class KProgramBank {
public:
    static constexpr int kNameField = 25;
    static constexpr int kMaxProgramName = 24;
    // Text sizes of the former caches: both texts are formatted within kDisplayBytes, the unit
    // text into a buffer of kUnitDisplayBytes, so every text is what the caches held.
    static constexpr int kDisplayBytes = 276;
    static constexpr int kUnitDisplayBytes = 285;

    KProgramBank() = default;
    KProgramBank(const KProgramBank&) = delete;
    KProgramBank& operator=(const KProgramBank&) = delete;

    // Lays out programCount programs for the parameters, each named "Defaults" and holding every
    // parameter's default. [ui], before the effect is shared between threads.
    void create(int programCount, const KList<KEffectParameter>* parameters);

    // [any]
    bool validProgram(int program) const { return program >= 0 && program < programCount_; }
    bool validParameter(int parameter) const {
        return parameter >= 0 && parameter < parameterCount_;
    }

    // [any] The value cell as it is now; stands for no cell outside the bank.
    KCellCopy load(int program, int parameter) const;
    // [any] Writes the cell back whole; nothing outside the bank or for an invalid copy.
    void store(int program, int parameter, const KCellCopy& cell);

    // [any] formatValue text of the value as it is now, into text of kDisplayBytes; "" outside.
    void formatDisplay(int program, int parameter, char* text) const;
    // [any] formatValueWithUnit text, into text of kUnitDisplayBytes; "" outside.
    void formatUnitDisplay(int program, int parameter, char* text) const;
    // [ui] The same texts in buffers of the bank, valid until the next call of the same function:
    // for single-threaded callers.
    const char* display(int program, int parameter) const;
    const char* unitDisplay(int program, int parameter) const;

    // [ui] Name of program, at most 24 characters and a terminator, into text; "" outside.
    void programName(int program, char* text) const;
    // [ui] Empty or missing names change nothing; longer ones are cut to 24 characters.
    void setProgramName(int program, const char* name);
    // [ui] Program from over program to, name included; false outside the bank.
    bool copyProgram(int from, int to);

    // [ui] The chunk bytes, laid out now in the bank's chunk buffer: program's record (at its
    // place in the bank's bytes) or the whole bank. Valid until the next save; null outside.
    unsigned char* saveProgram(int program);
    unsigned char* saveBank();
    // [ui] Takes recordSize() bytes into program, or bankSize() bytes into every program. A cell
    // that is not a finite number takes the parameter's default and others are clamped into 0..1,
    // so the display, the host and the engine agree on a bounded value.
    void loadProgram(int program, const unsigned char* record);
    void loadBank(const unsigned char* bytes);

    int programCount() const { return programCount_; }
    int parameterCount() const { return parameterCount_; }
    int recordSize() const { return recordSize_; }
    int bankSize() const { return bankSize_; }

private:
    std::size_t entry(int program, int parameter) const {
        return static_cast<std::size_t>(program) * static_cast<std::size_t>(parameterCount_) +
               static_cast<std::size_t>(parameter);
    }
    unsigned char* name(int program) {
        return names_.get() + static_cast<std::size_t>(program) * kNameField;
    }
    void writeRecord(int program, unsigned char* record) const;
    void readRecord(int program, const unsigned char* record);

    int programCount_ = 0;
    const KList<KEffectParameter>* parameters_ = nullptr;
    int parameterCount_ = 0;
    int recordSize_ = 0;
    int bankSize_ = 0;
    std::unique_ptr<std::atomic<std::uint64_t>[]> values_;
    // Name fields as the chunk carries them, bytes after the terminator included.
    std::unique_ptr<unsigned char[]> names_;
    std::unique_ptr<unsigned char[]> chunk_;
    mutable char displayText_[kDisplayBytes] = {};
    mutable char unitDisplayText_[kUnitDisplayBytes] = {};
};

} // namespace Korvel

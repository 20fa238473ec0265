#include "tools/host/PresetFile.h"

#include "host/VstInterface.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace OmbrelHost {

namespace {

constexpr std::size_t kProgramHeader = 56; // up to and including the 28-byte name
constexpr std::size_t kBankHeader = 156;   // up to and including the 128 reserved bytes
constexpr std::size_t kNameBytes = 28;

class Writer {
public:
    void i32(std::int32_t v) {
        auto u = static_cast<std::uint32_t>(v);
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<std::uint8_t>(u >> shift));
    }
    void f32(float v) {
        std::uint32_t u;
        std::memcpy(&u, &v, 4);
        i32(static_cast<std::int32_t>(u));
    }
    void name(const std::string& s) {
        std::size_t n = std::min(s.size(), kNameBytes - 1);
        bytes.insert(bytes.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
        bytes.insert(bytes.end(), kNameBytes - n, 0);
    }
    void zeros(std::size_t n) { bytes.insert(bytes.end(), n, 0); }
    void raw(const std::vector<std::uint8_t>& data) {
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
    // byteSize counts everything after itself.
    void patchSize(std::size_t start) {
        auto size = static_cast<std::uint32_t>(bytes.size() - start - 8);
        for (int i = 0; i < 4; ++i)
            bytes[start + 4 + i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
    }
    std::vector<std::uint8_t> bytes;
};

class Reader {
public:
    explicit Reader(const std::vector<std::uint8_t>& b) : bytes(b) {}
    bool has(std::size_t n) const { return pos <= bytes.size() && bytes.size() - pos >= n; }
    std::int32_t i32() {
        std::uint32_t u = 0;
        for (int i = 0; i < 4; ++i)
            u = (u << 8) | bytes[pos++];
        return static_cast<std::int32_t>(u);
    }
    float f32() {
        auto u = static_cast<std::uint32_t>(i32());
        float v;
        std::memcpy(&v, &u, 4);
        return v;
    }
    std::string name() {
        const char* p = reinterpret_cast<const char*>(&bytes[pos]);
        // At most 27 characters, as written: a field filled to the end re-encodes unchanged.
        std::string s(p, strnlen(p, kNameBytes - 1));
        pos += kNameBytes;
        return s;
    }
    const std::vector<std::uint8_t>& bytes;
    std::size_t pos = 0;
};

void writeParamProgram(Writer& w, const PresetFile& preset, const PresetProgram& program) {
    std::size_t start = w.bytes.size();
    w.i32(cMagic);
    w.i32(0);
    w.i32(fMagic);
    w.i32(1);
    w.i32(preset.fxId);
    w.i32(preset.fxVersion);
    w.i32(static_cast<std::int32_t>(program.params.size()));
    w.name(program.name);
    for (float v : program.params)
        w.f32(v);
    w.patchSize(start);
}

bool readParamProgram(Reader& r, PresetProgram& program, std::string& error) {
    if (!r.has(kProgramHeader)) {
        error = "a program in the bank is cut short";
        return false;
    }
    std::int32_t magic = r.i32();
    r.i32(); // byteSize: hosts disagree on it, the counts are what matter
    std::int32_t fx = r.i32();
    if (magic != cMagic || fx != fMagic) {
        error = "a program in the bank is not a parameter program";
        return false;
    }
    r.i32();
    r.i32();
    r.i32();
    std::int32_t count = r.i32();
    program.name = r.name();
    if (count < 0 || !r.has(4 * static_cast<std::size_t>(count))) {
        error = "a program in the bank is cut short";
        return false;
    }
    program.params.resize(static_cast<std::size_t>(count));
    for (float& v : program.params)
        v = r.f32();
    return true;
}

bool readChunk(Reader& r, std::vector<std::uint8_t>& chunk, std::string& error) {
    if (!r.has(4)) {
        error = "the chunk size is missing";
        return false;
    }
    std::int32_t size = r.i32();
    if (size < 0 || !r.has(static_cast<std::size_t>(size))) {
        error = "the chunk is cut short";
        return false;
    }
    auto begin = r.bytes.begin() + static_cast<std::ptrdiff_t>(r.pos);
    chunk.assign(begin, begin + size);
    r.pos += static_cast<std::size_t>(size);
    return true;
}

} // namespace

std::vector<std::uint8_t> encodePreset(const PresetFile& preset) {
    Writer w;
    w.i32(cMagic);
    w.i32(0);
    if (preset.kind == PresetFile::Kind::Program) {
        w.i32(preset.isChunk ? chunkPresetMagic : fMagic);
        w.i32(1);
        w.i32(preset.fxId);
        w.i32(preset.fxVersion);
        if (preset.isChunk) {
            w.i32(preset.numParams);
            w.name(preset.programName);
            w.i32(static_cast<std::int32_t>(preset.chunk.size()));
            w.raw(preset.chunk);
        } else {
            const PresetProgram empty;
            const PresetProgram& p = preset.programs.empty() ? empty : preset.programs.front();
            w.i32(static_cast<std::int32_t>(p.params.size()));
            w.name(preset.programName);
            for (float v : p.params)
                w.f32(v);
        }
    } else {
        w.i32(preset.isChunk ? chunkBankMagic : bankMagic);
        w.i32(2);
        w.i32(preset.fxId);
        w.i32(preset.fxVersion);
        w.i32(preset.isChunk ? preset.numPrograms
                             : static_cast<std::int32_t>(preset.programs.size()));
        w.i32(preset.currentProgram);
        w.zeros(124);
        if (preset.isChunk) {
            w.i32(static_cast<std::int32_t>(preset.chunk.size()));
            w.raw(preset.chunk);
        } else {
            for (const PresetProgram& p : preset.programs)
                writeParamProgram(w, preset, p);
        }
    }
    w.patchSize(0);
    return w.bytes;
}

bool decodePreset(const std::vector<std::uint8_t>& bytes, PresetFile& preset, std::string& error) {
    preset = PresetFile{};
    Reader r(bytes);
    if (!r.has(4) || r.i32() != cMagic) {
        error = "not a VST preset file (no CcnK header)";
        return false;
    }
    if (!r.has(kProgramHeader - 4)) {
        error = "the preset header is cut short";
        return false;
    }
    r.i32();
    std::int32_t fx = r.i32();
    preset.version = r.i32();
    preset.fxId = r.i32();
    preset.fxVersion = r.i32();
    if (fx == fMagic || fx == chunkPresetMagic) {
        preset.kind = PresetFile::Kind::Program;
        preset.isChunk = fx == chunkPresetMagic;
        preset.numParams = r.i32();
        preset.programName = r.name();
        if (preset.isChunk) return readChunk(r, preset.chunk, error);
        if (preset.numParams < 0 || !r.has(4 * static_cast<std::size_t>(preset.numParams))) {
            error = "the program's parameter values are cut short";
            return false;
        }
        PresetProgram p;
        p.name = preset.programName;
        p.params.resize(static_cast<std::size_t>(preset.numParams));
        for (float& v : p.params)
            v = r.f32();
        preset.programs.push_back(std::move(p));
        return true;
    }
    if (fx == bankMagic || fx == chunkBankMagic) {
        preset.kind = PresetFile::Kind::Bank;
        preset.isChunk = fx == chunkBankMagic;
        if (!r.has(kBankHeader - r.pos)) {
            error = "the bank header is cut short";
            return false;
        }
        preset.numPrograms = r.i32();
        std::int32_t current = r.i32();
        preset.currentProgram = preset.version >= 2 ? current : 0;
        r.pos = kBankHeader;
        if (preset.numPrograms < 0) {
            error = "the bank has a negative program count";
            return false;
        }
        if (preset.isChunk) return readChunk(r, preset.chunk, error);
        for (std::int32_t i = 0; i < preset.numPrograms; ++i) {
            PresetProgram p;
            if (!readParamProgram(r, p, error)) return false;
            preset.programs.push_back(std::move(p));
        }
        if (!preset.programs.empty())
            preset.numParams = static_cast<std::int32_t>(preset.programs.front().params.size());
        return true;
    }
    error = "unknown preset container type";
    return false;
}

bool presetKindForPath(const std::string& path, PresetFile::Kind& kind) {
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "fxp")
        kind = PresetFile::Kind::Program;
    else if (ext == "fxb")
        kind = PresetFile::Kind::Bank;
    else
        return false;
    return true;
}

} // namespace OmbrelHost

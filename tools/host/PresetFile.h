// The standard VST preset containers: .fxp holds one program, .fxb a bank. Both start with the
// "CcnK" header and store every field big-endian; the content is either the plug-in's parameter
// values as floats or its opaque state chunk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace OmbrelHost {

struct PresetProgram {
    std::string name; // at most 27 characters are stored
    std::vector<float> params;
};

struct PresetFile {
    enum class Kind { Program, Bank };
    Kind kind = Kind::Program;
    bool isChunk = false;
    std::int32_t version = 1; // container version; banks from version 2 on keep currentProgram
    std::int32_t fxId = 0;
    std::int32_t fxVersion = 0;
    std::int32_t numParams = 0;   // program files
    std::int32_t numPrograms = 0; // bank files
    std::int32_t currentProgram = 0;
    std::string programName;             // program files
    std::vector<PresetProgram> programs; // parameter banks; one entry for parameter programs
    std::vector<std::uint8_t> chunk;     // chunk files
};

std::vector<std::uint8_t> encodePreset(const PresetFile& preset);
// False with a reason when the bytes are no preset container or are cut short.
bool decodePreset(const std::vector<std::uint8_t>& bytes, PresetFile& preset, std::string& error);

// The container kind a file name asks for: .fxp a program, .fxb a bank; false for others.
bool presetKindForPath(const std::string& path, PresetFile::Kind& kind);

} // namespace OmbrelHost

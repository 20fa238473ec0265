// The .fxp/.fxb reader of ombrel-host: whatever it decodes re-encodes into bytes that decode to
// the same content, and encode again to the same bytes.
#include "tools/host/PresetFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace OmbrelHost;

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}

bool sameParams(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

bool sameContent(const PresetFile& a, const PresetFile& b) {
    if (a.kind != b.kind || a.isChunk != b.isChunk || a.fxId != b.fxId ||
        a.fxVersion != b.fxVersion || a.numParams != b.numParams ||
        a.numPrograms != b.numPrograms || a.currentProgram != b.currentProgram ||
        a.programName != b.programName || a.chunk != b.chunk ||
        a.programs.size() != b.programs.size())
        return false;
    for (std::size_t i = 0; i < a.programs.size(); ++i)
        if (a.programs[i].name != b.programs[i].name ||
            !sameParams(a.programs[i].params, b.programs[i].params))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    PresetFile first;
    std::string error;
    if (!decodePreset(bytes, first, error)) {
        if (error.empty()) fail("refused without a reason");
        return 0;
    }
    std::vector<std::uint8_t> encoded = encodePreset(first);
    PresetFile second;
    if (!decodePreset(encoded, second, error)) fail("its own encoding does not decode");
    if (!sameContent(first, second)) fail("re-encoding changed the content");
    if (encodePreset(second) != encoded) fail("encoding is not repeatable");
    return 0;
}

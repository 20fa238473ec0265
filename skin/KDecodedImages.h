// The skin's PNG files decoded once per process: the first load of a file decodes it into RGBA
// pixels, which every later load shares (the next opening, the editors of other instances); only
// the upload into each drawing context is repeated. One lock guards the table, since a host may
// open the editors of several instances on different threads.
#pragma once

#include "core/KNamedFiles.h"

#include <cstdint>

namespace Korvel {

struct KDecodedImage {
    int width = 0;
    int height = 0;
    // width x height RGBA pixels, top row first; kept until the module unloads.
    const unsigned char* pixels = nullptr;
};

// [any] The pixels of a named file's bytes, which must stay valid as long as the module does
// (loadNamedFile's do), decoded at the first call for those bytes. False when they do not decode
// or memory runs out; a failure is not kept, so the next load tries again.
bool decodedImage(const KFileData& file, KDecodedImage& out);

// [any] How many files have been decoded since the module loaded: for tests and benchmarks.
std::uint64_t imageDecodeCount();

} // namespace Korvel

// The named-file loader: files carried inside the plug-in (skin, images, font, presets), found by
// name in the embedded file table, else in the module's own resources where the platform has them.
#pragma once

#include <cstddef>

namespace Korvel {

struct KFileData {
    const unsigned char* bytes = nullptr;
    std::size_t size = 0;
};

struct KEmbeddedFile {
    const char* name;
    std::size_t size;
    const unsigned char* bytes;
};

// The embedded file table, in build order; created on first use.
int embeddedFileCount();
const KEmbeddedFile* embeddedFile(int index);

// The bytes of the named file (name compared in any letter case), or false. The bytes belong to
// the module and stay valid while it is loaded.
bool loadNamedFile(const char* name, KFileData& out);

} // namespace Korvel

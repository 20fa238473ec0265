#include "core/KModule.h"

namespace Korvel {

// A shared object has no instance handle to hand around.
void* libraryInstanceHandle() {
    return nullptr;
}

// No module resource store on Linux: the embedded file table is the only source.
bool findModuleResource(const char*, const unsigned char*& bytes, std::size_t& size) {
    bytes = nullptr;
    size = 0;
    return false;
}

} // namespace Korvel

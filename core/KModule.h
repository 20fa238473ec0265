// The loaded library itself: its instance handle, needed to find module resources and to register
// window classes. Opaque here so that the core never sees a platform type.
#pragma once

#include <atomic>
#include <cstddef>

namespace Korvel {

struct KModuleRecord {
    std::atomic<void*> instance{nullptr};
};

// One per loaded library, created on first use (thread-safe). Defined here rather than beside the
// platform bodies below so that those can read it without the core and platform libraries
// needing each other at link time.
inline KModuleRecord& moduleRecord() {
    static KModuleRecord record;
    return record;
}

// The handle the library's own entry point last saw (null where the platform has none); the
// factory copies it into the module record before it builds an effect.
void* libraryInstanceHandle();

// A named file among the module's own resources (type "USER_RES" on Windows); false elsewhere.
bool findModuleResource(const char* resourceName, const unsigned char*& bytes, std::size_t& size);

} // namespace Korvel

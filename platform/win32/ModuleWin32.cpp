#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "core/KModule.h"

#include <atomic>

namespace {
std::atomic<HINSTANCE> gInstance{nullptr};
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
    // Stored on every notification: process and thread attach alike carry the same handle.
    gInstance.store(instance, std::memory_order_relaxed);
    return TRUE;
}

namespace Korvel {

void* libraryInstanceHandle() {
    return gInstance.load(std::memory_order_relaxed);
}

bool findModuleResource(const char* resourceName, const unsigned char*& bytes, std::size_t& size) {
    bytes = nullptr;
    size = 0;
    HMODULE module = static_cast<HMODULE>(moduleRecord().instance.load(std::memory_order_relaxed));
    if (!resourceName) return false;
    HRSRC found = FindResourceA(module, resourceName, "USER_RES");
    if (!found) return false;
    DWORD length = SizeofResource(module, found);
    if (length == 0) return false;
    HGLOBAL loaded = LoadResource(module, found);
    if (!loaded) return false;
    const void* locked = LockResource(loaded);
    if (!locked) return false;
    bytes = static_cast<const unsigned char*>(locked);
    size = length;
    return true;
}

} // namespace Korvel

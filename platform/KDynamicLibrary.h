// A shared library loaded by path, as a host loads a plug-in (dlopen / LoadLibrary).
#pragma once

#include <string>

namespace Korvel {

class KDynamicLibrary {
public:
    KDynamicLibrary() = default;
    ~KDynamicLibrary() { close(); }
    KDynamicLibrary(const KDynamicLibrary&) = delete;
    KDynamicLibrary& operator=(const KDynamicLibrary&) = delete;

    // False with a readable reason when the library cannot be loaded.
    bool open(const std::string& path, std::string& error);
    // Null when the library does not export the name.
    void* symbol(const char* name) const;
    void close();
    bool isOpen() const { return handle_ != nullptr; }

private:
    void* handle_ = nullptr;
};

} // namespace Korvel

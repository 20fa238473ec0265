#include "platform/KDynamicLibrary.h"

#include <dlfcn.h>

namespace Korvel {

bool KDynamicLibrary::open(const std::string& path, std::string& error) {
    close();
    // A bare file name would make dlopen search the library path instead of the folder.
    std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* reason = dlerror();
        error = reason ? reason : "unknown error";
        return false;
    }
    return true;
}

void* KDynamicLibrary::symbol(const char* name) const {
    return handle_ ? dlsym(handle_, name) : nullptr;
}

void KDynamicLibrary::close() {
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
}

} // namespace Korvel

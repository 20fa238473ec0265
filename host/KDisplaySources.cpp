#include "host/KDisplaySources.h"

#include "core/KText.h"

#include <cstring>

namespace Korvel {

void KDisplaySources::add(const char* name, KSourceType type, const void* value) {
    Source source{};
    copyText(source.name, name, KIdBase::kMaxName);
    source.type = type;
    source.value = value;
    sources_.push_back(source);
}

const void* KDisplaySources::find(const char* name, KSourceType type) const {
    if (!name) return nullptr;
    for (const Source& source : sources_)
        if (source.type == type && std::strncmp(source.name, name, KIdBase::kMaxName) == 0)
            return source.value;
    return nullptr;
}

} // namespace Korvel

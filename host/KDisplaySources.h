// The named values an effect publishes for meters and wave displays: the skin finds each by name
// and value type when it builds the editor. The values are the effect's and live as long as it;
// the audio thread writes them and the editor's paint reads them.
#pragma once

#include "core/KEffectInterface.h"
#include "core/KIdBase.h"

#include <vector>

namespace Korvel {

class KDisplaySources {
public:
    // [ui], while the effect is built (the list never changes after, so readers take no lock).
    // The name keeps its first 35 characters.
    void add(const char* name, KSourceType type, const void* value);
    // [any] The value published under name (matched exactly on 35 characters) with that type;
    // null when there is none.
    const void* find(const char* name, KSourceType type) const;

private:
    struct Source {
        char name[KIdBase::kMaxName + 1];
        KSourceType type;
        const void* value;
    };
    std::vector<Source> sources_;
};

} // namespace Korvel

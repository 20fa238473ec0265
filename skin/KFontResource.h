// A font of the skin ("DefFont"): owns its font record. Immutable after the build: [any].
#pragma once

#include "skin/KFontRecord.h"
#include "skin/KResource.h"

namespace Korvel {

class KFontResource : public KResource {
public:
    static KTypeId classId();

    KFontResource(double size, std::uint32_t colour, const char* face);
    KTypeId typeId() const override { return classId(); }

    const KFontRecord& record() const { return record_; }
    double size() const { return record_.size(); }
    std::uint32_t colour() const { return record_.colour(); }
    const char* face() const { return record_.face(); }

private:
    KFontRecord record_;
};

} // namespace Korvel

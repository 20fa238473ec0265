// A font of the skin ("DefFont"): owns its font record. Immutable after the build: [any].
#pragma once

#include "skin/KFontRecord.h"
#include "skin/KResource.h"

namespace Korvel {

class KFontResource : public KResource {
public:
    static KTypeId classId();
    // The largest size a skin may give. NanoVG's font stash holds a size as a 16-bit count of
    // tenths of a pixel and a glyph's advance the same way: from 3276.8 px (less for glyphs wider
    // than their size) they overflow inside the rasteriser. 1000 px leaves room for glyphs three
    // times as wide as their size and is already taller than any editor.
    static constexpr double kMaxSize = 1000.0;

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

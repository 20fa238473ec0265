// What text is drawn with: an installed face, a size and a colour. Immutable: [any].
#pragma once

#include <cstdint>
#include <memory>

namespace Korvel {

class KFontRecord {
public:
    KFontRecord(double size, std::uint32_t colour, const char* face);
    virtual ~KFontRecord() = default;

    double size() const { return size_; }
    // Packed RGBA, red in the lowest byte.
    std::uint32_t colour() const { return colour_; }
    // Never null.
    const char* face() const;

private:
    double size_;
    std::uint32_t colour_;
    std::unique_ptr<char[]> face_;
};

} // namespace Korvel

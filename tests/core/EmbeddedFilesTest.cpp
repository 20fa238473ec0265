// The files compiled into the plug-in: table order, lookup by name, and that the images and the
// font are what the skin expects, checked from their bytes.
#include "core/KNamedFiles.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

using namespace Korvel;

namespace {

struct Bytes {
    const unsigned char* p;
    std::size_t size;
    bool has(std::size_t at, std::size_t n) const { return at <= size && n <= size - at; }
    std::uint32_t u32(std::size_t at) const {
        if (!has(at, 4)) return 0;
        return std::uint32_t(p[at]) << 24 | std::uint32_t(p[at + 1]) << 16 |
               std::uint32_t(p[at + 2]) << 8 | p[at + 3];
    }
    std::uint16_t u16(std::size_t at) const {
        return has(at, 2) ? static_cast<std::uint16_t>(p[at] << 8 | p[at + 1]) : 0;
    }
    std::string text(std::size_t at, std::size_t n) const {
        return has(at, n) ? std::string(reinterpret_cast<const char*>(p + at), n) : std::string();
    }
};

Bytes file(const char* name) {
    KFileData f;
    loadNamedFile(name, f);
    return {f.bytes, f.size};
}

std::uint32_t crc32(const unsigned char* p, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

struct PngInfo {
    bool valid = false;
    std::uint32_t width = 0, height = 0;
};

// Walks the chunk chain: signature, IHDR first, every CRC right, IEND last at the very end.
PngInfo readPng(const Bytes& b) {
    PngInfo info;
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!b.has(0, 8) || std::memcmp(b.p, signature, 8) != 0) return info;
    std::size_t at = 8;
    bool first = true;
    while (b.has(at, 12)) {
        const std::uint32_t length = b.u32(at);
        if (!b.has(at + 8, std::size_t(length) + 4)) return info;
        const std::string type = b.text(at + 4, 4);
        if (crc32(b.p + at + 4, length + 4) != b.u32(at + 8 + length)) return info;
        if (first) {
            if (type != "IHDR" || length != 13) return info;
            info.width = b.u32(at + 8);
            info.height = b.u32(at + 12);
            first = false;
        }
        at += 12 + std::size_t(length);
        if (type == "IEND") {
            info.valid = at == b.size;
            return info;
        }
    }
    return info;
}

// The first name record with the given id on the given platform (3: Windows UTF-16, 1: Mac Roman).
std::string fontName(const Bytes& b, std::uint16_t platform, std::uint16_t nameId) {
    const std::uint16_t tables = b.u16(4);
    for (std::uint16_t t = 0; t < tables; ++t) {
        const std::size_t record = 12 + 16 * std::size_t(t);
        if (b.text(record, 4) != "name") continue;
        const std::size_t name = b.u32(record + 8);
        const std::uint16_t count = b.u16(name + 2);
        const std::size_t strings = name + b.u16(name + 4);
        for (std::uint16_t i = 0; i < count; ++i) {
            const std::size_t r = name + 6 + 12 * std::size_t(i);
            if (!b.has(r, 12) || b.u16(r) != platform || b.u16(r + 6) != nameId) continue;
            const std::size_t length = b.u16(r + 8), offset = strings + b.u16(r + 10);
            if (!b.has(offset, length)) return std::string();
            if (platform == 1) return b.text(offset, length);
            std::string ascii;
            for (std::size_t c = 0; c + 1 < length; c += 2)
                ascii += static_cast<char>(b.u16(offset + c) < 128 ? b.u16(offset + c) : '?');
            return ascii;
        }
    }
    return std::string();
}

// Whether the Windows Unicode (format 4) character map gives the code point a glyph.
bool fontMaps(const Bytes& b, std::uint16_t code) {
    const std::uint16_t tables = b.u16(4);
    for (std::uint16_t t = 0; t < tables; ++t) {
        const std::size_t record = 12 + 16 * std::size_t(t);
        if (b.text(record, 4) != "cmap") continue;
        const std::size_t cmap = b.u32(record + 8);
        for (std::uint16_t s = 0; s < b.u16(cmap + 2); ++s) {
            const std::size_t entry = cmap + 4 + 8 * std::size_t(s);
            if (b.u16(entry) != 3 || b.u16(entry + 2) != 1) continue;
            const std::size_t sub = cmap + b.u32(entry + 4);
            if (b.u16(sub) != 4) continue;
            const std::size_t segments = b.u16(sub + 6) / 2;
            const std::size_t ends = sub + 14, starts = ends + 2 * segments + 2;
            const std::size_t deltas = starts + 2 * segments, ranges = deltas + 2 * segments;
            for (std::size_t i = 0; i < segments; ++i) {
                if (code > b.u16(ends + 2 * i)) continue;
                const std::uint16_t start = b.u16(starts + 2 * i);
                if (code < start) return false;
                const std::uint16_t range = b.u16(ranges + 2 * i);
                std::uint16_t glyph = code;
                if (range != 0) {
                    glyph = b.u16(ranges + 2 * i + range + 2 * std::size_t(code - start));
                    if (glyph == 0) return false;
                }
                return static_cast<std::uint16_t>(glyph + b.u16(deltas + 2 * i)) != 0;
            }
        }
    }
    return false;
}

} // namespace

TEST(EmbeddedFiles, TableOrderAndContents) {
    const char* names[] = {"KSans.ttf",  "OmbrelSkin.txt",    "OmbrelPreset.txt",
                           "Ombrel.png", "OmbrelAutoLvl.png", "OmbrelRnd.png"};
    ASSERT_EQ(embeddedFileCount(), 6);
    for (int i = 0; i < 6; ++i) {
        const KEmbeddedFile* f = embeddedFile(i);
        ASSERT_NE(f, nullptr);
        EXPECT_STREQ(f->name, names[i]);
        EXPECT_NE(f->bytes, nullptr);
        EXPECT_GT(f->size, 0u) << names[i];
    }
    EXPECT_EQ(embeddedFile(6), nullptr);
    EXPECT_EQ(embeddedFile(-1), nullptr);
    EXPECT_EQ(file("OmbrelPreset.txt").text(0, 16), "# Ombrel Presets");
}

TEST(EmbeddedFiles, LookupIgnoresCaseAndNeedsTheWholeName) {
    for (int i = 0; i < embeddedFileCount(); ++i) {
        const KEmbeddedFile* f = embeddedFile(i);
        std::string upper = f->name, lower = f->name;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (const std::string& name : {upper, lower}) {
            KFileData d;
            ASSERT_TRUE(loadNamedFile(name.c_str(), d)) << name;
            EXPECT_EQ(d.bytes, f->bytes) << name; // never a copy
            EXPECT_EQ(d.size, f->size) << name;
        }
    }
    for (const char* missing : {"OmbrelSkin", "OmbrelSkin.txt ", "Ombrel.pngx", "", "KSans_ttf"}) {
        KFileData d;
        EXPECT_FALSE(loadNamedFile(missing, d)) << missing;
        EXPECT_EQ(d.bytes, nullptr);
        EXPECT_EQ(d.size, 0u);
    }
    KFileData d;
    EXPECT_FALSE(loadNamedFile(nullptr, d));
}

TEST(EmbeddedFiles, ImagesHaveTheSkinsFrameLayout) {
    const struct {
        const char* name;
        std::uint32_t width, height;
    } images[] = {
        {"Ombrel.png", 1280, 395}, {"OmbrelAutoLvl.png", 100, 35}, {"OmbrelRnd.png", 170, 20}};
    for (const auto& image : images) {
        const PngInfo png = readPng(file(image.name));
        EXPECT_TRUE(png.valid) << image.name;
        EXPECT_EQ(png.width, image.width) << image.name;
        EXPECT_EQ(png.height, image.height) << image.name;
    }
    // The checker itself must reject damage: a truncated copy and a flipped byte.
    const Bytes rnd = file("OmbrelRnd.png");
    EXPECT_FALSE(readPng({rnd.p, rnd.size - 1}).valid);
    std::string damaged(reinterpret_cast<const char*>(rnd.p), rnd.size);
    damaged[40] = static_cast<char>(damaged[40] ^ 0x01);
    EXPECT_FALSE(
        readPng({reinterpret_cast<const unsigned char*>(damaged.data()), damaged.size()}).valid);
}

TEST(EmbeddedFiles, FontIsASmallKSansFace) {
    const Bytes font = file("KSans.ttf");
    ASSERT_TRUE(font.has(0, 12));
    EXPECT_EQ(font.u32(0), 0x00010000u); // TrueType outlines
    EXPECT_LT(font.size, 64u * 1024u);
    EXPECT_EQ(fontName(font, 3, 1), "KSans");
    EXPECT_EQ(fontName(font, 1, 1), "KSans");
    EXPECT_EQ(fontName(font, 3, 4), "KSans");
    EXPECT_EQ(fontName(font, 3, 6), "KSans");
    // Everything the skin and the parameter texts can show: ASCII and Latin-1.
    for (std::uint16_t c = 0x20; c < 0x7F; ++c)
        EXPECT_TRUE(fontMaps(font, c)) << c;
    for (std::uint16_t c = 0xA1; c <= 0xFF; ++c)
        EXPECT_TRUE(fontMaps(font, c)) << c;
    EXPECT_TRUE(fontMaps(font, 0x2212));  // minus sign
    EXPECT_FALSE(fontMaps(font, 0x0416)); // Cyrillic is left out
}

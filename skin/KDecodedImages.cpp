#include "skin/KDecodedImages.h"

#include <climits>
#include <mutex>
#include <new>

// NanoVG's copy of stb_image, compiled into its library under its own prefix: the decoder that
// NanoVG's image creation from memory uses, so the pixels are the ones it would upload.
#define stbi_load_from_memory dpf_stbi_load_from_memory
#define stbi_image_free dpf_stbi_image_free
#include <stb_image.h>

namespace Korvel {

namespace {

struct Entry {
    const unsigned char* bytes;
    std::size_t size;
    KDecodedImage image;
    Entry* next;
};

// A list, not a map: a skin names a handful of files.
class Table {
public:
    Table() = default;
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;
    ~Table() {
        while (head) {
            Entry* e = head;
            head = e->next;
            stbi_image_free(const_cast<unsigned char*>(e->image.pixels));
            delete e;
        }
    }

    std::mutex lock;
    Entry* head = nullptr;
    std::uint64_t decodes = 0;
};

Table& table() {
    static Table instance; // thread-safe first use
    return instance;
}

} // namespace

bool decodedImage(const KFileData& file, KDecodedImage& out) {
    out = KDecodedImage();
    if (!file.bytes || file.size == 0 || file.size > INT_MAX) return false;
    Table& t = table();
    // Decoding under the lock: a second caller waits for the pixels rather than decoding them
    // again, and stb_image's failure text is one global.
    std::lock_guard<std::mutex> hold(t.lock);
    for (const Entry* e = t.head; e; e = e->next)
        if (e->bytes == file.bytes && e->size == file.size) {
            out = e->image;
            return true;
        }
    int w = 0, h = 0, channels = 0;
    unsigned char* pixels =
        stbi_load_from_memory(file.bytes, static_cast<int>(file.size), &w, &h, &channels, 4);
    if (!pixels) return false;
    ++t.decodes;
    Entry* e = new (std::nothrow) Entry{file.bytes, file.size, {w, h, pixels}, t.head};
    if (!e) {
        stbi_image_free(pixels);
        return false;
    }
    t.head = e;
    out = e->image;
    return true;
}

std::uint64_t imageDecodeCount() {
    Table& t = table();
    std::lock_guard<std::mutex> hold(t.lock);
    return t.decodes;
}

} // namespace Korvel

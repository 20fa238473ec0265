// The state extension. The state is the effect's bank chunk (every program's name and values, the
// bytes a VST host saves) and the current program, behind a small header that lets a load refuse
// what is not ours:
//   bytes 0..3   "KOmb"
//   bytes 4..7   format version, 1 (unsigned 32-bit, little-endian, as every number here)
//   bytes 8..11  current program
//   bytes 12..15 bank size in bytes
//   then the bank chunk itself.
// Streams may move fewer bytes per call than asked, so both directions loop. Cells that are not
// finite or lie outside 0..1 are mended by the bank itself as it takes the chunk.
#include "clap/KClapEffect.h"
#include "clap/KClapExtensions.h"
#include "clap/KShield.h"

#include <cstring>
#include <vector>

namespace Korvel {

namespace {

constexpr unsigned char kTag[4] = {'K', 'O', 'm', 'b'};
constexpr std::uint32_t kFormat = 1;
constexpr std::size_t kHeaderBytes = 16;

void putWord(unsigned char* at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k)
        at[k] = static_cast<unsigned char>(v >> (8 * k));
}

std::uint32_t word(const unsigned char* at) {
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k)
        v |= static_cast<std::uint32_t>(at[k]) << (8 * k);
    return v;
}

bool writeAll(const clap_ostream_t& stream, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        std::int64_t n = stream.write(&stream, data, size);
        if (n <= 0 || static_cast<std::uint64_t>(n) > size) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// False when the stream ends or fails before size bytes.
bool readAll(const clap_istream_t& stream, unsigned char* data, std::size_t size) {
    while (size > 0) {
        std::int64_t n = stream.read(&stream, data, size);
        if (n <= 0 || static_cast<std::uint64_t>(n) > size) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool CLAP_ABI stateSave(const clap_plugin_t* p, const clap_ostream_t* stream) {
    KClapEffect* e = KClapEffect::from(p);
    return e && stream && stream->write && shielded(false, [&] { return e->saveState(*stream); });
}

bool CLAP_ABI stateLoad(const clap_plugin_t* p, const clap_istream_t* stream) {
    KClapEffect* e = KClapEffect::from(p);
    return e && stream && stream->read && shielded(false, [&] { return e->loadState(*stream); });
}

} // namespace

const clap_plugin_state_t kClapState = {stateSave, stateLoad};

bool KClapEffect::saveState(const clap_ostream_t& stream) {
    if (!effect() || !onMainThread()) return false;
    void* bank = nullptr;
    VstInt32 size = effect()->getChunk(&bank, false);
    if (!bank || size <= 0) return false;
    // Copied once with the header, so the stream may take its time.
    std::vector<unsigned char> bytes(kHeaderBytes + static_cast<std::size_t>(size));
    std::memcpy(bytes.data(), kTag, sizeof kTag);
    putWord(&bytes[4], kFormat);
    putWord(&bytes[8], static_cast<std::uint32_t>(effect()->currentProgram()));
    putWord(&bytes[12], static_cast<std::uint32_t>(size));
    std::memcpy(&bytes[kHeaderBytes], bank, static_cast<std::size_t>(size));
    return writeAll(stream, bytes.data(), bytes.size());
}

bool KClapEffect::loadState(const clap_istream_t& stream) {
    if (!effect() || !onMainThread()) return false;
    unsigned char header[kHeaderBytes];
    if (!readAll(stream, header, sizeof header)) return false;
    std::uint32_t program = word(&header[8]);
    std::uint32_t size = word(&header[12]);
    // Anything else is another plug-in's, another version's or damaged: nothing changes.
    if (std::memcmp(header, kTag, sizeof kTag) != 0 || word(&header[4]) != kFormat ||
        program >= static_cast<std::uint32_t>(effect()->bank().programCount()) ||
        size != static_cast<std::uint32_t>(effect()->bank().bankSize()))
        return false;
    std::vector<unsigned char> bank(size);
    if (!readAll(stream, bank.data(), bank.size())) return false;
    effect()->setProgram(static_cast<VstInt32>(program));
    effect()->setChunk(bank.data(), static_cast<VstInt32>(size), false);
    // The host sets nothing here, so it must neither hear these values back as the plug-in's
    // changes nor keep its old ones.
    if (active())
        resync_.store(true, std::memory_order_release);
    else
        rememberAll();
    if (hostParams_ && hostParams_->rescan) hostParams_->rescan(host_, CLAP_PARAM_RESCAN_VALUES);
    return true;
}

} // namespace Korvel

#include "tools/ombrel-host/MidiFile.h"

#include <algorithm>
#include <cmath>

namespace OmbrelHost {

namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// A variable-length quantity: seven bits a byte, most significant first.
void putLength(std::vector<std::uint8_t>& out, std::uint32_t v) {
    std::uint8_t bytes[5];
    int n = 0;
    do {
        bytes[n++] = static_cast<std::uint8_t>(v & 0x7f);
        v >>= 7;
    } while (v);
    while (n-- > 0)
        out.push_back(static_cast<std::uint8_t>(bytes[n] | (n ? 0x80 : 0)));
}

// The bytes a channel message's status takes; 0 for anything else (system messages).
int messageSize(std::uint8_t status) {
    switch (status & 0xf0) {
    case 0x80:
    case 0x90:
    case 0xa0:
    case 0xb0:
    case 0xe0:
        return 3;
    case 0xc0:
    case 0xd0:
        return 2;
    default:
        return 0;
    }
}

} // namespace

std::vector<std::uint8_t> standardMidiFile(std::vector<NoteMessage> messages, double rate,
                                           double tempo, long long endFrame,
                                           const std::string& name, MidiSummary& summary) {
    summary = MidiSummary{};
    std::stable_sort(messages.begin(), messages.end(),
                     [](const NoteMessage& a, const NoteMessage& b) { return a.frame < b.frame; });
    const double ticksPerFrame = tempo * kMidiDivision / (60.0 * rate);
    auto tickOf = [&](long long frame) {
        return static_cast<std::uint32_t>(std::llround(static_cast<double>(frame) * ticksPerFrame));
    };

    std::vector<std::uint8_t> track;
    const auto microseconds = static_cast<std::uint32_t>(std::llround(60e6 / tempo));
    track.insert(track.end(), {0, 0xff, 0x51, 3, static_cast<std::uint8_t>(microseconds >> 16),
                               static_cast<std::uint8_t>(microseconds >> 8),
                               static_cast<std::uint8_t>(microseconds)});
    track.insert(track.end(), {0, 0xff, 0x58, 4, 4, 2, 24, 8});
    if (!name.empty()) {
        track.insert(track.end(), {0, 0xff, 0x03});
        putLength(track, static_cast<std::uint32_t>(name.size()));
        track.insert(track.end(), name.begin(), name.end());
    }

    int sounding[16][128] = {};
    std::uint32_t last = 0;
    auto emit = [&](std::uint32_t tick, const std::uint8_t* bytes, int size) {
        putLength(track, tick - last);
        last = tick;
        track.insert(track.end(), bytes, bytes + size);
        ++summary.messages;
    };
    for (const NoteMessage& m : messages) {
        const int size = messageSize(m.bytes[0]);
        if (size == 0 || size > m.size || (m.bytes[1] | m.bytes[2]) & 0x80) continue;
        const int channel = m.bytes[0] & 0x0f;
        const int kind = m.bytes[0] & 0xf0;
        const int key = m.bytes[1];
        const bool on = kind == 0x90 && m.bytes[2] > 0;
        const bool off = kind == 0x80 || (kind == 0x90 && m.bytes[2] == 0);
        // A note off for a key that is not sounding (a plug-in's reset) says nothing.
        if (off && sounding[channel][key] == 0) continue;
        if (on) {
            ++sounding[channel][key];
            ++summary.notes;
        }
        if (off) --sounding[channel][key];
        emit(std::max(last, tickOf(std::max(0LL, m.frame))), m.bytes, size);
    }
    const std::uint32_t end = std::max(last, tickOf(endFrame));
    for (int c = 0; c < 16; ++c)
        for (int k = 0; k < 128; ++k)
            for (; sounding[c][k] > 0; --sounding[c][k]) {
                const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(0x80 | c),
                                               static_cast<std::uint8_t>(k), 0};
                emit(end, bytes, 3);
                ++summary.closed;
            }
    track.insert(track.end(), {0, 0xff, 0x2f, 0});

    std::vector<std::uint8_t> file = {'M', 'T', 'h', 'd'};
    put32(file, 6);
    file.insert(file.end(), {0, 0, 0, 1, kMidiDivision >> 8, kMidiDivision & 0xff});
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    put32(file, static_cast<std::uint32_t>(track.size()));
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

} // namespace OmbrelHost

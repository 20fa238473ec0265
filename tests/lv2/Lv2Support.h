// What the LV2 tests share: the test signal, block rendering through either build, and the
// base64 of the state text.
#pragma once

#include "tools/host/Lv2Plugin.h"
#include "tools/host/PluginHost.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace Lv2Test {

constexpr double kRate = 44100;
constexpr int kBlock = 512;

struct Stereo {
    std::vector<float> left, right;
};

// A voice-like input: 220 Hz, then 330 Hz, then silence for the release; the right channel
// quieter, so stereo and mono routing differ.
inline Stereo testSignal() {
    Stereo s;
    const int n = static_cast<int>(kRate * 1.5);
    double phase = 0;
    for (int i = 0; i < n; ++i) {
        const double f = i < kRate * 0.6 ? 220 : 330;
        phase += f / kRate;
        const double x = i < kRate * 1.2 ? 0.5 * std::sin(2 * M_PI * phase) : 0;
        s.left.push_back(static_cast<float>(x));
        s.right.push_back(static_cast<float>(0.7 * x));
    }
    return s;
}

// Renders the whole signal block by block; channels counts as the host was set up.
template <typename Host> Stereo render(Host& host, const Stereo& in, int inputs, int outputs) {
    Stereo out;
    out.left.assign(in.left.size(), 0);
    out.right.assign(in.left.size(), 0);
    for (std::size_t at = 0; at < in.left.size(); at += kBlock) {
        const int n = static_cast<int>(std::min<std::size_t>(kBlock, in.left.size() - at));
        float* i[2] = {const_cast<float*>(&in.left[at]),
                       const_cast<float*>(inputs > 1 ? &in.right[at] : &in.left[at])};
        float* o[2] = {&out.left[at], &out.right[at]};
        if (outputs < 2) o[1] = &out.left[at];
        host.process(i, o, n);
    }
    return out;
}

inline std::string base64(const std::vector<std::uint8_t>& bytes) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string s;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t v = static_cast<std::uint32_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) v |= bytes[i + 2];
        const std::size_t used = std::min<std::size_t>(3, bytes.size() - i);
        for (std::size_t k = 0; k < 4; ++k)
            s += k <= used ? digits[(v >> (18 - 6 * k)) & 63] : '=';
    }
    return s;
}

inline std::vector<std::uint8_t> unbase64(const std::string& text) {
    std::vector<std::uint8_t> out;
    std::uint32_t v = 0;
    int bits = 0;
    for (char c : text) {
        int d = c >= 'A' && c <= 'Z'   ? c - 'A'
                : c >= 'a' && c <= 'z' ? c - 'a' + 26
                : c >= '0' && c <= '9' ? c - '0' + 52
                : c == '+'             ? 62
                : c == '/'             ? 63
                                       : -1;
        if (d < 0) continue;
        v = (v << 6) | static_cast<std::uint32_t>(d);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>((v >> bits) & 0xff));
        }
    }
    return out;
}

// The bank chunk inside a saved state's text.
inline std::vector<std::uint8_t> bankOfState(const std::string& state) {
    const std::string key = "<urn:korvel:ombrel#bank>";
    std::size_t at = state.find(key);
    if (at == std::string::npos) return {};
    std::size_t open = state.find('"', at);
    while (open < state.size() && state[open] == '"')
        ++open;
    std::size_t close = state.find('"', open);
    return unbase64(state.substr(open, close - open));
}

} // namespace Lv2Test

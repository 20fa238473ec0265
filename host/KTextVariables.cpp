#include "host/KTextVariables.h"

#include "core/KText.h"
#include "host/KEffect.h"

#include <cstring>

namespace Korvel {

namespace {

// The host writes its vendor and product texts (published: 64) without a size: room to spare.
constexpr std::size_t kHostTextBytes = 256;
constexpr std::size_t kMaxNameChars = 63;

} // namespace

void KTextVariables::lookup(char* out, std::size_t size, const char* name) const {
    if (!out || size == 0) return;
    out[0] = 0;
    if (!name) return;
    std::size_t limit = size - 1;
    auto identity = [&](const char* text) { copyText(out, text ? text : "", limit); };
    if (std::strcmp(name, "HostVend") == 0 || std::strcmp(name, "HostName") == 0) {
        // The host writes straight into the buffer; give it one of the published size at least.
        char host[kHostTextBytes] = {};
        if (std::strcmp(name, "HostVend") == 0)
            effect_.getHostVendorString(host);
        else
            effect_.getHostProductString(host);
        host[sizeof host - 1] = 0;
        copyText(out, host[0] ? host : "Unknown", limit);
    } else if (std::strcmp(name, "PlugVer") == 0) {
        identity(effect_.versionText());
    } else if (std::strcmp(name, "PlugBuild") == 0) {
        identity(effect_.buildText());
    } else if (std::strcmp(name, "Platform") == 0) {
        identity(effect_.platformText());
    } else if (std::strcmp(name, "BuildDate") == 0) {
        identity(effect_.buildDateText());
    } else if (std::strcmp(name, "SRate") == 0) {
        formatFixed(out, size, effect_.getSampleRate(), 0);
    } else if (std::strcmp(name, "Inputs") == 0 || std::strcmp(name, "Outputs") == 0) {
        int channels = name[0] == 'I' ? effect_.inputChannels() : effect_.outputChannels();
        formatFixed(out, size, channels, 0);
    }
}

void KTextVariables::expand(KEffectInterface& variables, char* out, std::size_t size,
                            const char* text) {
    if (!out || size == 0) return;
    out[0] = 0;
    if (!text) return;
    std::size_t used = 0;
    const char* p = text;
    while (*p && used + 1 < size) {
        if (p[0] != '$' || p[1] != '{') {
            out[used++] = *p++;
            continue;
        }
        p += 2;
        char name[kMaxNameChars + 1];
        std::size_t n = 0;
        for (; *p && *p != '}'; ++p)
            if (n < kMaxNameChars) name[n++] = *p;
        name[n] = 0;
        if (*p == '}') ++p;
        char value[KEffectInterface::kVariableBytes];
        variables.lookupVariable(value, sizeof value, name);
        for (const char* v = value; *v && used + 1 < size; ++v)
            out[used++] = *v;
    }
    out[used] = 0;
}

} // namespace Korvel

// The skin's text variables: "${Name}" in a label's text stands for a fact about the plug-in or
// its host ("${PlugVer}", "${SRate}", "${HostName}"). This class knows the names, how each value
// is written and how a text is expanded; the effect it reads answers the facts, asked anew at
// every lookup, so a value follows the sample rate, the arrangements and the host. [ui]
#pragma once

#include <cstddef>

namespace Korvel {

class KEffect;
class KEffectInterface;

class KTextVariables {
public:
    explicit KTextVariables(KEffect& effect) : effect_(effect) {}

    // The value of variable name (matched exactly) into out: at most size - 1 characters and a
    // terminator. An unknown name leaves out empty; a host that names no vendor or product reads
    // "Unknown".
    void lookup(char* out, std::size_t size, const char* name) const;

    // text into out with every "${Name}" replaced by variables.lookupVariable(Name), so the
    // variables an effect adds are expanded too. A name keeps its first 63 characters; a "${"
    // without its "}" takes the rest of the text as the name; a "$" before anything else stays.
    static void expand(KEffectInterface& variables, char* out, std::size_t size, const char* text);

private:
    KEffect& effect_;
};

} // namespace Korvel

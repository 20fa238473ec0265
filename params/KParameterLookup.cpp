#include "params/KParameterLookup.h"

#include "core/KText.h"

namespace Korvel {

int findParameterIndex(const KList<KEffectParameter>& parameters, const char* text) {
    for (int i = 0; i < parameters.size(); ++i)
        if (equalsNoCase(parameters.get(i)->getName(), text)) return i;
    return -1;
}

int findCommandId(const KList<KEffectCommand>& commands, const char* text) {
    for (int i = 0; i < commands.size(); ++i)
        if (commands.get(i)->nameIs(text)) return commands.get(i)->id();
    return -1;
}

} // namespace Korvel

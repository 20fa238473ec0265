// Name lookups used by the skin and the preset file.
#pragma once

#include "core/KList.h"
#include "params/KEffectCommand.h"
#include "params/KEffectParameter.h"

namespace Korvel {

// First parameter whose name equals text in any letter case; -1 when none.
int findParameterIndex(const KList<KEffectParameter>& parameters, const char* text);

// Id of the first command whose name is text (case-sensitive, first 35 characters); -1 when none.
int findCommandId(const KList<KEffectCommand>& commands, const char* text);

} // namespace Korvel

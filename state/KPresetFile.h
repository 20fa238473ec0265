// The preset text file: "PRESET name" starts the next program, "SETSTR parameter value" types a
// value into it. Programs past the bank and lines before the first PRESET are ignored.
#pragma once

#include "core/KList.h"
#include "params/KEffectParameter.h"
#include "state/KProgramBank.h"

#include <cstddef>

namespace Korvel {

void applyPresetText(const unsigned char* data, std::size_t size, KProgramBank& bank,
                     const KList<KEffectParameter>& parameters);

} // namespace Korvel

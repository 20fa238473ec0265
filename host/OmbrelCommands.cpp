#include "host/Ombrel.h"

namespace Korvel {

// Filled in with the sound engine.
void Ombrel::autoLevel() {}

void Ombrel::randomise() {}

} // namespace Korvel

#include "dsp/RandomGenerator.h"

namespace Korvel {

RandomGenerator RandomGenerator::instance_;

} // namespace Korvel

#include "core/KModule.h"

namespace Korvel {

KModuleRecord& moduleRecord() {
    static KModuleRecord record;
    return record;
}

} // namespace Korvel

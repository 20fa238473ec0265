// Built without lilv: an LV2 bundle named on the command line gets a reason, not a crash.
#include "tools/host/HostedFormats.h"

namespace OmbrelHost {

std::unique_ptr<HostedPlugin> loadLv2Plugin(const PluginLocation& where, double, int,
                                            std::string& error) {
    error = "cannot load plug-in " + where.path +
            ": this ombrel-host was built without lilv, so it hosts no LV2 plug-ins "
            "(apt-get install liblilv-dev, then build again)";
    return nullptr;
}

} // namespace OmbrelHost

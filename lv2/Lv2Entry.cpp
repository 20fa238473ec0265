// The plug-in's LV2 entry: the descriptor whose C functions lead into OmbrelLv2. Nothing may leave
// them: an escaping exception ends the host.
#include "lv2/OmbrelLv2.h"

#include <cstring>

namespace Korvel {
namespace Lv2 {
namespace {

OmbrelLv2* self(LV2_Handle handle) {
    return static_cast<OmbrelLv2*>(handle);
}

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
    try {
        return OmbrelLv2::instantiate(rate, features);
    } catch (...) {
        return nullptr;
    }
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) {
    self(handle)->connect(port, data);
}

void activate(LV2_Handle handle) {
    try {
        self(handle)->activate();
    } catch (...) {
    }
}

void run(LV2_Handle handle, uint32_t frames) {
    try {
        self(handle)->run(frames);
    } catch (...) {
    }
}

void deactivate(LV2_Handle handle) {
    try {
        self(handle)->deactivate();
    } catch (...) {
    }
}

void cleanup(LV2_Handle handle) {
    try {
        delete self(handle);
    } catch (...) {
    }
}

LV2_State_Status save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state,
                      uint32_t, const LV2_Feature* const*) {
    try {
        return store ? self(handle)->save(store, state) : LV2_STATE_ERR_UNKNOWN;
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

LV2_State_Status restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle state, uint32_t, const LV2_Feature* const*) {
    try {
        return retrieve ? self(handle)->restore(retrieve, state) : LV2_STATE_ERR_UNKNOWN;
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

uint32_t getOptions(LV2_Handle handle, LV2_Options_Option* options) {
    try {
        return self(handle)->getOptions(options);
    } catch (...) {
        return LV2_OPTIONS_ERR_UNKNOWN;
    }
}

uint32_t setOptions(LV2_Handle handle, const LV2_Options_Option* options) {
    try {
        return self(handle)->setOptions(options);
    } catch (...) {
        return LV2_OPTIONS_ERR_UNKNOWN;
    }
}

const LV2_State_Interface kState = {save, restore};
const LV2_Options_Interface kOptions = {getOptions, setOptions};

// [any]
const void* extensionData(const char* uri) {
    if (!uri) return nullptr;
    if (std::strcmp(uri, LV2_STATE__interface) == 0) return &kState;
    if (std::strcmp(uri, LV2_OPTIONS__interface) == 0) return &kOptions;
    return nullptr;
}

const LV2_Descriptor kDescriptor = {kPluginUri, instantiate, connectPort, activate,
                                    run,        deactivate,  cleanup,     extensionData};

} // namespace
} // namespace Lv2
} // namespace Korvel

extern "C" OMBREL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &Korvel::Lv2::kDescriptor : nullptr;
}

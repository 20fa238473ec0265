// The library's one export, clap_entry, and its plug-in factory with Ombrel's descriptor.
#include "clap/ClapInterface.h"
#include "clap/KClapEffect.h"
#include "clap/KShield.h"
#ifdef OMBREL_EDITOR_WINDOW
#include "platform/KEditorWindowFactory.h"
#define OMBREL_WINDOWS &Korvel::createEditorWindow
#else
#define OMBREL_WINDOWS nullptr
#endif

#include <cstring>
#include <new>

namespace {

const char* const kFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_STEREO,
                                 CLAP_PLUGIN_FEATURE_MONO, nullptr};

const clap_plugin_descriptor_t kDescriptor = {
    CLAP_VERSION,
    "com.korvel.ombrel",
    "Ombrel",
    "Korvel",
    "",
    "",
    "",
    "3.1",
    "Follows the pitch of a monophonic input and plays it on three band-limited oscillators",
    kFeatures};

// Nothing to set up or tear down: everything is made per instance.
bool CLAP_ABI entryInit(const char*) {
    return true;
}
void CLAP_ABI entryDeinit() {}

std::uint32_t CLAP_ABI factoryCount(const clap_plugin_factory_t*) {
    return 1;
}

const clap_plugin_descriptor_t* CLAP_ABI factoryDescriptor(const clap_plugin_factory_t*,
                                                           std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}

const clap_plugin_t* CLAP_ABI factoryCreate(const clap_plugin_factory_t*, const clap_host_t* host,
                                            const char* id) {
    if (!host || !id || std::strcmp(id, kDescriptor.id) != 0 ||
        !clap_version_is_compatible(host->clap_version))
        return nullptr;
    return Korvel::shielded<const clap_plugin_t*>(nullptr, [&]() -> const clap_plugin_t* {
        auto* effect = new (std::nothrow) Korvel::KClapEffect(host, &kDescriptor, OMBREL_WINDOWS);
        return effect ? effect->plugin() : nullptr;
    });
}

const clap_plugin_factory_t kFactory = {factoryCount, factoryDescriptor, factoryCreate};

const void* CLAP_ABI entryFactory(const char* id) {
    return id && !std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) ? &kFactory : nullptr;
}

} // namespace

extern "C" OMBREL_EXPORT const clap_plugin_entry_t clap_entry = {CLAP_VERSION, entryInit,
                                                                 entryDeinit, entryFactory};

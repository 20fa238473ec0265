#include "tests/host/TestHost.h"

#include <cstdlib>
#include <stdexcept>

namespace OmbrelTest {

namespace {
HostAnswers gAnswers;

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*,
                                   float opt) {
    if (gAnswers.observer) gAnswers.observer(opcode, index, opt);
    switch (opcode) {
    case audioMasterVersion:
        return gAnswers.version;
    case audioMasterGetSampleRate:
        return gAnswers.sampleRate;
    case audioMasterGetTime:
        return reinterpret_cast<VstIntPtr>(gAnswers.timeInfo);
    default:
        return 0;
    }
}
} // namespace

std::string TestHost::pluginPath() {
    const char* env = std::getenv("OMBREL_PLUGIN");
    return env && *env ? env : OMBREL_PLUGIN_FILE;
}

TestHost::TestHost() {
    std::string error;
    if (!library_.open(pluginPath(), error)) throw std::runtime_error(error);
}

TestHost::~TestHost() {
    close();
}

AEffect* TestHost::create(const HostAnswers& answers) {
    gAnswers = answers;
    using Entry = AEffect* (*)(audioMasterCallback);
    Entry entry = reinterpret_cast<Entry>(library_.symbol("VSTPluginMain"));
    effect_ = entry ? entry(hostCallback) : nullptr;
    return effect_;
}

VstIntPtr TestHost::close() {
    VstIntPtr answer = effect_ ? effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0) : 0;
    effect_ = nullptr;
    return answer;
}

VstIntPtr TestHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                             float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

} // namespace OmbrelTest

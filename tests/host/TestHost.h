// A minimal host for tests: loads the built plug-in by path exactly as a DAW does and answers the
// host callback with settable values.
#pragma once

#include "host/VstInterface.h"
#include "platform/KDynamicLibrary.h"

#include <string>

namespace OmbrelTest {

struct HostAnswers {
    VstIntPtr version = 2400;
    VstIntPtr sampleRate = 44100;
    // Served for audioMasterGetTime; null answers "no time information".
    VstTimeInfo* timeInfo = nullptr;
    // Sees every call from the effect first (editor tests record the host notices).
    void (*observer)(VstInt32 opcode, VstInt32 index, float opt) = nullptr;
};

class TestHost {
public:
    // The plug-in path: $OMBREL_PLUGIN when set, else the one the build produced.
    static std::string pluginPath();

    TestHost();
    ~TestHost();
    // The effect record, or null.
    AEffect* create(const HostAnswers& answers = HostAnswers());
    // Sends effClose (which deletes the effect) and answers its reply; 0 when none is open.
    VstIntPtr close();
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0);
    AEffect* effect() const { return effect_; }
    // An exported name of the loaded plug-in, or null.
    void* symbol(const char* name) const { return library_.symbol(name); }

private:
    Korvel::KDynamicLibrary library_;
    AEffect* effect_ = nullptr;
};

} // namespace OmbrelTest

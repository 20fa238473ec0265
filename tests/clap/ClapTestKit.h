// Shared by the CLAP tests: where the built plug-ins are, and the VST build's parameter names.
#pragma once

#include "tests/host/TestHost.h"
#include "tools/host/ClapPlugin.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace OmbrelTest {

// The CLAP build: $OMBREL_CLAP when set, else the one the build produced.
inline std::string clapPath() {
    const char* env = std::getenv("OMBREL_CLAP");
    return env && *env ? env : OMBREL_CLAP_FILE;
}

// Loads the CLAP build or fails the test.
inline void loadClap(OmbrelHost::ClapPlugin& clap) {
    std::string error;
    ASSERT_TRUE(clap.load(clapPath(), error)) << error;
}

// The VST build's index of a parameter name; -1 when none.
inline int vstParam(TestHost& host, const std::string& name) {
    for (int i = 0; i < host.effect()->numParams; ++i) {
        char text[64] = {};
        host.dispatch(effGetParamName, i, 0, text);
        if (name == text) return i;
    }
    return -1;
}

} // namespace OmbrelTest

// What the plug-in fuzzers share: an Ombrel instance created in-process as a host creates it,
// bytes taken from the fuzzer's input, and processing with a check that the output is finite.
#pragma once

#include "host/Ombrel.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace OmbrelFuzz {

inline VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*,
                                          float) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterGetSampleRate) return 44100;
    return 0;
}

// A finding: libFuzzer saves the input that led here.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}

// Owns one instance for one input.
struct Effect {
    Effect() {
        Korvel::Ombrel* effect = Korvel::createEffect(hostCallback, "OmbrelSkin.txt");
        e = effect ? effect->getAeffect() : nullptr;
        if (!e) fail("no effect");
    }
    ~Effect() { e->dispatcher(e, effClose, 0, 0, nullptr, 0); }
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0) {
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    }
    AEffect* e = nullptr;
};

// Consumes the input from the front; answers zeros once it is used up.
struct Bytes {
    const std::uint8_t* data;
    std::size_t size;
    std::uint8_t byte() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | byte();
        return v;
    }
};

// One stereo block of a tone in either precision; every output sample must be finite.
inline void processAndCheck(AEffect* e, int frames, bool doublePrecision) {
    static float inF[2][4096], outF[2][4096];
    static double inD[2][4096], outD[2][4096];
    for (int i = 0; i < frames; ++i) {
        double v = 0.5 * std::sin(0.0628 * i);
        inF[0][i] = inF[1][i] = static_cast<float>(v);
        inD[0][i] = inD[1][i] = v;
    }
    if (doublePrecision) {
        double* ins[2] = {inD[0], inD[1]};
        double* outs[2] = {outD[0], outD[1]};
        e->processDoubleReplacing(e, ins, outs, frames);
        for (int k = 0; k < 2; ++k)
            for (int i = 0; i < frames; ++i)
                if (!std::isfinite(outD[k][i])) fail("non-finite double output");
    } else {
        float* ins[2] = {inF[0], inF[1]};
        float* outs[2] = {outF[0], outF[1]};
        e->processReplacing(e, ins, outs, frames);
        for (int k = 0; k < 2; ++k)
            for (int i = 0; i < frames; ++i)
                if (!std::isfinite(outF[k][i])) fail("non-finite float output");
    }
}

// Every stored value of the current program within 0..1.
inline void checkParameters(AEffect* e) {
    for (int i = 0; i < e->numParams; ++i) {
        float v = e->getParameter(e, i);
        if (!(v >= 0 && v <= 1)) fail("stored parameter value outside 0..1");
    }
}

} // namespace OmbrelFuzz

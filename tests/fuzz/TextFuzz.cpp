// Typed text into every parameter: the stored value of every parameter stays within 0..1 and the
// display texts stay within their limits.
#include "tests/fuzz/FuzzEffect.h"

using namespace OmbrelFuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The host hands a terminated text; hosts' edit fields are short.
    char text[256];
    std::size_t n = size < sizeof text - 1 ? size : sizeof text - 1;
    std::memcpy(text, data, n);
    text[n] = 0;
    static Effect fx;
    for (int i = 0; i < fx.e->numParams; ++i) {
        char typed[256];
        std::memcpy(typed, text, sizeof typed);
        fx.dispatch(effString2Parameter, i, 0, typed);
        checkParameters(fx.e);
        char display[64];
        std::memset(display, 0x5A, sizeof display);
        fx.dispatch(effGetParamDisplay, i, 0, display);
        if (!std::memchr(display, 0, kVstMaxParamStrLen * 4 + 1)) fail("display text too long");
    }
    processAndCheck(fx.e, 64, false);
    return 0;
}

// Program and bank chunks of any bytes and sizes, raw or laid over a valid chunk, then a block
// in each precision: the output stays finite and every stored value within 0..1.
#include "tests/fuzz/FuzzEffect.h"

#include <vector>

using namespace OmbrelFuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes in{data, size};
    const std::uint8_t mode = in.byte();
    const bool program = mode & 1;
    Effect fx;
    fx.dispatch(effMainsChanged, 0, 1);
    void* current = nullptr;
    VstIntPtr expected = fx.dispatch(effGetChunk, program ? 1 : 0, 0, &current);
    std::vector<std::uint8_t> chunk;
    if (mode & 2) {
        // Over a valid chunk, so that the cells themselves are what varies.
        auto* bytes = static_cast<std::uint8_t*>(current);
        chunk.assign(bytes, bytes + expected);
        for (std::size_t i = 0; i < chunk.size() && in.size > 0; ++i)
            chunk[i] = in.byte();
    } else {
        chunk.assign(in.data, in.data + in.size);
    }
    // The size the host claims may differ from the bytes behind the pointer only within them.
    VstIntPtr claimed = static_cast<VstIntPtr>(chunk.size());
    if ((mode & 4) && claimed > 0) claimed = (mode >> 3) % claimed;
    fx.dispatch(effSetChunk, program ? 1 : 0, claimed, chunk.empty() ? nullptr : chunk.data());
    checkParameters(fx.e);
    for (int p = 0; p < fx.e->numPrograms; ++p) {
        fx.dispatch(effSetProgram, 0, p);
        checkParameters(fx.e);
    }
    fx.dispatch(effSetProgram, 0, mode % fx.e->numPrograms);
    processAndCheck(fx.e, 2048, false);
    processAndCheck(fx.e, 1024, true);
    return 0;
}

// Sequences of dispatcher calls, parameter changes and blocks, each call within its documented
// pointer contract (texts into buffers of the published size, records the host owns); the output
// stays finite and the stored values within 0..1. Editor windows are not opened.
#include "tests/fuzz/FuzzEffect.h"

#include <vector>

using namespace OmbrelFuzz;

namespace {

// Opcodes whose ptr, when used, is a text buffer the plug-in writes.
const VstInt32 kTextOut[] = {effGetProgramName,  effGetParamLabel,         effGetParamDisplay,
                             effGetParamName,    effGetProgramNameIndexed, effGetEffectName,
                             effGetVendorString, effGetProductString};
// Opcodes that take no pointer.
const VstInt32 kPlain[] = {effOpen,
                           effSetProgram,
                           effGetProgram,
                           effSetSampleRate,
                           effSetBlockSize,
                           effMainsChanged,
                           effIdentify,
                           effCanBeAutomated,
                           effGetPlugCategory,
                           effSetBypass,
                           effGetVendorVersion,
                           effGetTailSize,
                           effGetVstVersion,
                           effEditIdle,
                           effBeginSetProgram,
                           effEndSetProgram,
                           effStartProcess,
                           effStopProcess,
                           effSetProcessPrecision,
                           effSetTotalSampleToProcess,
                           effGetCurrentMidiProgram,
                           effHasMidiProgramsChanged};

VstSpeakerArrangement arrangement(int channels) {
    VstSpeakerArrangement a{};
    a.type = channels == 1 ? kSpeakerArrMono : kSpeakerArrStereo;
    a.numChannels = channels;
    return a;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes in{data, size};
    Effect fx;
    char text[512];
    for (int step = 0; step < 64 && in.size > 0; ++step) {
        const std::uint8_t kind = in.byte() % 8;
        const auto index = static_cast<VstInt32>(static_cast<std::int8_t>(in.byte()));
        const std::uint32_t raw = in.u32();
        float opt;
        std::memcpy(&opt, &raw, sizeof opt);
        const auto value = static_cast<VstIntPtr>(static_cast<std::int32_t>(raw));
        switch (kind) {
        case 0: {
            VstInt32 op = kPlain[raw % (sizeof kPlain / sizeof kPlain[0])];
            fx.dispatch(op, index, op == effSetProgram ? index : value, nullptr, opt);
            break;
        }
        case 1: {
            // Published limits: 24 for program names, 8 for parameter texts, 64 for strings.
            std::memset(text, 0, sizeof text);
            fx.dispatch(kTextOut[raw % (sizeof kTextOut / sizeof kTextOut[0])], index, 0, text);
            if (!std::memchr(text, 0, 129)) fail("text written beyond its limit");
            break;
        }
        case 2: {
            // Terminated texts the plug-in reads: a program name, typed value or capability.
            std::size_t n = raw % 40;
            for (std::size_t i = 0; i < n; ++i)
                text[i] = static_cast<char>(in.byte());
            text[n] = 0;
            VstInt32 op =
                index & 1 ? effString2Parameter : (index & 2 ? effSetProgramName : effCanDo);
            fx.dispatch(op, index >> 2, 0, text);
            break;
        }
        case 3: {
            void* chunk = nullptr;
            VstIntPtr got = fx.dispatch(effGetChunk, index & 1, 0, &chunk);
            std::vector<std::uint8_t> copy(static_cast<std::uint8_t*>(chunk),
                                           static_cast<std::uint8_t*>(chunk) + got);
            for (std::size_t i = 0; i < copy.size() && in.size > 0 && (raw & 1); i += 1 + raw % 97)
                copy[i] = in.byte();
            fx.dispatch(effSetChunk, index & 1, static_cast<VstIntPtr>(copy.size()), copy.data());
            break;
        }
        case 4: {
            VstSpeakerArrangement a = arrangement(1 + raw % 2), b = arrangement(1 + (raw >> 1) % 2);
            a.numChannels = static_cast<VstInt32>(raw % 9);
            b.numChannels = static_cast<VstInt32>((raw >> 4) % 9);
            fx.dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&a), &b);
            VstSpeakerArrangement* ia = nullptr;
            VstSpeakerArrangement* oa = nullptr;
            fx.dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&ia), &oa);
            break;
        }
        case 5:
            fx.e->setParameter(fx.e, index, opt);
            fx.e->getParameter(fx.e, index);
            break;
        case 6: {
            ERect* rect = nullptr;
            fx.dispatch(effEditGetRect, 0, 0, &rect);
            VstEvents events{};
            fx.dispatch(effProcessEvents, 0, 0, &events);
            break;
        }
        default:
            processAndCheck(fx.e, 1 + static_cast<int>(raw % 4096), raw & 0x10000);
            break;
        }
        checkParameters(fx.e);
    }
    processAndCheck(fx.e, 512, false);
    return 0;
}

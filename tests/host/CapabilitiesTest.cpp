// Capability words through the real binary, and the text variables of an effect built in-process
// with a host that reports (or withholds) its vendor and product.
#include "host/Ombrel.h"
#include "tests/host/TestHost.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

using namespace OmbrelTest;

namespace {

struct WordAnswer {
    const char* word;
    VstIntPtr answer;
};

const WordAnswer kCapabilities[] = {{"sendVstEvents", -1},
                                    {"sendVstMidiEvent", -1},
                                    {"sendVstTimeInfo", -1},
                                    {"receiveVstEvents", -1},
                                    {"receiveVstMidiEvent", -1},
                                    {"receiveVstTimeInfo", -1},
                                    {"offline", -1},
                                    {"plugAsChannelInsert", 1},
                                    {"plugAsSend", 1},
                                    {"midiProgramNames", -1},
                                    {"bypass", 1},
                                    {"1in1out", 1},
                                    {"1in2out", 1},
                                    {"2in1out", 1},
                                    {"2in2out", 1},
                                    {"2in4out", -1},
                                    {"4in2out", -1},
                                    {"4in4out", -1},
                                    {"4in8out", -1},
                                    {"8in4out", -1},
                                    {"8in8out", -1},
                                    {"conformsToWindowRules", 0},
                                    {"", 0},
                                    {"2in2out ", 0},
                                    {"2IN2OUT", 0},
                                    {"Offline", 0},
                                    {"hasCockosExtensions", 0},
                                    {"receiveVstMidiEvents", 0}};

// What the in-process host answers for its vendor and product; empty texts are left unwritten.
std::string gHostVendor;
std::string gHostProduct;
bool gHostAnswers = true;

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr,
                                   float) {
    const std::string* text = nullptr;
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterGetVendorString) text = &gHostVendor;
    if (opcode == audioMasterGetProductString) text = &gHostProduct;
    if (!text || !ptr) return 0;
    if (!text->empty()) std::memcpy(ptr, text->c_str(), text->size() + 1);
    return gHostAnswers ? 1 : 0;
}

struct InProcess {
    std::unique_ptr<Korvel::Ombrel> fx;
    explicit InProcess(audioMasterCallback callback = hostCallback)
        : fx(new Korvel::Ombrel(callback)) {}
    std::string variable(const char* name, std::size_t size = Korvel::KEffect::kVariableBytes) {
        char out[Korvel::KEffect::kVariableBytes + 8];
        std::memset(out, 'x', sizeof out);
        fx->lookupVariable(out, size, name);
        return out;
    }
};

} // namespace

TEST(Capabilities, EveryWordAnswersAsPublishedAndCaseCounts) {
    TestHost host;
    ASSERT_NE(host.create(), nullptr);
    for (const WordAnswer& w : kCapabilities) {
        std::string word = w.word;
        EXPECT_EQ(host.dispatch(effCanDo, 0, 0, &word[0]), w.answer) << '"' << w.word << '"';
    }
    EXPECT_EQ(host.dispatch(effCanDo, 0, 0, nullptr), 0);
    // Accepting bypass is what the capability promises.
    EXPECT_EQ(host.dispatch(effSetBypass, 0, 1), 1);
    EXPECT_EQ(host.dispatch(effSetBypass, 0, 0), 1);
}

TEST(TextVariables, IdentityRateAndChannels) {
    gHostVendor = "Acme Audio";
    gHostProduct = "Mixer Deluxe";
    InProcess p;
    EXPECT_EQ(p.variable("HostVend"), "Acme Audio");
    EXPECT_EQ(p.variable("HostName"), "Mixer Deluxe");
    EXPECT_EQ(p.variable("PlugVer"), "3.1");
    EXPECT_EQ(p.variable("PlugBuild"), "3.1");
    // The platform the plug-in was built for: the Windows build keeps "Win32".
#ifdef _WIN32
    EXPECT_EQ(p.variable("Platform"), "Win32");
#else
    EXPECT_EQ(p.variable("Platform"), "Linux");
#endif
    EXPECT_EQ(p.variable("BuildDate"), "09 Oct 2024");
    EXPECT_EQ(p.variable("SRate"), "44100");
    EXPECT_EQ(p.variable("Inputs"), "2");
    EXPECT_EQ(p.variable("Outputs"), "2");
    // Names are matched byte for byte; unknown ones give an empty text.
    EXPECT_EQ(p.variable("platform"), "");
    EXPECT_EQ(p.variable("SRate "), "");
    EXPECT_EQ(p.variable(""), "");
    EXPECT_EQ(p.variable(nullptr), "");

    p.fx->setSampleRate(48000.4f);
    EXPECT_EQ(p.variable("SRate"), "48000");
    p.fx->setSampleRate(22050.75f);
    EXPECT_EQ(p.variable("SRate"), "22051");
    VstSpeakerArrangement in{}, out{};
    in.numChannels = 1;
    out.numChannels = 2;
    ASSERT_TRUE(p.fx->setSpeakerArrangement(&in, &out));
    EXPECT_EQ(p.variable("Inputs"), "1");
    EXPECT_EQ(p.variable("Outputs"), "2");
    // A refused arrangement changes nothing.
    out.numChannels = 4;
    EXPECT_FALSE(p.fx->setSpeakerArrangement(&in, &out));
    EXPECT_EQ(p.variable("Outputs"), "2");

    // The buffer size bounds every value, terminator included.
    EXPECT_EQ(p.variable("BuildDate", 3), "09");
    EXPECT_EQ(p.variable("SRate", 4), "220");
    EXPECT_EQ(p.variable("HostVend", 5), "Acme");
    EXPECT_EQ(p.variable("PlugVer", 1), "");

    char expanded[64];
    p.fx->expandText(expanded, sizeof expanded, "${HostName} at ${SRate} Hz, ${Inputs} in");
    EXPECT_STREQ(expanded, "Mixer Deluxe at 22051 Hz, 1 in");
}

TEST(TextVariables, HostsThatDoNotTellReadUnknown) {
    gHostVendor = "";
    gHostProduct = "";
    InProcess silent;
    EXPECT_EQ(silent.variable("HostVend"), "Unknown");
    EXPECT_EQ(silent.variable("HostName"), "Unknown");
    // A host that writes a text but answers 0 still has its text shown.
    gHostVendor = "Quiet";
    gHostAnswers = false;
    EXPECT_EQ(silent.variable("HostVend"), "Quiet");
    gHostAnswers = true;
    // Without a callback there is nobody to ask.
    InProcess orphan(nullptr);
    EXPECT_EQ(orphan.variable("HostVend"), "Unknown");
    EXPECT_EQ(orphan.variable("HostName"), "Unknown");
    EXPECT_EQ(orphan.variable("SRate"), "44100");
}

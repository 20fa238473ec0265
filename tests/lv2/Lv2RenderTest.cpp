// The LV2 build through our lilv host, beside the VST build: a transport that the tremolo follows
// only as far as the host sends one, and a saved state that keeps values no float port holds and
// the VST build's own bank chunk. ombrel-host's tests render the two builds against each other in
// every layout and reload their state files; these check what the tool cannot show. Each test runs
// in a process of its own (see CMakeLists.txt): the effect's shared random generator makes a
// render depend on the instances before it.
#include "tests/lv2/Lv2Support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace Lv2Test {
namespace {

// Real values and the normalised floats a VST host sends for them.
struct Setting {
    const char* symbol;
    float real;
    float normalised;
};
const Setting kSettings[] = {
    {"wave1", 2, 2 / 3.0f},       // Square
    {"wave2", 3, 1.0f},           // Sawtooth
    {"partial2", 2, 0.2f},        // 1 .. 6 in 5 steps
    {"detune2", 7, 106 / 198.0f}, // cents
    {"lfowave", 1, 0.2f},         // Triangle
    {"lfofreq", 2, 1 / 31.0f},    // per bar
    {"lfodepth", 50, 0.5f},       // %
    {"mainlvl", -6, 0.50118723f}, // dB, normalised is the linear gain
};

struct Builds {
    OmbrelHost::PluginHost vst;
    OmbrelHost::Lv2Plugin lv2;

    void load() {
        std::string error;
        ASSERT_TRUE(vst.load(OMBREL_PLUGIN_FILE, kRate, kBlock, error)) << error;
        ASSERT_TRUE(lv2.load(OMBREL_LV2_BUNDLE, kRate, kBlock, error)) << error;
        EXPECT_EQ("urn:korvel:ombrel", lv2.uri());
        EXPECT_EQ(29, lv2.parameterCount());
        EXPECT_EQ(2, lv2.audioInputs());
        EXPECT_EQ(2, lv2.audioOutputs());
    }
    void start(int inputs, int outputs, bool playing) {
        ASSERT_TRUE(vst.setSpeakers(inputs, outputs));
        ASSERT_TRUE(lv2.setChannels(inputs, outputs));
        vst.transport().setTempo(120);
        vst.transport().setPlaying(playing);
        lv2.setTempo(120);
        lv2.setPlaying(playing);
        vst.resume();
        lv2.activate();
    }
};

int firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return static_cast<int>(i);
    return a.size() == b.size() ? -1 : static_cast<int>(std::min(a.size(), b.size()));
}

TEST(Lv2Render, TheTransportReachesTheLfo) {
    // The same settings with the transport stopped and without time:Position give another sound:
    // the LFO really follows the position the host sends.
    const Stereo in = testSignal();
    std::vector<float> outputs[3];
    for (int run = 0; run < 3; ++run) {
        OmbrelHost::Lv2Plugin lv2;
        std::string error;
        ASSERT_TRUE(lv2.load(OMBREL_LV2_BUNDLE, kRate, kBlock, error)) << error;
        for (const Setting& s : kSettings)
            lv2.setParameter(lv2.parameterIndex(s.symbol), s.real);
        // No detuned partial, whose beating would move the peaks too.
        lv2.setParameter(lv2.parameterIndex("detune2"), 0);
        lv2.setTransportEnabled(run < 2);
        lv2.setPlaying(run == 0);
        lv2.activate();
        outputs[run] = render(lv2, in, 2, 2).left;
    }
    // Tremolo at 2 cycles per bar of 2 s: playing locks its phase to the song position; stopped,
    // it runs from phase 0 at the tempo; without a position it stands still.
    EXPECT_NE(-1, firstDifference(outputs[1], outputs[2]));
    double swing[3] = {};
    for (int run = 0; run < 3; ++run) {
        float lo = 1e9f, hi = 0;
        // The steady 220 Hz tone, 0.25 to 0.55 s: a third of a tremolo cycle.
        for (std::size_t at = 11025; at + 1103 <= 24255; at += 1103) {
            float peak = 0;
            for (std::size_t i = at; i < at + 1103; ++i)
                peak = std::max(peak, std::fabs(outputs[run][i]));
            lo = std::min(lo, peak);
            hi = std::max(hi, peak);
        }
        swing[run] = hi / std::max(lo, 1e-9f);
    }
    EXPECT_GT(swing[0], 1.2) << "tremolo while playing";
    EXPECT_GT(swing[1], 1.2) << "tremolo at the tempo while stopped";
    EXPECT_LT(swing[2], 1.05) << "no position, no tremolo";
}

// A state whose bank holds a value a float port cannot carry, in program 3, current program 3,
// with the port values a host saves beside it (the floats of the effect's real values).
std::string stateText(const std::vector<std::uint8_t>& bank, float level1, float mainLevel) {
    char ports[512];
    std::snprintf(ports, sizeof ports,
                  "lv2:port [ lv2:symbol \"level1\" ; pset:value %.9g ] , "
                  "[ lv2:symbol \"wave1\" ; pset:value 1.0 ] , "
                  "[ lv2:symbol \"mainlvl\" ; pset:value %.9g ] ;\n",
                  static_cast<double>(level1), static_cast<double>(mainLevel));
    return std::string("@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                       "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                       "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
                       "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n"
                       "<urn:test:state> a pset:Preset ;\n"
                       "  lv2:appliesTo <urn:korvel:ombrel> ;\n  ") +
           ports + "  state:state [\n    <urn:korvel:ombrel#bank> \"" + base64(bank) +
           "\"^^xsd:base64Binary ;\n    <urn:korvel:ombrel#program> \"3\"^^xsd:int\n  ] .\n";
}

void putCell(std::vector<std::uint8_t>& bank, int program, int parameter, double value) {
    std::memcpy(&bank[static_cast<std::size_t>(program * 257 + 25 + 8 * parameter)], &value, 8);
}

TEST(Lv2State, KeepsExactValuesTheProgramAndTheVstChunkThroughSaveAndLoad) {
    const Stereo in = testSignal();
    Builds first;
    first.load();
    // Program 3: Level1 at a gain no float port value stands for, Triangle, -6 dB exactly.
    std::vector<std::uint8_t> bank = first.vst.chunk(false);
    ASSERT_EQ(2570u, bank.size());
    std::memcpy(&bank[3 * 257], "Exact", 6);
    putCell(bank, 3, 9, 0.123456789012345);
    putCell(bank, 3, 4, 1 / 3.0);
    putCell(bank, 3, 28, std::pow(10.0, -0.3));
    ASSERT_TRUE(first.vst.setChunk(bank, false));
    first.vst.setProgram(3);
    ASSERT_EQ("Exact", first.vst.programName(3));
    ASSERT_TRUE(first.lv2.loadState(stateText(bank, -18.2f, -6.0f)));
    EXPECT_EQ("-18.2 dB", first.lv2.parameterDisplay(9));
    first.start(2, 2, false);
    const Stereo v1 = render(first.vst, in, 2, 2);
    const Stereo l1 = render(first.lv2, in, 2, 2);
    EXPECT_EQ(-1, firstDifference(v1.left, l1.left)) << "the ports' floats overwrote the state";

    // Saved again: the same bank bytes as the VST chunk, the current program, the ports.
    const std::string saved = first.lv2.saveState();
    EXPECT_EQ(first.vst.chunk(false), bankOfState(saved));
    EXPECT_NE(std::string::npos, saved.find("<urn:korvel:ombrel#program> \"3\"^^xsd:int"));

    // Reopened in a new session: it sounds the same as the VST build given the same chunk.
    Builds second;
    second.load();
    ASSERT_TRUE(second.vst.setChunk(bank, false));
    second.vst.setProgram(3);
    ASSERT_TRUE(second.lv2.loadState(saved));
    EXPECT_EQ("-18.2 dB", second.lv2.parameterDisplay(9));
    EXPECT_EQ("Triangle", second.lv2.parameterDisplay(4));
    second.start(2, 2, false);
    const Stereo v2 = render(second.vst, in, 2, 2);
    const Stereo l2 = render(second.lv2, in, 2, 2);
    EXPECT_EQ(-1, firstDifference(v2.left, l2.left));
    EXPECT_EQ(bank, bankOfState(second.lv2.saveState()));

    // A host that moves a port still gets its way, and a foreign or short state changes nothing.
    second.lv2.setParameter(9, -6.0f);
    float* i[2] = {const_cast<float*>(in.left.data()), const_cast<float*>(in.right.data())};
    std::vector<float> scratch(kBlock * 2);
    float* o[2] = {scratch.data(), scratch.data() + kBlock};
    second.lv2.process(i, o, kBlock);
    std::vector<std::uint8_t> moved = bankOfState(second.lv2.saveState());
    double level1 = 0;
    std::memcpy(&level1, &moved[3 * 257 + 25 + 8 * 9], 8);
    EXPECT_NEAR(0.501187, level1, 1e-6);
    std::vector<std::uint8_t> shortBank(bank.begin(), bank.begin() + 2000);
    // Refused by the plug-in, it leaves the host's ports as they were too.
    EXPECT_FALSE(second.lv2.loadState(stateText(shortBank, -30.0f, -6.0f)));
    EXPECT_EQ("-6 dB", second.lv2.parameterDisplay(9));
    EXPECT_EQ(moved, bankOfState(second.lv2.saveState()));
}

} // namespace
} // namespace Lv2Test

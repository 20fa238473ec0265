// AutoLevel and Random on an effect built in-process.
#include "dsp/RandomGenerator.h"
#include "host/Ombrel.h"
#include "params/OmbrelParameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

using namespace Korvel;

namespace {

struct Fixture {
    std::unique_ptr<Ombrel> fx{new Ombrel(nullptr)};
    double real(int index) { return fx->parameter(index)->cellReal(fx->currentCell(index)); }
    int item(int index) { return static_cast<int>(std::lround(real(index))); }
    std::string display(int index) {
        char text[64] = {};
        fx->getParameterDisplay(index, text);
        return text;
    }
};

const int kOscGains[] = {kNoise1, kLevel1, kNoise2, kLevel2, kNoise3, kLevel3};

// The edit notices the host heard, in order.
struct Heard {
    VstInt32 opcode, index;
    float value;
};
std::vector<Heard> gHeard;
VstIntPtr VSTCALLBACK listeningHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*,
                                    float opt) {
    if (opcode == audioMasterBeginEdit || opcode == audioMasterAutomate ||
        opcode == audioMasterEndEdit)
        gHeard.push_back({opcode, index, opt});
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Checks that the notices from first on are one edit per parameter of order, each carrying the
// value the parameter holds now; answers where the next would begin.
std::size_t expectOneEditEach(const Ombrel& fx, const std::vector<int>& order, std::size_t first) {
    std::size_t at = first;
    for (int index : order) {
        if (at + 4 > gHeard.size()) {
            ADD_FAILURE() << "no edit of parameter " << index;
            return at;
        }
        const VstInt32 opcodes[4] = {audioMasterBeginEdit, audioMasterAutomate, audioMasterAutomate,
                                     audioMasterEndEdit};
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(opcodes[k], gHeard[at + k].opcode) << "parameter " << index << ", " << k;
            EXPECT_EQ(index, gHeard[at + k].index) << k;
        }
        float now = static_cast<float>(fx.parameterValue(index));
        EXPECT_EQ(now, gHeard[at + 2].value) << "the new value of parameter " << index;
        at += 4;
    }
    return at;
}

} // namespace

TEST(AutoLevel, SetsMainLevelSoAllGainsPeakAtMinusThreeDecibels) {
    Fixture f;
    // The default program: three tones at 0 dB and no noise.
    f.fx->setParamReal(kMainLvl, 0);
    f.fx->runCommand(kCommandAutoLevel);
    EXPECT_EQ(f.display(kMainLvl), "-12.5");

    f.fx->setParamNormalised(kLevel2, 0);
    f.fx->setParamNormalised(kLevel3, 0);
    f.fx->runCommand(kCommandAutoLevel);
    EXPECT_EQ(f.display(kMainLvl), "-3.0");

    f.fx->setParamNormalised(kMainLvl, 0.25);
    for (int index : kOscGains)
        f.fx->setParamNormalised(index, 0);
    f.fx->runCommand(kCommandAutoLevel);
    EXPECT_EQ(f.display(kMainLvl), "0.0");
    // A quiet sum is not raised above 0 dB.
    f.fx->setParamNormalised(kNoise1, 0.1);
    f.fx->runCommand(kCommandAutoLevel);
    EXPECT_EQ(f.display(kMainLvl), "0.0");
}

TEST(Random, RangesAndItemProbabilities) {
    Fixture f;
    RandomGenerator::shared().setState(71, 89);
    const double detector[4] = {f.real(kMinFreq), f.real(kMaxFreq), f.real(kGate), f.real(kSpeed)};
    const double phase = f.real(kLfoPhase);

    const int runs = 6000;
    int waves[4] = {};
    int lfoWaves[6] = {};
    int partials[7] = {};
    for (int run = 0; run < runs; ++run) {
        f.fx->runCommand(kCommandRandom);
        ++waves[f.item(kWave1)];
        ++lfoWaves[f.item(kLfoWave)];
        ++partials[f.item(kPartial2)];

        ASSERT_EQ(f.display(kLevel1), "0.0");
        for (int index : {kLevel2, kLevel3}) {
            ASSERT_GE(f.real(index), -18.0 - 1e-9);
            ASSERT_LE(f.real(index), 1e-9);
        }
        for (int index : {kNoise1, kNoise2, kNoise3})
            ASSERT_LE(f.real(index), -13.97);
        for (int index : {kDetune1, kDetune2, kDetune3}) {
            double cents = f.real(index);
            // Whole steps of the range, up to the rounding of its mapping.
            ASSERT_NEAR(cents, std::round(cents), 1e-9);
            ASSERT_LE(std::fabs(cents), 10.0);
        }
        ASSERT_GT(f.real(kPartial3), f.real(kPartial2));
        ASSERT_LE(f.real(kPartial3), 6.0);

        // AutoLevel ran last: the gains sum to -3 dB through the Main Level, or less.
        double sum = 0;
        for (int index : kOscGains)
            sum += f.fx->parameter(index)->cellValue(f.fx->currentCell(index));
        double mainGain = f.fx->parameter(kMainLvl)->cellValue(f.fx->currentCell(kMainLvl));
        ASSERT_LE(sum * mainGain, 0.7079457843841379 * (1 + 1e-12));
    }

    EXPECT_EQ(f.real(kMinFreq), detector[0]);
    EXPECT_EQ(f.real(kMaxFreq), detector[1]);
    EXPECT_EQ(f.real(kGate), detector[2]);
    EXPECT_EQ(f.real(kSpeed), detector[3]);
    EXPECT_EQ(f.real(kLfoPhase), phase);

    // floor(3u + 0.5): the end items come half as often as the middle ones.
    const double waveOdds[4] = {1.0 / 6, 1.0 / 3, 1.0 / 3, 1.0 / 6};
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(double(waves[k]) / runs, waveOdds[k], 0.025) << k;
    const double lfoOdds[6] = {0.1, 0.2, 0.2, 0.2, 0.2, 0.1};
    for (int k = 0; k < 6; ++k)
        EXPECT_NEAR(double(lfoWaves[k]) / runs, lfoOdds[k], 0.025) << k;
    // 3u + 2 snapped to whole numbers.
    EXPECT_EQ(partials[1] + partials[6], 0);
    for (int k = 2; k <= 5; ++k)
        EXPECT_GT(partials[k], 0);
}

// A host that records automation (touch, latch) keeps a value only when an edit brackets it: each
// parameter a command changes is an edit of its own, all sent while the command runs.
TEST(Commands, EveryChangeReachesTheHostAsOneEditOfItsOwn) {
    std::unique_ptr<Ombrel> fx(new Ombrel(listeningHost));
    RandomGenerator::shared().setState(71, 89);
    gHeard.clear();
    fx->runCommand(kCommandRandom);
    const std::vector<int> drawn = {kWave1,  kDetune1,  kAttk1,    kRel1,    kNoise1,   kLevel1,
                                    kWave2,  kPartial2, kDetune2,  kAttk2,   kRel2,     kNoise2,
                                    kLevel2, kWave3,    kPartial3, kDetune3, kAttk3,    kRel3,
                                    kNoise3, kLevel3,   kLfoWave,  kLfoFreq, kLfoDepth, kMainLvl};
    EXPECT_EQ(expectOneEditEach(*fx, drawn, 0), gHeard.size()) << "nothing outside the edits";

    fx->setParamNormalised(kMainLvl, 1.0);
    gHeard.clear();
    fx->runCommand(kCommandAutoLevel);
    EXPECT_EQ(expectOneEditEach(*fx, {kMainLvl}, 0), gHeard.size());
    EXPECT_LT(fx->parameterValue(kMainLvl), 1.0);
}

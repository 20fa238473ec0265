#include "core/KScriptReader.h"
#include "params/OmbrelParameters.h"
#include "state/KPresetFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace Korvel;

namespace {
const unsigned char* bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

struct Bank {
    KList<KEffectParameter> params;
    KProgramBank bank;
    Bank() {
        buildOmbrelParameters(params);
        bank.create(10, &params);
    }
    void load(const std::string& text) { applyPresetText(bytes(text), text.size(), bank, params); }
    std::string name(int p) {
        char n[32];
        bank.programName(p, n);
        return n;
    }
};
} // namespace

TEST(KScriptReader, LineEndsCommentsQuotesAndLongLines) {
    std::string text = "a b\r\n\r\n\"x y\"z  # c\rq\"w\n" + std::string(300, 'k');
    KScriptReader r(bytes(text), text.size());
    ASSERT_TRUE(r.nextLine());
    EXPECT_EQ(r.tokenCount(), 2);
    ASSERT_TRUE(r.nextLine());
    EXPECT_EQ(r.tokenCount(), 2);
    EXPECT_STREQ(r.token(0), "x y");
    EXPECT_STREQ(r.token(1), "z");
    ASSERT_TRUE(r.nextLine());
    EXPECT_STREQ(r.token(0), "q\"w");
    ASSERT_TRUE(r.nextLine());
    EXPECT_EQ(std::strlen(r.token(0)), 254u);
    ASSERT_TRUE(r.nextLine());
    EXPECT_EQ(std::strlen(r.token(0)), 46u);
    EXPECT_FALSE(r.nextLine());
    EXPECT_STREQ(r.token(5), "");
}

TEST(PresetFile, ExampleTableAndEdgeCases) {
    Bank b;
    b.load("SETSTR Gate -20\nPRESET Lead\nsetstr Wave1 Square\nSETSTR minfreq 100\n"
           "preset \"\"\nPRESET \"Bass # cut\"\nSETSTR Speed 5\n");
    EXPECT_EQ(b.name(0), "Lead");
    EXPECT_STREQ(b.bank.display(0, kWave1), "Square");
    EXPECT_STREQ(b.bank.display(0, kMinFreq), "100");
    EXPECT_STREQ(b.bank.display(0, kGate), "-40");
    EXPECT_EQ(b.name(1), "Defaults");
    EXPECT_EQ(b.name(2), "Bass ");
    EXPECT_STREQ(b.bank.display(2, kSpeed), "5");
    EXPECT_STREQ(b.bank.unitDisplay(3, kMainLvl), "-12.5 dB");
}

TEST(PresetFile, PresetsBeyondTheTenthChangeNothing) {
    Bank b;
    std::string text;
    for (int i = 0; i < 11; ++i)
        text += "PRESET P" + std::to_string(i) + "\n";
    text += "SETSTR Speed 9\n";
    b.load(text);
    EXPECT_EQ(b.name(9), "P9");
    for (int p = 0; p < 10; ++p)
        EXPECT_STREQ(b.bank.display(p, kSpeed), "3");
}

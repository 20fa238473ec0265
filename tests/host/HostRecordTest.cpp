#include "tests/host/TestHost.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace OmbrelTest;

TEST(HostRecord, FieldsOfAFreshEffect) {
    TestHost host;
    AEffect* e = host.create();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->numPrograms, 10);
    EXPECT_EQ(e->numParams, 29);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->uniqueID, 0x67794175);
    EXPECT_EQ(e->version, 3100);
    EXPECT_TRUE(e->flags & effFlagsCanReplacing);
    EXPECT_TRUE(e->flags & effFlagsCanDoubleReplacing);
    EXPECT_TRUE(e->flags & effFlagsProgramChunks) << "hosts save the whole bank";
    EXPECT_FALSE(e->flags & effFlagsIsSynth);
}

TEST(HostRecord, BothEntryNamesAreOneFunction) {
    TestHost host;
    void* entry = host.symbol("VSTPluginMain");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(host.symbol("main"), entry);
    EXPECT_EQ(host.symbol("createEffect"), nullptr);
}

TEST(HostRecord, HostAnsweringZeroToVersionGetsNothing) {
    TestHost host;
    HostAnswers answers;
    answers.version = 0;
    EXPECT_EQ(host.create(answers), nullptr);
}

TEST(HostRecord, IdentityAnswers) {
    TestHost host;
    ASSERT_NE(host.create(), nullptr);
    EXPECT_EQ(host.dispatch(effIdentify), 0x4E764566);
    EXPECT_EQ(host.dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(host.dispatch(effGetVendorVersion), 3100);
    EXPECT_EQ(host.dispatch(effGetPlugCategory), 1);
    EXPECT_EQ(host.dispatch(effGetCurrentMidiProgram), -1);
    EXPECT_EQ(host.dispatch(effCanBeAutomated, 1000), 1);
    char text[80] = {};
    EXPECT_EQ(host.dispatch(effGetEffectName, 0, 0, text), 1);
    EXPECT_STREQ(text, "Ombrel");
    EXPECT_EQ(host.dispatch(effGetVendorString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Korvel");
    char bypass[] = "bypass", bypassCap[] = "Bypass", stereo[] = "2in4out";
    EXPECT_EQ(host.dispatch(effCanDo, 0, 0, bypass), 1);
    EXPECT_EQ(host.dispatch(effCanDo, 0, 0, bypassCap), 0);
    EXPECT_EQ(host.dispatch(effCanDo, 0, 0, stereo), -1);
    EXPECT_EQ(host.dispatch(effGetParamName, 11, 0, text), 0);
    EXPECT_STREQ(text, "Partial2");
    EXPECT_EQ(host.dispatch(effGetParamDisplay, 28, 0, text), 0);
    EXPECT_STREQ(text, "-12.5");
    EXPECT_EQ(host.dispatch(effGetParamDisplay, 99, 0, text), 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(host.close(), 1);
}

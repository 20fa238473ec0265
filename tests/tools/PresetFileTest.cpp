// The preset container codec on its own: round trips and damaged files; and a refused restore.
#include "tools/host/PresetFile.h"
#include "tools/host/PluginState.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using OmbrelHost::PresetFile;

PresetFile parameterBank() {
    PresetFile p;
    p.kind = PresetFile::Kind::Bank;
    p.fxId = 0x41424344;
    p.fxVersion = 12;
    p.version = 2;
    p.currentProgram = 1;
    p.programs = {{"First", {0.0f, 0.5f, 1.0f}},
                  {"A name far longer than the twenty-seven bytes", {0.25f, -1.0f, 2.0f}}};
    return p;
}

TEST(PresetFile, ParameterAndChunkContainersRoundTrip) {
    PresetFile bank = parameterBank();
    PresetFile back;
    std::string error;
    ASSERT_TRUE(OmbrelHost::decodePreset(OmbrelHost::encodePreset(bank), back, error)) << error;
    EXPECT_EQ(back.kind, PresetFile::Kind::Bank);
    EXPECT_FALSE(back.isChunk);
    EXPECT_EQ(back.fxId, bank.fxId);
    EXPECT_EQ(back.fxVersion, 12);
    EXPECT_EQ(back.numPrograms, 2);
    EXPECT_EQ(back.currentProgram, 1);
    ASSERT_EQ(back.programs.size(), 2u);
    EXPECT_EQ(back.programs[1].params, bank.programs[1].params);
    EXPECT_EQ(back.programs[0].name, "First");
    EXPECT_EQ(back.programs[1].name,
              std::string("A name far longer than the twenty-seven bytes").substr(0, 27));

    PresetFile chunk;
    chunk.kind = PresetFile::Kind::Program;
    chunk.isChunk = true;
    chunk.fxId = 7;
    chunk.numParams = 3;
    chunk.programName = "Lead";
    chunk.chunk = {1, 2, 3, 0, 255};
    ASSERT_TRUE(OmbrelHost::decodePreset(OmbrelHost::encodePreset(chunk), back, error)) << error;
    EXPECT_TRUE(back.isChunk);
    EXPECT_EQ(back.programName, "Lead");
    EXPECT_EQ(back.chunk, chunk.chunk);
    EXPECT_EQ(back.numParams, 3);

    // A name field filled to its end by another writer reads as the 27 characters written back.
    std::vector<std::uint8_t> bytes = OmbrelHost::encodePreset(chunk);
    std::fill(bytes.begin() + 28, bytes.begin() + 56, 'n');
    ASSERT_TRUE(OmbrelHost::decodePreset(bytes, back, error)) << error;
    EXPECT_EQ(back.programName, std::string(27, 'n'));
}

TEST(PresetFile, DamagedFilesAreRefusedWithAReason) {
    std::vector<std::uint8_t> bytes = OmbrelHost::encodePreset(parameterBank());
    PresetFile back;
    std::string error;
    for (std::size_t cut : {std::size_t(0), std::size_t(20), std::size_t(100), bytes.size() - 1}) {
        std::vector<std::uint8_t> shorter(bytes.begin(),
                                          bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_FALSE(OmbrelHost::decodePreset(shorter, back, error)) << cut;
        EXPECT_FALSE(error.empty());
    }
    std::vector<std::uint8_t> wrong = bytes;
    wrong[8] = 'X';
    EXPECT_FALSE(OmbrelHost::decodePreset(wrong, back, error));
    EXPECT_EQ(error, "unknown preset container type");
    // A chunk size beyond the end of the file.
    PresetFile chunk;
    chunk.isChunk = true;
    chunk.chunk.assign(10, 0);
    std::vector<std::uint8_t> lying = OmbrelHost::encodePreset(chunk);
    lying[59] = 200;
    EXPECT_FALSE(OmbrelHost::decodePreset(lying, back, error));
    EXPECT_EQ(error, "the chunk is cut short");
}

} // namespace

TEST(PresetFile, AChunkThePluginRefusesChangesNothingItsNameIncluded) {
    OmbrelHost::PluginHost host;
    std::string error;
    ASSERT_TRUE(host.load(OMBREL_PLUGIN_FILE, 44100, 512, error)) << error;
    const std::string before = host.programName(0);
    PresetFile shortChunk;
    shortChunk.isChunk = true;
    shortChunk.fxId = host.effect()->uniqueID;
    shortChunk.programName = "Renamed";
    shortChunk.chunk = {1, 2, 3};
    EXPECT_EQ(OmbrelHost::restorePreset(host, shortChunk, error),
              OmbrelHost::RestoreResult::Refused);
    EXPECT_NE(error.find("refuses"), std::string::npos) << error;
    EXPECT_EQ(host.programName(0), before);
}

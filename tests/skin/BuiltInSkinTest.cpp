// The shipped skin script, read as the editor reads it: line ends, statement order, control
// placement, and every name it refers to.
#include "core/KNamedFiles.h"
#include "core/KScriptReader.h"
#include "core/KText.h"
#include "params/OmbrelParameters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

using namespace Korvel;

namespace {

using Line = std::vector<std::string>;

std::string skinText() {
    KFileData f;
    if (!loadNamedFile("OmbrelSkin.txt", f)) return std::string();
    return std::string(reinterpret_cast<const char*>(f.bytes), f.size);
}

std::vector<Line> readSkin() {
    KFileData f;
    std::vector<Line> lines;
    if (!loadNamedFile("OmbrelSkin.txt", f)) return lines;
    KScriptReader r(f.bytes, f.size);
    while (r.nextLine()) {
        Line tokens;
        for (int i = 0; i < r.tokenCount(); ++i)
            tokens.push_back(r.token(i));
        if (!tokens.empty()) lines.push_back(tokens);
    }
    return lines;
}

Line control(int page, int x, int y, int w, int h, Line rest) {
    Line l = {"AddControl",      std::to_string(page), std::to_string(x),
              std::to_string(y), std::to_string(w),    std::to_string(h)};
    l.insert(l.end(), rest.begin(), rest.end());
    return l;
}

struct Knob {
    const char* param;
    int x, y;
};

const Knob kKnobs[] = {
    {"MinFreq", 240, 35},   {"MaxFreq", 305, 35},  {"Gate", 370, 35},     {"Speed", 435, 35},
    {"MainLvl", 575, 35},   {"Wave1", 45, 130},    {"Detune1", 175, 130}, {"Attk1", 240, 130},
    {"Rel1", 305, 130},     {"Noise1", 370, 130},  {"Level1", 435, 130},  {"Wave2", 45, 225},
    {"Partial2", 110, 225}, {"Detune2", 175, 225}, {"Attk2", 240, 225},   {"Rel2", 305, 225},
    {"Noise2", 370, 225},   {"Level2", 435, 225},  {"Wave3", 45, 320},    {"Partial3", 110, 320},
    {"Detune3", 175, 320},  {"Attk3", 240, 320},   {"Rel3", 305, 320},    {"Noise3", 370, 320},
    {"Level3", 435, 320},   {"LFOWave", 510, 165}, {"LFOFreq", 510, 250}, {"LFOPhase", 575, 165},
    {"LFODepth", 575, 250},
};

// Everything but the two link addresses and the two free texts, which are ours to word.
std::vector<Line> expectedSkin() {
    std::vector<Line> e = {
        {"InstallTTF", "KSans", "KSans.ttf"},
        {"AddResource", "valcol", "RGBColour", "220", "240", "255"},
        {"AddResource", "dotcol", "RGBColour", "40", "40", "50"},
        {"AddResource", "lblcol", "RGBColour", "180", "190", "200"},
        {"AddResource", "pagehl", "RGBAColour", "230", "240", "250", "20"},
        {"AddResource", "dialhl", "RGBAColour", "255", "255", "255", "60"},
        {"AddResource", "valfont", "DefFont", "12.4", "valcol", "KSans"},
        {"AddResource", "lblfont", "DefFont", "13.4", "lblcol", "KSans"},
        {"AddResource", "bgimg", "PngResource", "Ombrel.png", "640", "395", "2"},
        {"AddResource", "rnd", "PngResource", "OmbrelRnd.png", "85", "20", "2"},
        {"AddResource", "autolvl", "PngResource", "OmbrelAutoLvl.png", "50", "35", "2"},
        {"Init", "640", "395", "2"},
        {"BackgroundMap", "bgimg"},
        control(0, 518, 376, 49, 16, {"KPageSelHlt", "1", "pagehl"}),
        control(0, 578, 376, 49, 16, {"KPageSelHlt", "2", "pagehl"}),
        control(1, 520, 335, 85, 20, {"KImgCommand", "Random", "rnd"}),
        control(1, 505, 60, 50, 35, {"KImgCommand", "AutoLevel", "autolvl"}),
    };
    for (const Knob& k : kKnobs) {
        e.push_back(control(1, k.x, k.y, 40, 40, {"KPotDot", k.param, "dialhl", "11", "dotcol"}));
        e.push_back(control(1, k.x - 10, k.y + 45, 60, 15, {"KValue", k.param, "valfont"}));
    }
    e.push_back(control(2, 0, 0, 165, 55, {"KUrl", "*"}));
    e.push_back(control(2, 535, 75, 85, 30, {"KUrl", "*"}));
    const struct {
        int y, width;
        const char* text;
        const char* refresh;
    } labels[] = {
        {75, 510,
         "Korvel Ombrel ${PlugVer} ~ Pitch-detection driven, 3-oscillator monophonic synth effect",
         "0"},
        {95, 510, "Build ~ ${PlugBuild} ~ ${Platform} ~ ${BuildDate}", "0"},
        {120, 600, "*", "0"},
        {145, 600, "Host: ${SRate} Hz ~ ${HostVend} ${HostName}", "15000"},
        {185, 600, "Use the Random function to experiment with random sounds", "0"},
        {210, 600, "Auto Level sets the Main Level for maximum volume without clipping", "0"},
        {335, 570, "*", "0"},
    };
    for (const auto& l : labels)
        e.push_back(
            control(2, 20, l.y, l.width, 20, {"KLabel", "Left", l.text, "lblfont", l.refresh}));
    return e;
}

} // namespace

TEST(BuiltInSkin, HeaderLineEndsAndGroups) {
    const std::string text = skinText();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.rfind("# Ombrel Skin\r\n", 0), 0u);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    std::size_t longest = 0, start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at byte " << i;
            longest = std::max(longest, i - 1 - start);
            start = i + 1;
        } else if (text[i] == '\r') {
            EXPECT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "bare CR at byte " << i;
        }
    }
    // A longer line would be split by the reader; a "#" after the header would cut a line short.
    EXPECT_LE(longest, 254u);
    EXPECT_EQ(text.find('#', 1), std::string::npos);

    // Blank lines separate the groups; each group opens with its own kind of statement.
    std::vector<std::string> openers;
    for (std::size_t at = 0; at != std::string::npos;) {
        openers.push_back(text.substr(at, text.find_first_of(" \r", at) - at));
        at = text.find("\r\n\r\n", at);
        if (at != std::string::npos) at += 4;
    }
    const std::vector<std::string> groups = {"#",          "InstallTTF", "AddResource",
                                             "Init",       "AddControl", "AddControl",
                                             "AddControl", "AddControl"};
    EXPECT_EQ(openers, groups);
}

TEST(BuiltInSkin, StatementsLineByLine) {
    const std::vector<Line> actual = readSkin();
    const std::vector<Line> expected = expectedSkin();
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(actual[i].size(), expected[i].size()) << "statement " << i;
        for (std::size_t t = 0; t < expected[i].size(); ++t) {
            if (expected[i][t] == "*") {
                EXPECT_FALSE(actual[i][t].empty()) << "statement " << i;
            } else {
                EXPECT_EQ(actual[i][t], expected[i][t]) << "statement " << i << " token " << t;
            }
        }
    }
}

TEST(BuiltInSkin, LinksAndFreeTextsAreOurs) {
    const std::vector<Line> lines = readSkin();
    int links = 0;
    for (const Line& l : lines) {
        if (l.size() < 8 || l[6] != "KUrl") continue;
        ++links;
        EXPECT_EQ(l[7].rfind("https://ombrel.example/", 0), 0u) << l[7];
    }
    EXPECT_EQ(links, 2);
}

TEST(BuiltInSkin, EveryNameItUsesExists) {
    KList<KEffectParameter> params;
    buildOmbrelParameters(params);
    KList<KEffectCommand> commands;
    buildOmbrelCommands(commands);
    std::set<std::string> defined;
    std::set<std::string> bound;
    int knobs = 0;
    for (const Line& l : readSkin()) {
        if (l[0] == "InstallTTF" || l[0] == "AddResource") {
            const std::string& file = l[0] == "InstallTTF" ? l[2] : l[3];
            if (l[0] == "InstallTTF" || l[2] == "PngResource") {
                KFileData f;
                EXPECT_TRUE(loadNamedFile(file.c_str(), f)) << file;
            }
            if (l[0] == "AddResource" && l[2] == "DefFont") {
                EXPECT_TRUE(defined.count(l[4])) << "colour " << l[4] << " used before defined";
                EXPECT_TRUE(defined.count(l[5])) << "face " << l[5];
            }
            defined.insert(l[1]);
        } else if (l[0] == "BackgroundMap") {
            EXPECT_TRUE(defined.count(l[1])) << l[1];
        } else if (l[0] == "AddControl" && l[6] == "KPotDot") {
            int index = -1;
            for (int i = 0; i < params.size(); ++i)
                if (equalsNoCase(params.get(i)->getName(), l[7].c_str())) index = i;
            EXPECT_GE(index, 0) << l[7];
            bound.insert(params.get(index) ? params.get(index)->getName() : "");
            ++knobs;
            EXPECT_TRUE(defined.count(l[8]) && defined.count(l[10])) << l[7];
        } else if (l[0] == "AddControl" && l[6] == "KImgCommand") {
            bool found = false; // command names are matched exactly
            for (int i = 0; i < commands.size(); ++i)
                found = found || std::string(commands.get(i)->getName()) == l[7];
            EXPECT_TRUE(found) << l[7];
            EXPECT_TRUE(defined.count(l[8])) << l[8];
        } else if (l[0] == "AddControl" && l[6] == "KValue") {
            EXPECT_TRUE(defined.count(l[8])) << l[8];
        } else if (l[0] == "AddControl" && l[6] == "KLabel") {
            EXPECT_TRUE(defined.count(l[9])) << l[9];
        }
    }
    // One knob for every parameter, none twice.
    EXPECT_EQ(knobs, kOmbrelParamCount);
    EXPECT_EQ(bound.size(), static_cast<std::size_t>(kOmbrelParamCount));
}

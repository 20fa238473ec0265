// The skin interpreter on small scripts: statement order, letter case, comments, long lines,
// conditions and the refusals that leave the plug-in without an editor.
#include "core/KNamedFiles.h"
#include "editor/KEditor.h"
#include "editor/KEditorControl.h"
#include "editor/KEditorSkinBuilder.h"
#include "editor/buttons/KHlSwitch.h"
#include "editor/buttons/KImg.h"
#include "editor/buttons/KImgCommand.h"
#include "editor/buttons/KPageSelHlt.h"
#include "editor/buttons/KUrl.h"
#include "editor/knobs/KPotDot.h"
#include "editor/text/KLabel.h"
#include "editor/text/KValue.h"
#include "host/Ombrel.h"
#include "params/OmbrelParameters.h"
#include "skin/KColourResource.h"
#include "skin/KFontResource.h"
#include "skin/KImageResource.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace Korvel;

namespace {

struct Skin {
    explicit Skin(const std::string& script) : effect(new Ombrel(nullptr)) {
        KEditorSkinBuilder builder(effect.get());
        editor.reset(builder.buildEditor(reinterpret_cast<const unsigned char*>(script.data()),
                                         script.size()));
    }
    int controls() const { return editor ? editor->controls().size() : -1; }
    const KEditorControl* control(int i) const { return editor->controls().get(i); }
    const KColourResource* colour(const char* name) const {
        const KResource* r = editor->findResource(name);
        return r && r->typeIs(KColourResource::classId()) ? static_cast<const KColourResource*>(r)
                                                          : nullptr;
    }

    std::unique_ptr<Ombrel> effect;
    std::unique_ptr<KEditor> editor;
};

const char* const kColours = "AddResource dialhl RGBAColour 255 255 255 60\r\n"
                             "AddResource dotcol RGBColour 40 40 50\r\n";

TEST(SkinScript, LetterCaseAndOrderOfDefinition) {
    Skin s(std::string(kColours) +
           "init 640 395 2\n"
           // Keywords, class keywords and parameter names in any case; resource names exact.
           "addcontrol 1 240 35 40 40 khlswitch maxfreq 0 0 5 5 dialhl dotcol dialhl\n"
           "AddControl 1 240 35 40 40 KHlSwitch MinFreq 0 0 5 5 DIALHL dotcol dialhl\n"
           // A colour used before its line is not found; after it, it is.
           "AddControl 1 0 0 10 10 KHlSwitch Gate 0 0 5 5 dialhl dotcol later\n"
           "AddResource later RGBColour 300 0 0\n"
           "AddNameCtl sw 2 1 2 3 4 KHlSwitch Gate 0 0 5 5 dialhl dotcol later\n"
           // Too few arguments for the class, and an unknown class.
           "AddControl 1 0 0 10 10 KHlSwitch Gate 0 0 5 5 dialhl dotcol\n"
           "AddControl 1 0 0 10 10 KNoSuchClass Gate\n"
           "AddResource f0 DefFont 0 dotcol KSans\n"
           "AddResource f1 DefFont 12.4 dotcol KSans\n");
    ASSERT_EQ(s.controls(), 2);
    ASSERT_TRUE(s.control(0)->typeIs(KHlSwitch::classId()));
    EXPECT_EQ(static_cast<const KHlSwitch*>(s.control(0))->parameter(), kMaxFreq);
    EXPECT_EQ(s.control(0)->x(), 240);
    EXPECT_EQ(s.control(0)->page(), 1);
    EXPECT_STREQ(s.control(0)->getName(), "");
    const KEditorControl* named = s.control(1);
    EXPECT_EQ(static_cast<const KHlSwitch*>(named)->parameter(), kGate);
    EXPECT_STREQ(named->getName(), "sw");
    EXPECT_EQ(named->page(), 2);
    EXPECT_EQ(named->y(), 2);
    EXPECT_EQ(named->height(), 4);
    EXPECT_EQ(s.colour("later")->value(), 0xff00002cu) << "each component keeps its low 8 bits";
    EXPECT_EQ(s.colour("dialhl")->value(), 0x3cffffffu);
    EXPECT_EQ(s.editor->findResource("f0"), nullptr);
    const KResource* f1 = s.editor->findResource("f1");
    ASSERT_NE(f1, nullptr);
    EXPECT_DOUBLE_EQ(static_cast<const KFontResource*>(f1)->size(), 12.4);
    EXPECT_EQ(static_cast<const KFontResource*>(f1)->colour(), 0xff322828u);
}

TEST(SkinScript, CommentsQuotesAndAThreeHundredCharacterLine) {
    std::string first = "AddResource a RGBColour 1 2 3";
    std::string second = "AddResource b RGBColour 4 5 6";
    std::string longLine = first + std::string(254 - first.size(), ' ') + second;
    longLine += std::string(300 - longLine.size(), ' ');
    Skin s("# a skin\n" + longLine +
           "\r"
           "Init 640 395 2   # size\n"
           "AddResource img PngResource \"Ombrel.png\" 640 395 2 # comment\n"
           "AddResource c \"RGBColour\"\"9\" 9 9\n"
           "AddControl 1 1 2 3 4 KImg img\n"
           // The "#" inside the quotes starts the comment: too few arguments are left.
           "AddNameCtl \"a#b\" 1 0 0 10 10 KImg img\n"
           "AddControl 1 5 6 7 8 KImg \"img\"");
    ASSERT_NE(s.editor, nullptr);
    EXPECT_NE(s.colour("a"), nullptr);
    ASSERT_NE(s.colour("b"), nullptr) << "the rest of a long line is read as the next line";
    EXPECT_EQ(s.colour("b")->value(), 0xff060504u);
    EXPECT_EQ(s.colour("c")->value(), 0xff090909u) << "a closing quote ends a token";
    ASSERT_EQ(s.controls(), 2) << "the last line needs no line end";
    EXPECT_EQ(s.control(1)->x(), 5);
}

// The system word each build's "OS" checks accept (any letter case), and the other build's.
#ifdef _WIN32
#define OMBREL_THIS_OS "win"
#define OMBREL_OTHER_OS "linux"
#else
#define OMBREL_THIS_OS "linux"
#define OMBREL_OTHER_OS "win"
#endif

TEST(SkinScript, PagesBackgroundsAndConditions) {
    Skin s("StartPage 2\n"
           "Init 640 395 2\n"
           "AddResource two PngResource Ombrel.png 640 395 2\n"
           "AddResource one PngResource Ombrel.png 640 395 1\n"
           "AddResource dialhl RGBColour 1 1 1\n"
           "BackgroundMap two\n"
           "BackgroundMap one\n"
           "BackgroundImage 0 one 0\n"
           "BackgroundImage 0 one 1\n"
           "BackgroundMap Null\n"
           "AddCheck low Param gate > -Inf\n"
           "AddCheck here OS " OMBREL_THIS_OS "\n"
           "AddCheck never OS " OMBREL_OTHER_OS "\n"
           "AddCheck Not OS windows\n"
           "AddCheck bad Param Gate => 0\n"
           "AddCheck stereo InOut == 2 >= 1\n"
           "Condition Not never missing low here\n"
           "AddControl 0 0 0 1 1 KImg one\n"
           "ConditionElse\n"
           "AddControl 0 0 0 1 1 KImg one\n"
           "Condition never\n"
           "AddControl 0 0 0 1 1 KImg one\n"
           "EndCondition\n"
           "AddControl 0 0 0 1 1 KImg one\n"
           "Condition stereo Not\n"
           "AddControl 0 0 0 1 1 KImg one\n"
           "Condition bad\n"
           "AddControl 0 0 0 1 1 KImg one\n");
    ASSERT_NE(s.editor, nullptr);
    EXPECT_EQ(s.editor->startPage(), 1) << "StartPage before Init has no page count to check";
    const auto& bg = s.editor->backgrounds();
    ASSERT_EQ(bg.size(), 5);
    EXPECT_EQ(bg.get(0)->page, 1);
    EXPECT_EQ(bg.get(0)->frame, 0);
    EXPECT_EQ(bg.get(1)->page, 2);
    EXPECT_EQ(bg.get(1)->frame, 1);
    EXPECT_EQ(bg.get(3)->frame, 0) << "a one-frame image maps frame 0 to every page";
    EXPECT_EQ(bg.get(4)->page, 0);
    EXPECT_EQ(s.editor->checks().size(), 5) << "an invalid comparison word makes no check";

    ASSERT_EQ(s.controls(), 6);
    EXPECT_TRUE(s.control(0)->conditions().holds());
    EXPECT_FALSE(s.control(1)->conditions().holds()) << "the else branch is the complement";
    EXPECT_FALSE(s.control(2)->conditions().holds()) << "a new Condition clears the else flag";
    EXPECT_TRUE(s.control(3)->conditions().holds());
    EXPECT_EQ(s.control(3)->conditions().size(), 0);
    EXPECT_FALSE(s.control(4)->conditions().holds()) << "a final Not is the check named Not";
    EXPECT_EQ(s.control(4)->conditions().size(), 2);
    EXPECT_EQ(s.control(5)->conditions().size(), 0) << "an unknown check is skipped";

    Skin later("Init 640 395 2\nStartPage 2\nStartPage 3\n");
    EXPECT_EQ(later.editor->startPage(), 2);
}

TEST(SkinScript, TheBuiltInSkinBuildsEveryControlItNames) {
    KFileData file;
    ASSERT_TRUE(loadNamedFile("OmbrelSkin.txt", file));
    Skin s(std::string(reinterpret_cast<const char*>(file.bytes), file.size));
    ASSERT_NE(s.editor, nullptr);
    EXPECT_EQ(s.editor->width(), 640);
    EXPECT_EQ(s.editor->height(), 395);
    EXPECT_EQ(s.editor->pageCount(), 2);
    EXPECT_EQ(s.editor->refreshThrottleMs(), 40u);
    EXPECT_EQ(s.editor->resources().size(), 11);
    EXPECT_EQ(s.editor->backgrounds().size(), 2);
    const KTypeId kinds[] = {KPageSelHlt::classId(), KImgCommand::classId(), KPotDot::classId(),
                             KValue::classId(),      KUrl::classId(),        KLabel::classId()};
    const int expected[] = {2, 2, 29, 29, 2, 7};
    int counts[6] = {};
    for (int i = 0; i < s.controls(); ++i)
        for (int k = 0; k < 6; ++k)
            counts[k] += s.control(i)->typeIs(kinds[k]);
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(counts[k], expected[k]) << k;
    EXPECT_EQ(s.controls(), 71);
    // The first knob: MinFreq at (240, 35) on page 1, its value display under it.
    ASSERT_TRUE(s.control(4)->typeIs(KPotDot::classId()));
    EXPECT_EQ(s.control(4)->x(), 240);
    EXPECT_EQ(s.control(4)->page(), 1);
    EXPECT_EQ(static_cast<const KValue*>(s.control(5))->parameter(), kMinFreq);
    EXPECT_EQ(s.control(5)->y(), 80);
}

TEST(SkinScript, NoValidInitGivesNoEditor) {
    EXPECT_EQ(Skin("Init 640 395 0\nAddResource a RGBColour 1 2 3\n").editor, nullptr);
    EXPECT_EQ(Skin("Init 640 0 2\n").editor, nullptr);
    EXPECT_EQ(Skin("Init 640 395\n").editor, nullptr);
    EXPECT_EQ(Skin("").editor, nullptr);
    EXPECT_NE(Skin("Init 640 395 0\nInit 10 10 1\n").editor, nullptr) << "a later Init overrides";
}

TEST(SkinScript, FontSizesTheRasteriserCannotHoldAreRefused) {
    Skin s(std::string(kColours) + "Init 640 395 1\n"
                                   "AddResource e5 DefFont 1e5 dotcol KSans\n"
                                   "AddResource e30 DefFont 1e30 dotcol KSans\n"
                                   "AddResource inf DefFont inf dotcol KSans\n"
                                   "AddResource tenths DefFont 3276.8 dotcol KSans\n"
                                   "AddResource above DefFont 1000.01 dotcol KSans\n"
                                   "AddResource largest DefFont 1000 dotcol KSans\n"
                                   "AddControl 1 0 0 10 10 KLabel Left text e5 0\n"
                                   "AddControl 1 0 0 10 10 KLabel Left text largest 0\n");
    ASSERT_NE(s.editor, nullptr);
    for (const char* name : {"e5", "e30", "inf", "tenths", "above"})
        EXPECT_EQ(s.editor->findResource(name), nullptr) << name;
    const KResource* largest = s.editor->findResource("largest");
    ASSERT_NE(largest, nullptr);
    EXPECT_DOUBLE_EQ(static_cast<const KFontResource*>(largest)->size(), KFontResource::kMaxSize);
    EXPECT_EQ(s.controls(), 1) << "a label on a refused font is not created";
}

TEST(SkinScript, AHugePageCountCannotTakeTheHostsMemoryWithOneLine) {
    Skin s("Init 640 395 2000000000\n"
           "AddResource bg PngResource Ombrel.png 640 395 2\n"
           "BackgroundMap bg\n");
    ASSERT_NE(s.editor, nullptr);
    EXPECT_EQ(s.editor->backgrounds().size(), KEditor::kMaxMappedPages);
}

} // namespace

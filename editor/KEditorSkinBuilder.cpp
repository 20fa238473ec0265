#include "editor/KEditorSkinBuilder.h"

#include "core/KEffectInterface.h"
#include "core/KNamedFiles.h"
#include "core/KScriptReader.h"
#include "core/KText.h"
#include "editor/KEditor.h"
#include "editor/KEditorControl.h"
#include "skin/KColourResource.h"
#include "skin/KFontResource.h"
#include "skin/KFontTypeResource.h"
#include "skin/KImageResource.h"
#include "skin/KInOutCheck.h"
#include "skin/KOSCheck.h"
#include "skin/KParamCheck.h"

#include "editor/buttons/KHlRadio.h"
#include "editor/buttons/KHlSwitch.h"
#include "editor/buttons/KImg.h"
#include "editor/buttons/KImgButton.h"
#include "editor/buttons/KImgCommand.h"
#include "editor/buttons/KImgPageSel.h"
#include "editor/buttons/KImgRadio.h"
#include "editor/buttons/KImgSwitch.h"
#include "editor/buttons/KImgUrl.h"
#include "editor/buttons/KPageSelHlt.h"
#include "editor/buttons/KUrl.h"
#include "editor/knobs/KBgPotDot.h"
#include "editor/knobs/KImgPot.h"
#include "editor/knobs/KPotDot.h"
#include "editor/knobs/KPotLine.h"
#include "editor/knobs/KSlide.h"
#include "editor/meters/KBarFracMeter.h"
#include "editor/meters/KImgFracMeter.h"
#include "editor/meters/KImgMeter.h"
#include "editor/meters/KImgPeak.h"
#include "editor/meters/KWave.h"
#include "editor/meters/KZoomWave.h"
#include "editor/text/KBgValue.h"
#include "editor/text/KLabel.h"
#include "editor/text/KTextPeak.h"
#include "editor/text/KValue.h"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace Korvel {

namespace {

bool isNull(const char* name) {
    return equalsNoCase(name, "Null");
}

// Name lookups of the control and resource factories; each fails (false or null) on "Null" where
// a value is required.
struct Lookup {
    KEffectInterface* effect;
    KEditor* editor;

    // -1 when the effect has no such parameter.
    int parameter(const char* name) const { return effect ? effect->parameterIndex(name) : -1; }
    int command(const char* name) const { return effect ? effect->commandId(name) : -1; }
    template <typename T> const T* resource(const char* name) const {
        if (isNull(name)) return nullptr;
        const KResource* r = editor->findResource(name);
        return r && r->typeIs(T::classId()) ? static_cast<const T*>(r) : nullptr;
    }
    bool colour(const char* name, std::uint32_t* out) const {
        const KColourResource* c = resource<KColourResource>(name);
        if (c) *out = c->value();
        return c != nullptr;
    }
    const KImageResource* image(const char* name) const { return resource<KImageResource>(name); }
    const KFontResource* font(const char* name) const { return resource<KFontResource>(name); }
    // Display sources: "Null" means none without a lookup.
    const KDoubleSource* doubleSource(const char* name) const {
        return isNull(name) || !effect ? nullptr : effect->doubleSource(name);
    }
    const KIntSource* intSource(const char* name) const {
        return isNull(name) || !effect ? nullptr : effect->intSource(name);
    }
    const KHistory* historySource(const char* name) const {
        return isNull(name) || !effect ? nullptr : effect->historySource(name);
    }
};

int orientationCode(const char* word) {
    static const char* const words[] = {"LeftToRight", "RightToLeft", "TopToBottom", "BottomToTop"};
    for (int i = 0; i < 4; ++i)
        if (equalsNoCase(word, words[i])) return i + 1;
    return 0;
}

// "C"/"c" centre 1, "R"/"r" right 2, anything else left 0.
int alignmentCode(const char* word) {
    char c = word ? word[0] : 0;
    if (c == 'C' || c == 'c') return 1;
    if (c == 'R' || c == 'r') return 2;
    return 0;
}

// The arguments of one control or resource line, by position after its keyword. A lookup that
// fails or a value outside its range fails the whole line: control() and resource() then create
// nothing, so no partial object is ever built.
class Arguments {
public:
    Arguments(const KScriptReader& reader, int first, const Lookup& find,
              const KControlPlacement* placement)
        : reader_(reader), first_(first), find_(find), placement_(placement) {}

    const char* text(int i) const { return reader_.token(first_ + i); }
    int integer(int i) const { return reader_.integer(first_ + i); }
    double number(int i) const { return reader_.number(first_ + i); }
    int orientation(int i) const { return orientationCode(text(i)); }
    int alignment(int i) const { return alignmentCode(text(i)); }
    // A display source that may be absent ("Null" or unknown): none, and the line goes on.
    const KDoubleSource* optionalDoubleSource(int i) const { return find_.doubleSource(text(i)); }

    // Each of these fails the line when its value cannot be used.
    int parameter(int i) { return atLeast(find_.parameter(text(i)), 0); }
    int command(int i) { return atLeast(find_.command(text(i)), 0); }
    int positiveInteger(int i) { return atLeast(integer(i), 1); }
    double positiveNumber(int i) {
        double v = number(i);
        require(v > 0);
        return v;
    }
    double fontSize(int i) {
        double v = number(i);
        require(v > 0 && v <= KFontResource::kMaxSize);
        return v;
    }
    std::uint32_t colour(int i) {
        std::uint32_t value = 0;
        require(find_.colour(text(i), &value));
        return value;
    }
    const KImageResource* image(int i) { return found(find_.image(text(i))); }
    const KFontResource* font(int i) { return found(find_.font(text(i))); }
    const KDoubleSource* doubleSource(int i) { return found(find_.doubleSource(text(i))); }
    const KIntSource* intSource(int i) { return found(find_.intSource(text(i))); }
    const KHistory* historySource(int i) { return found(find_.historySource(text(i))); }
    void require(bool condition) { ok_ = ok_ && condition; }

    // The arguments are all evaluated (and checked) before the body runs.
    template <typename T, typename... A> KEditorControl* control(A&&... arguments) const {
        return ok_ ? new T(*placement_, std::forward<A>(arguments)...) : nullptr;
    }
    template <typename T, typename... A> KResource* resource(A&&... arguments) const {
        return ok_ ? new T(std::forward<A>(arguments)...) : nullptr;
    }

private:
    int atLeast(int value, int least) {
        require(value >= least);
        return value;
    }
    template <typename T> T* found(T* object) {
        require(object != nullptr);
        return object;
    }

    const KScriptReader& reader_;
    int first_;
    const Lookup& find_;
    const KControlPlacement* placement_;
    bool ok_ = true;
};

// A keyword counts only when at least `arguments` tokens follow it; `build` then makes the object
// or nothing. The tables are tried in order and the first keyword that counts decides.
template <typename Made> struct Row {
    const char* keyword;
    int arguments;
    Made* (*build)(Arguments& a);
};

// Adding a control class is adding its row.
const Row<KEditorControl> kControlRows[] = {
    {"KBarFracMeter", 3,
     [](Arguments& a) {
         return a.control<KBarFracMeter>(a.doubleSource(0), a.orientation(1), a.colour(2));
     }},
    {"KPotDot", 4,
     [](Arguments& a) {
         return a.control<KPotDot>(a.parameter(0), a.colour(1), a.positiveNumber(2), a.colour(3));
     }},
    {"KBgPotDot", 4,
     [](Arguments& a) {
         return a.control<KBgPotDot>(a.parameter(0), a.image(1), a.positiveNumber(2), a.colour(3));
     }},
    {"KPotLine", 4,
     [](Arguments& a) {
         return a.control<KPotLine>(a.parameter(0), a.colour(1), a.number(2), a.colour(3));
     }},
    {"KTextPeak", 4,
     [](Arguments& a) {
         return a.control<KTextPeak>(a.doubleSource(0), a.command(1), a.font(2), a.font(3));
     }},
    {"KUrl", 1, [](Arguments& a) { return a.control<KUrl>(a.text(0)); }},
    {"KImgUrl", 2, [](Arguments& a) { return a.control<KImgUrl>(a.image(0), a.text(1)); }},
    {"KImgCommand", 2,
     [](Arguments& a) { return a.control<KImgCommand>(a.command(0), a.image(1)); }},
    {"KImgFracMeter", 2,
     [](Arguments& a) { return a.control<KImgFracMeter>(a.doubleSource(0), a.image(1)); }},
    {"KImgMeter", 4,
     [](Arguments& a) {
         return a.control<KImgMeter>(a.intSource(0), a.positiveNumber(1), a.number(2), a.image(3));
     }},
    {"KImgPot", 2, [](Arguments& a) { return a.control<KImgPot>(a.parameter(0), a.image(1)); }},
    {"KImgButton", 2,
     [](Arguments& a) { return a.control<KImgButton>(a.parameter(0), a.image(1)); }},
    {"KImgPageSel", 2,
     [](Arguments& a) { return a.control<KImgPageSel>(a.image(0), a.positiveInteger(1)); }},
    {"KImgRadio", 4,
     [](Arguments& a) {
         int option = a.integer(1), highest = a.integer(2);
         a.require(option >= 0 && option <= highest);
         return a.control<KImgRadio>(a.parameter(0), option, highest, a.image(3));
     }},
    {"KImgSwitch", 2,
     [](Arguments& a) { return a.control<KImgSwitch>(a.parameter(0), a.image(1)); }},
    {"KImgPeak", 3,
     [](Arguments& a) { return a.control<KImgPeak>(a.doubleSource(0), a.command(1), a.image(2)); }},
    {"KImg", 1, [](Arguments& a) { return a.control<KImg>(a.image(0)); }},
    {"KLabel", 4,
     [](Arguments& a) {
         return a.control<KLabel>(a.alignment(0), a.text(1), a.font(2), a.integer(3));
     }},
    {"KValue", 2, [](Arguments& a) { return a.control<KValue>(a.parameter(0), a.font(1)); }},
    {"KBgValue", 3,
     [](Arguments& a) { return a.control<KBgValue>(a.parameter(0), a.image(1), a.font(2)); }},
    {"KPageSelHlt", 2,
     [](Arguments& a) { return a.control<KPageSelHlt>(a.positiveInteger(0), a.colour(1)); }},
    {"KZoomWave", 10,
     [](Arguments& a) {
         return a.control<KZoomWave>(a.historySource(0), a.optionalDoubleSource(1),
                                     a.optionalDoubleSource(2), a.colour(3), a.colour(4),
                                     a.colour(5), a.colour(6), a.colour(7), a.colour(8), a.font(9));
     }},
    {"KWave", 6,
     [](Arguments& a) {
         return a.control<KWave>(a.historySource(0), a.optionalDoubleSource(1),
                                 a.optionalDoubleSource(2), a.colour(3), a.colour(4), a.colour(5));
     }},
    {"KHlSwitch", 8,
     [](Arguments& a) {
         return a.control<KHlSwitch>(a.parameter(0), a.integer(1), a.integer(2), a.integer(3),
                                     a.integer(4), a.colour(5), a.colour(6), a.colour(7));
     }},
    {"KHlRadio", 10,
     [](Arguments& a) {
         return a.control<KHlRadio>(a.parameter(0), a.integer(1), a.integer(2), a.integer(3),
                                    a.integer(4), a.integer(5), a.integer(6), a.colour(7),
                                    a.colour(8), a.colour(9));
     }},
    {"KSlide", 7,
     [](Arguments& a) {
         return a.control<KSlide>(a.parameter(0), a.image(1), a.colour(2), a.integer(3),
                                  a.integer(4), a.integer(5), a.integer(6));
     }},
};

const Row<KResource> kResourceRows[] = {
    {"PngResource", 4,
     [](Arguments& a) {
         return a.resource<KImageResource>(a.text(0), a.positiveInteger(1), a.positiveInteger(2),
                                           a.positiveInteger(3));
     }},
    {"RGBColour", 3,
     [](Arguments& a) {
         return a.resource<KColourResource>(a.integer(0), a.integer(1), a.integer(2));
     }},
    {"RGBAColour", 4,
     [](Arguments& a) {
         return a.resource<KColourResource>(a.integer(0), a.integer(1), a.integer(2), a.integer(3));
     }},
    {"DefFont", 3,
     [](Arguments& a) { return a.resource<KFontResource>(a.fontSize(0), a.colour(1), a.text(2)); }},
};

// The reader stands at the keyword; the arguments start after it.
template <typename Made, std::size_t N>
Made* buildFromTable(const Row<Made> (&rows)[N], KScriptReader& r, const Lookup& find,
                     const KControlPlacement* placement) {
    Arguments arguments(r, r.cursor() + 1, find, placement);
    for (const Row<Made>& row : rows)
        if (r.atKeyword(row.keyword, row.arguments)) return row.build(arguments);
    return nullptr;
}

} // namespace

KEditorSkinBuilder::KEditorSkinBuilder(KEffectInterface* effect) : effect_(effect) {}

KEditorSkinBuilder::~KEditorSkinBuilder() {
    delete editor_;
}

KEditor* KEditorSkinBuilder::build(const char* fileName) {
    KFileData file;
    if (!fileName || !loadNamedFile(fileName, file)) return nullptr;
    return buildEditor(file.bytes, file.size);
}

KEditor* KEditorSkinBuilder::buildEditor(const unsigned char* data, std::size_t size) {
    delete editor_;
    editor_ = new KEditor(effect_);
    if (!editor_) return nullptr;
    conditions_.clear();
    KScriptReader reader(data, size);
    while (reader.nextLine())
        if (reader.tokenCount() > 0) statement(reader);
    conditions_.clear();
    KEditor* editor = editor_;
    editor_ = nullptr;
    if (editor->width() < 1 || editor->height() < 1 || editor->pageCount() < 1) {
        delete editor;
        return nullptr;
    }
    return editor;
}

void KEditorSkinBuilder::statement(KScriptReader& r) {
    r.setCursor(0);
    if (r.atKeyword("Init", 3)) {
        editor_->setSize(r.integer(1), r.integer(2));
        editor_->setPageCount(r.integer(3));
    } else if (r.atKeyword("BackgroundMap", 1)) {
        editor_->mapBackground(Lookup{effect_, editor_}.image(r.token(1)), conditions_);
    } else if (r.atKeyword("BackgroundImage", 3)) {
        int page = r.integer(1), frame = r.integer(3);
        const KImageResource* image = Lookup{effect_, editor_}.image(r.token(2));
        if (page >= 0 && frame >= 1 && image)
            editor_->addBackground(page, image, frame - 1, conditions_);
    } else if (r.atKeyword("StartPage", 1)) {
        int page = r.integer(1);
        if (page >= 1 && page <= editor_->pageCount()) editor_->setStartPage(page);
    } else if (r.atKeyword("RefreshThrottleMs", 1)) {
        editor_->setRefreshThrottleMs(static_cast<std::uint32_t>(r.integer(1)));
    } else if (r.atKeyword("Condition", 1)) {
        condition(r);
    } else if (r.atKeyword("ConditionElse", 0)) {
        conditions_.toggleElse();
    } else if (r.atKeyword("EndCondition", 0)) {
        conditions_.clear();
    } else if (r.atKeyword("AddCheck", 2)) {
        addCheck(r);
    } else if (r.atKeyword("AddResource", 1)) {
        r.setCursor(2);
        if (KResource* resource = createResource(r)) {
            resource->setName(r.token(1));
            editor_->addResource(resource);
        }
    } else if (r.atKeyword("AddControl", 5)) {
        addControl(r, false);
    } else if (r.atKeyword("AddNameCtl", 6)) {
        addControl(r, true);
    } else if (r.atKeyword("InstallTTF", 2)) {
        editor_->addResource(new KFontTypeResource(r.token(1), r.token(2)));
    }
}

void KEditorSkinBuilder::condition(KScriptReader& r) {
    conditions_.clear();
    bool negate = false;
    for (int i = 1; i < r.tokenCount(); ++i) {
        // "Not" marks the next name, unless it is the last token: then it is a name itself.
        if (r.tokenIs(i, "Not") && i + 1 < r.tokenCount()) {
            negate = true;
            continue;
        }
        if (const KCheck* check = editor_->findCheck(r.token(i)))
            conditions_.add(editor_->conditionRef(check, negate));
        negate = false;
    }
}

void KEditorSkinBuilder::addCheck(KScriptReader& r) {
    KCheck* check = nullptr;
    r.setCursor(2);
    if (r.atKeyword("Param", 3)) {
        int index = Lookup{effect_, editor_}.parameter(r.token(3));
        int comparison = comparisonCode(r.token(4));
        if (index >= 0 && comparison != kInvalid)
            check = new KParamCheck(effect_, index, comparison, r.number(5));
    } else if (r.atKeyword("InOut", 4)) {
        int in = comparisonCode(r.token(3)), out = comparisonCode(r.token(5));
        if (in != kInvalid && out != kInvalid)
            check = new KInOutCheck(effect_, in, r.integer(4), out, r.integer(6));
    } else if (r.atKeyword("OS", 1)) {
        check = new KOSCheck(r.token(3));
    }
    if (!check) return;
    check->setName(r.token(1));
    editor_->addCheck(check);
}

void KEditorSkinBuilder::addControl(KScriptReader& r, bool named) {
    int first = named ? 2 : 1;
    KControlPlacement placement;
    placement.page = r.integer(first);
    placement.x = r.integer(first + 1);
    placement.y = r.integer(first + 2);
    placement.width = r.integer(first + 3);
    placement.height = r.integer(first + 4);
    placement.conditions = conditions_;
    placement.effect = effect_;
    placement.editor = editor_;
    r.setCursor(first + 5);
    KEditorControl* control = createControl(placement, r);
    if (!control) return;
    if (named) control->setName(r.token(1));
    editor_->addControl(control);
}

KResource* KEditorSkinBuilder::createResource(KScriptReader& r) {
    return buildFromTable(kResourceRows, r, Lookup{effect_, editor_}, nullptr);
}

KEditorControl* KEditorSkinBuilder::createControl(const KControlPlacement& p, KScriptReader& r) {
    return buildFromTable(kControlRows, r, Lookup{effect_, editor_}, &p);
}

} // namespace Korvel

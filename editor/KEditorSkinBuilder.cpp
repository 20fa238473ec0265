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

#include <cstdint>
#include <memory>
#include <new>

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
    int a = r.cursor() + 1;
    if (r.atKeyword("PngResource", 4)) {
        int w = r.integer(a + 1), h = r.integer(a + 2), n = r.integer(a + 3);
        if (w < 1 || h < 1 || n < 1) return nullptr;
        return new KImageResource(r.token(a), w, h, n);
    }
    if (r.atKeyword("RGBColour", 3))
        return new KColourResource(r.integer(a), r.integer(a + 1), r.integer(a + 2));
    if (r.atKeyword("RGBAColour", 4))
        return new KColourResource(r.integer(a), r.integer(a + 1), r.integer(a + 2),
                                   r.integer(a + 3));
    if (r.atKeyword("DefFont", 3)) {
        double size = r.number(a);
        std::uint32_t colour = 0;
        if (!(size > 0) || !Lookup{effect_, editor_}.colour(r.token(a + 1), &colour))
            return nullptr;
        return new KFontResource(size, colour, r.token(a + 2));
    }
    return nullptr;
}

KEditorControl* KEditorSkinBuilder::createControl(const KControlPlacement& p, KScriptReader& r) {
    // Arguments start after the class keyword; each class line names its lookups in table order.
    const Lookup find{effect_, editor_};
    const int a = r.cursor() + 1;
    auto t = [&r, a](int i) { return r.token(a + i); };
    auto integer = [&r, a](int i) { return r.integer(a + i); };
    auto number = [&r, a](int i) { return r.number(a + i); };
    std::uint32_t c0 = 0, c1 = 0, c2 = 0, c3 = 0, c4 = 0, c5 = 0;

    if (r.atKeyword("KBarFracMeter", 3)) {
        const KDoubleSource* source = find.doubleSource(t(0));
        if (source && find.colour(t(2), &c0))
            return new KBarFracMeter(p, source, orientationCode(t(1)), c0);
        return nullptr;
    }
    if (r.atKeyword("KPotDot", 4)) {
        int param = find.parameter(t(0));
        double distance = number(2);
        if (param >= 0 && find.colour(t(1), &c0) && distance > 0 && find.colour(t(3), &c1))
            return new KPotDot(p, param, c0, distance, c1);
        return nullptr;
    }
    if (r.atKeyword("KBgPotDot", 4)) {
        int param = find.parameter(t(0));
        const KImageResource* image = find.image(t(1));
        double distance = number(2);
        if (param >= 0 && image && distance > 0 && find.colour(t(3), &c0))
            return new KBgPotDot(p, param, image, distance, c0);
        return nullptr;
    }
    if (r.atKeyword("KPotLine", 4)) {
        int param = find.parameter(t(0));
        if (param >= 0 && find.colour(t(1), &c0) && find.colour(t(3), &c1))
            return new KPotLine(p, param, c0, number(2), c1);
        return nullptr;
    }
    if (r.atKeyword("KTextPeak", 4)) {
        const KDoubleSource* source = find.doubleSource(t(0));
        int command = find.command(t(1));
        const KFontResource* f0 = find.font(t(2));
        const KFontResource* f1 = find.font(t(3));
        if (source && command >= 0 && f0 && f1) return new KTextPeak(p, source, command, f0, f1);
        return nullptr;
    }
    if (r.atKeyword("KUrl", 1)) {
        return new KUrl(p, t(0));
        return nullptr;
    }
    if (r.atKeyword("KImgUrl", 2)) {
        if (const KImageResource* image = find.image(t(0))) return new KImgUrl(p, image, t(1));
        return nullptr;
    }
    if (r.atKeyword("KImgCommand", 2)) {
        int command = find.command(t(0));
        const KImageResource* image = find.image(t(1));
        if (command >= 0 && image) return new KImgCommand(p, command, image);
        return nullptr;
    }
    if (r.atKeyword("KImgFracMeter", 2)) {
        const KDoubleSource* source = find.doubleSource(t(0));
        const KImageResource* image = find.image(t(1));
        if (source && image) return new KImgFracMeter(p, source, image);
        return nullptr;
    }
    if (r.atKeyword("KImgMeter", 4)) {
        const KIntSource* source = find.intSource(t(0));
        double scale = number(1);
        const KImageResource* image = find.image(t(3));
        if (source && image && scale > 0) return new KImgMeter(p, source, scale, number(2), image);
        return nullptr;
    }
    if (r.atKeyword("KImgPot", 2)) {
        int param = find.parameter(t(0));
        const KImageResource* image = find.image(t(1));
        if (param >= 0 && image) return new KImgPot(p, param, image);
        return nullptr;
    }
    if (r.atKeyword("KImgButton", 2)) {
        int param = find.parameter(t(0));
        const KImageResource* image = find.image(t(1));
        if (param >= 0 && image) return new KImgButton(p, param, image);
        return nullptr;
    }
    if (r.atKeyword("KImgPageSel", 2)) {
        const KImageResource* image = find.image(t(0));
        int page = integer(1);
        if (image && page >= 1) return new KImgPageSel(p, image, page);
        return nullptr;
    }
    if (r.atKeyword("KImgRadio", 4)) {
        int param = find.parameter(t(0));
        int option = integer(1), highest = integer(2);
        const KImageResource* image = find.image(t(3));
        if (param >= 0 && option >= 0 && option <= highest && image)
            return new KImgRadio(p, param, option, highest, image);
        return nullptr;
    }
    if (r.atKeyword("KImgSwitch", 2)) {
        int param = find.parameter(t(0));
        const KImageResource* image = find.image(t(1));
        if (param >= 0 && image) return new KImgSwitch(p, param, image);
        return nullptr;
    }
    if (r.atKeyword("KImgPeak", 3)) {
        const KDoubleSource* source = find.doubleSource(t(0));
        int command = find.command(t(1));
        const KImageResource* image = find.image(t(2));
        if (source && command >= 0 && image) return new KImgPeak(p, source, command, image);
        return nullptr;
    }
    if (r.atKeyword("KImg", 1)) {
        if (const KImageResource* image = find.image(t(0))) return new KImg(p, image);
        return nullptr;
    }
    if (r.atKeyword("KLabel", 4)) {
        if (const KFontResource* font = find.font(t(2)))
            return new KLabel(p, alignmentCode(t(0)), t(1), font, integer(3));
        return nullptr;
    }
    if (r.atKeyword("KValue", 2)) {
        int param = find.parameter(t(0));
        const KFontResource* font = find.font(t(1));
        if (param >= 0 && font) return new KValue(p, param, font);
        return nullptr;
    }
    if (r.atKeyword("KBgValue", 3)) {
        int param = find.parameter(t(0));
        const KImageResource* image = find.image(t(1));
        const KFontResource* font = find.font(t(2));
        if (param >= 0 && image && font) return new KBgValue(p, param, image, font);
        return nullptr;
    }
    if (r.atKeyword("KPageSelHlt", 2)) {
        int page = integer(0);
        if (page >= 1 && find.colour(t(1), &c0)) return new KPageSelHlt(p, page, c0);
        return nullptr;
    }
    if (r.atKeyword("KZoomWave", 10)) {
        const KHistory* history = find.historySource(t(0));
        const KFontResource* font = find.font(t(9));
        if (history && find.colour(t(3), &c0) && find.colour(t(4), &c1) && find.colour(t(5), &c2) &&
            find.colour(t(6), &c3) && find.colour(t(7), &c4) && find.colour(t(8), &c5) && font)
            return new KZoomWave(p, history, find.doubleSource(t(1)), find.doubleSource(t(2)), c0,
                                 c1, c2, c3, c4, c5, font);
        return nullptr;
    }
    if (r.atKeyword("KWave", 6)) {
        const KHistory* history = find.historySource(t(0));
        if (history && find.colour(t(3), &c0) && find.colour(t(4), &c1) && find.colour(t(5), &c2))
            return new KWave(p, history, find.doubleSource(t(1)), find.doubleSource(t(2)), c0, c1,
                             c2);
        return nullptr;
    }
    if (r.atKeyword("KHlSwitch", 8)) {
        int param = find.parameter(t(0));
        if (param >= 0 && find.colour(t(5), &c0) && find.colour(t(6), &c1) &&
            find.colour(t(7), &c2))
            return new KHlSwitch(p, param, integer(1), integer(2), integer(3), integer(4), c0, c1,
                                 c2);
        return nullptr;
    }
    if (r.atKeyword("KHlRadio", 10)) {
        int param = find.parameter(t(0));
        if (param >= 0 && find.colour(t(7), &c0) && find.colour(t(8), &c1) &&
            find.colour(t(9), &c2))
            return new KHlRadio(p, param, integer(1), integer(2), integer(3), integer(4),
                                integer(5), integer(6), c0, c1, c2);
        return nullptr;
    }
    if (r.atKeyword("KSlide", 7)) {
        int param = find.parameter(t(0));
        const KImageResource* image = find.image(t(1));
        if (param >= 0 && image && find.colour(t(2), &c0))
            return new KSlide(p, param, image, c0, integer(3), integer(4), integer(5), integer(6));
        return nullptr;
    }
    return nullptr;
}

} // namespace Korvel

#include "editor/text/KTextPeak.h"

#include "core/KEffectInterface.h"
#include "core/KText.h"
#include "editor/KDrawSurface.h"

#include <cmath>

namespace Korvel {

KTypeId KTextPeak::classId() {
    static const char tag = 0;
    return &tag;
}

KTextPeak::KTextPeak(const KControlPlacement& placement, const KDoubleSource* source, int command,
                     const KFontResource* normal, const KFontResource* over)
    : KEditorControl(placement), source_(source), command_(command), normal_(normal), over_(over) {}

double KTextPeak::value() const {
    if (!source_) return 0;
    double v = source_->load(std::memory_order_relaxed);
    return v >= 0.000001 ? v : 0;
}

void KTextPeak::formatPeak(double v, char* text, std::size_t size, bool* over) {
    double dB = std::log2(v) * 0.30102999566398120 * 20;
    char number[kTextBytes];
    if (dB == -HUGE_VAL)
        copyText(number, "-Inf", sizeof number - 1);
    else if (dB == HUGE_VAL)
        copyText(number, "Inf", sizeof number - 1);
    else
        formatFixed(number, sizeof number, dB, 1);
    copyText(text, "Peak: ", size - 1);
    appendText(text, size, number);
    appendText(text, size, " dB");
    *over = dB > 0;
}

bool KTextPeak::needsRedraw() const {
    return KEditorControl::needsRedraw() || std::fabs(value() - lastValue_) >= 0.00001;
}

void KTextPeak::paint(KDrawSurface& surface) {
    double v = value();
    char text[kTextBytes];
    bool over = false;
    formatPeak(v, text, sizeof text, &over);
    surface.text(text, 0, 0, width_, height_, over ? over_ : normal_, KDrawSurface::kAlignCentre);
    lastValue_ = v;
}

int KTextPeak::cursorKind(int, int) {
    return kCursorHand;
}

bool KTextPeak::mouseDown(bool shift, bool control, int, int) {
    if (source_ && effect_) {
        effect_->runCommand(command_, shift, control);
        requestRedraw();
    }
    return false;
}

} // namespace Korvel

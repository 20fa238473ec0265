// KTextPeak: a peak level read from a double display source, shown as "Peak: <dB> dB" with one
// decimal ("-Inf" for silence), in the over font above 0 dB. A click runs a command (typically
// one that resets the peak) without taking the mouse.
// Constructor: KTextPeak(placement, const KDoubleSource* source, int command,
//                        const KFontResource* normal, const KFontResource* over); the source
//                        lives as long as the effect; the fonts are not owned. [ui]
#pragma once

#include "core/KEffectInterface.h"
#include "editor/KEditorControl.h"

#include <cstddef>

namespace Korvel {

class KFontResource;

class KTextPeak : public KEditorControl {
public:
    static KTypeId classId();
    static constexpr std::size_t kTextBytes = 32;

    KTextPeak(const KControlPlacement& placement, const KDoubleSource* source, int command,
              const KFontResource* normal, const KFontResource* over);
    KTypeId typeId() const override { return classId(); }

    // The source's value; 0 without a source, below 0.000001 or not a number.
    virtual double value() const;
    // The text and font a paint at value v draws.
    static void formatPeak(double v, char* text, std::size_t size, bool* over);

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;
    int cursorKind(int x, int y) override;
    bool mouseDown(bool shift, bool control, int x, int y) override;

private:
    const KDoubleSource* source_;
    int command_;
    const KFontResource* normal_;
    const KFontResource* over_;
    double lastValue_ = -1;
};

} // namespace Korvel

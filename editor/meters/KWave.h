// KWave: a waveform display of a KHistory display source: one column per entry, the newest at
// the right edge, a vertical line per signal from its minimum to its maximum around a centre
// line, and optional level lines mirrored about the centre from two double sources.
// Constructor: KWave(placement, const KHistory* history, const KDoubleSource* level1,
//                    const KDoubleSource* level2, std::uint32_t colourA, std::uint32_t colourB,
//                    std::uint32_t colourC); either level may be null; colours packed RGBA,
//                    red lowest. [ui]
#pragma once

#include "core/KEffectInterface.h"
#include "editor/KEditorControl.h"

#include <cstdint>

namespace Korvel {

class KHistory;

class KWave : public KEditorControl {
public:
    static KTypeId classId();

    KWave(const KControlPlacement& placement, const KHistory* history, const KDoubleSource* level1,
          const KDoubleSource* level2, std::uint32_t colourA, std::uint32_t colourB,
          std::uint32_t colourC);
    KTypeId typeId() const override { return classId(); }

    int centre() const { return centre_; }
    double scale() const { return scale_; }
    // Columns drawn: the smaller of the width and the history's capacity.
    int columnCount() const;
    // Row of a signal value: centre - round(scale x value x zoom), limited to the wave area.
    int rowOf(double value) const;
    // Distance of a level's lines from the centre, or -1 when the level is absent or outside
    // 0..1.
    int levelOffset(const KDoubleSource* level) const;
    std::uint32_t drawnWritten() const { return drawnWritten_; }

    bool needsRedraw() const override;
    void paint(KDrawSurface& surface) override;

protected:
    // The wave area is the top areaHeight rows of the control.
    void setArea(int areaHeight);
    void paintWave(KDrawSurface& surface);
    double level(const KDoubleSource* source) const {
        return source ? source->load(std::memory_order_relaxed) : 0.0;
    }
    bool levelsMoved(double threshold, bool inclusive) const;
    // A new entry landed in the history since the last paint.
    bool historyMoved() const;

    const KHistory* history_;
    const KDoubleSource* level1_;
    const KDoubleSource* level2_;
    std::uint32_t colourA_, colourB_, colourC_;
    int areaHeight_ = 0;
    int centre_ = 0;
    double scale_ = 0.0;
    // Vertical zoom; 1 for the plain display.
    float zoom_ = 1.0f;
    std::uint32_t drawnWritten_ = 0;
    double drawnLevel1_ = 0.0;
    double drawnLevel2_ = 0.0;
};

} // namespace Korvel

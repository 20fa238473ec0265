// Band-limited triangle, square and sawtooth tables shared read-only by every oscillator of the
// process. Level k of a shape holds its harmonics up to 2^k (at most 512); a lookup picks the
// levels from the tone's frequency so that roughly 20000/f harmonics sound, cross-fading between
// adjacent levels.
#pragma once

#include "dsp/LaneMath.h"

#include <cmath>
#include <cstdint>

namespace Korvel {

class WaveTables {
public:
    enum Shape { Triangle = 0, Square = 1, Sawtooth = 2 };
    static constexpr int kShapes = 3;
    static constexpr int kLevels = 12;
    static constexpr int kSize = 2048;
    static constexpr int kMask = kSize - 1;
    static constexpr int kHalf = kSize / 2;
    static constexpr int kQuarter = kSize / 4;
    // Levels 10 and 11 equal level 9: every harmonic up to 512 is in.
    static constexpr int kStoredLevels = 10;
    // Per stored level: triangle and square entries 0..512, sawtooth 0..1024 (the rest follows
    // from their symmetries).
    static constexpr int kStoredPerLevel = 2 * (kQuarter + 1) + kHalf + 1;
    // Each level's row holds its last entry before entry 0 and its first three after entry 2047,
    // so that the oscillator kernel reads the four entries around any whole position without
    // wrapping each index.
    static constexpr int kLead = 1;
    static constexpr int kStride = kLead + kSize + 3;
    // Table entries per radian of phase.
    static constexpr double kEntriesPerRadian = 325.94932345220167;

    // Unfolded from the stored entries on first use, under the compiler's thread-safe static
    // initialisation; inline so that a retune pays only the guard's check.
    static const WaveTables& shared() {
        static const WaveTables tables;
        return tables;
    }

    // Entries 0 .. 2047 of a level; the next level of the shape begins kStride entries on.
    const double* level(int shape, int k) const { return data_[shape][k] + kLead; }

    // The pair of levels and the cross-fade weight for a tone of f Hz. Frequencies outside
    // 0 < f < 20000 get the nearest end: level 0 from 20 kHz up, level 11 for 0, negative or NaN.
    struct Blend {
        int low;     // level index
        bool single; // the low level alone (level 11)
        double fade; // weight of the level above
    };
    // Inline: during a glide it runs for every retune of every table oscillator. The logarithm is
    // our own, the same on every machine.
    static double log2Lane(double x) {
        Base::D1 v = {x};
        return Base::log2Lanes(v)[0];
    }
    static Blend blend(double f) {
        double c = log2Lane(20000 / f);
        // Also catches NaN (from f NaN or negative): those get the top level.
        if (!(c < kLevels - 1)) return {kLevels - 1, true, 0};
        if (!(c > 0)) return {0, false, 0};
        int low = static_cast<int>(c);
        return {low, false, c - low};
    }

    // Catmull-Rom interpolation of one level at x entries (0 <= x < 2048; whole wraps are
    // tolerated).
    static double interpolate(const double* table, double x) {
        std::int64_t i = static_cast<std::int64_t>(x);
        double t = x - static_cast<double>(i);
        double ym = table[(i - 1) & kMask];
        double y0 = table[i & kMask];
        double y1 = table[(i + 1) & kMask];
        double y2 = table[(i + 2) & kMask];
        double a = (y1 - ym) / 2;
        double b = (y2 - ym) / 2 + 1.5 * (y0 - y1);
        return y0 + t * (a + t * (a + (ym - y0) - b + b * t));
    }

    // The value at x entries for a blend.
    double value(int shape, const Blend& b, double x) const {
        double v = interpolate(level(shape, b.low), x);
        if (b.single) return v;
        return v + (interpolate(level(shape, b.low + 1), x) - v) * b.fade;
    }

    // The shape's value at phase (radians, 0 .. 2*pi) for a tone of f Hz; 0 for a phase that is
    // not a finite number of reasonable size.
    double lookup(int shape, double phase, double f) const;

    // Made at build time by dsp/make-wave-tables.py: the quarter-wave of sines the harmonics are
    // read from, and the stored entries of every level.
    static const double kQuarterSines[kQuarter + 1];
    static const double kStoredHalves[kStoredLevels * kStoredPerLevel];

private:
    WaveTables();

    double data_[kShapes][kLevels][kStride];
};

} // namespace Korvel

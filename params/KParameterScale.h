// How a parameter's real values are laid out, for plug-in formats that describe each parameter to
// their host (ranges, steps, logarithmic or decibel scales, named choices) instead of showing only
// the normalised value as VST 2.4 does.
#pragma once

namespace Korvel {

class KEffectParameter;
class KEnumParam;

enum class KScaleKind {
    Linear,      // real = min + (max - min) * normalised, in `steps` equal steps when steps > 0
    Logarithmic, // real = min * (max / min) ^ normalised
    Decibels,    // the normalised value is a linear gain up to maxGain, shown in decibels; max is
                 // the decibels of maxGain and the floor of the range is minus infinity
    Choice,      // real = item index, 0 .. steps
};

struct KParameterScale {
    KScaleKind kind = KScaleKind::Linear;
    double min = 0;
    double max = 1;
    // Whole steps between min and max; 0 when continuous.
    int steps = 0;
    // The default in real units (minus infinity for a decibel parameter that defaults to silence).
    double defaultReal = 0;
    // Every real value a step can take is a whole number.
    bool integer = false;
    // The item list of a choice; null otherwise.
    const KEnumParam* choice = nullptr;
};

// [any] The scale of one of the four parameter classes; an unknown class reads as a continuous
// 0..1 range.
KParameterScale describeScale(const KEffectParameter& parameter);

} // namespace Korvel

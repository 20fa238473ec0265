#include "params/KdBParam.h"

#include <cmath>
#include <limits>

namespace Korvel {

KTypeId KdBParam::classId() {
    static const char tag = 0;
    return &tag;
}

double KdBParam::toReal(double n) const {
    double gain = n * maxGain_;
    if (!(gain > 0)) return -std::numeric_limits<double>::infinity();
    return roundToDecimals(20 * std::log10(gain));
}

double KdBParam::fromReal(double r) const {
    return clamp01(std::pow(10.0, 0.05 * r) / maxGain_);
}

} // namespace Korvel

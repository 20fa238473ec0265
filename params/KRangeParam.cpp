#include "params/KRangeParam.h"

#include <cmath>

namespace Korvel {

KTypeId KRangeParam::classId() {
    static const char tag = 0;
    return &tag;
}

double KRangeParam::toReal(double n) const {
    double snapped = steps_ <= 0 ? n : std::floor(steps_ * n + 0.5) / steps_;
    return min_ + (max_ - min_) * snapped;
}

double KRangeParam::fromReal(double r) const {
    return clamp01((r - min_) / (max_ - min_));
}

void KRangeParam::setRange(double min, double max, int steps) {
    min_ = min;
    max_ = max;
    steps_ = steps;
}

} // namespace Korvel

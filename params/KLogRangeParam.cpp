#include "params/KLogRangeParam.h"

#include <cmath>

namespace Korvel {

KTypeId KLogRangeParam::classId() {
    static const char tag = 0;
    return &tag;
}

double KLogRangeParam::toReal(double n) const {
    return roundToDecimals(min_ * std::pow(max_ / min_, n));
}

double KLogRangeParam::fromReal(double r) const {
    double ratio = r / min_;
    if (!(ratio > 0)) return 0;
    return clamp01(std::log10(ratio) / std::log10(max_ / min_));
}

void KLogRangeParam::setRange(double min, double max) {
    min_ = min;
    max_ = max;
}

} // namespace Korvel

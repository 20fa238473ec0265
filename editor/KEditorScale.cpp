#include "editor/KEditorScale.h"

#include <algorithm>
#include <cmath>

namespace Korvel {

double clampEditorScale(double scale) {
    if (!std::isfinite(scale) || scale <= 0.0) return 1.0;
    return std::clamp(scale, kMinEditorScale, kMaxEditorScale);
}

// By hand rather than strtod: a host may have set a locale whose decimal mark is a comma.
double parseEditorScale(const char* text) {
    if (!text) return 0.0;
    const char* c = text;
    while (*c == ' ' || *c == '\t')
        ++c;
    double value = 0.0;
    int digits = 0;
    for (; *c >= '0' && *c <= '9' && digits < 12; ++c, ++digits)
        value = value * 10.0 + (*c - '0');
    if (*c == '.') {
        double unit = 0.1;
        for (++c; *c >= '0' && *c <= '9'; ++c, unit *= 0.1, ++digits)
            value += (*c - '0') * unit;
    }
    while (*c == ' ' || *c == '\t')
        ++c;
    return digits > 0 && *c == '\0' && value > 0.0 ? value : 0.0;
}

int scaledLength(int skinPixels, double scale) {
    return static_cast<int>(std::lround(static_cast<double>(skinPixels) * scale));
}

int skinPosition(int screenPixel, double scale) {
    return static_cast<int>(std::floor((static_cast<double>(screenPixel) + 0.5) / scale));
}

} // namespace Korvel

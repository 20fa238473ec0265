// Polynomial power of two: cheaper than the library's and, being part of the sound, the same on
// every platform.
#pragma once

#include <cmath>
#include <cstdint>

namespace Korvel {

inline double fastPow2(double x) {
    // Beyond these the result under- or overflows anyway, and the integer part must stay in range.
    if (!(x > -1100)) return 0;
    if (x > 1100) return HUGE_VAL;
    std::int64_t whole = static_cast<std::int64_t>(x);
    double t = x - static_cast<double>(whole);
    double p =
        1 + t * (0.6928417889988181 +
                 t * (0.24012208799220383 + t * (0.0571582110011819 + t * 0.009877912007796169)));
    return std::ldexp(p, static_cast<int>(whole));
}

} // namespace Korvel

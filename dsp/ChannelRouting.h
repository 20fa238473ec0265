// One frame between mono and stereo: a stereo pair into one output is averaged, a mono input
// feeds both outputs.
#pragma once

namespace Korvel {

inline void routeFrame(bool twoInputs, bool twoOutputs, double left, double right, double* out1,
                       double* out2) {
    if (twoInputs && !twoOutputs) {
        *out1 = (left + right) * 0.5;
        return;
    }
    *out1 = left;
    if (twoOutputs) *out2 = twoInputs ? right : left;
}

} // namespace Korvel

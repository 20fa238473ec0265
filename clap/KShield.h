// Every entry a host calls runs through one of these: nothing may leave a C function pointer of
// the interface, so an exception becomes the entry's harmless answer.
#pragma once

namespace Korvel {

template <typename R, typename F> R shielded(R refusal, F&& call) noexcept {
    try {
        return call();
    } catch (...) {
        return refusal;
    }
}

template <typename F> void shieldedVoid(F&& call) noexcept {
    try {
        call();
    } catch (...) {
    }
}

} // namespace Korvel

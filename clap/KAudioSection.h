// Held while an audio-thread call of the plug-in runs (process, a flush while active, reset):
// the interface promises one such call at a time, and a host that breaks that promise has its
// second call refused instead of two threads running the engine at once.
#pragma once

#include <atomic>

namespace Korvel {

class KAudioSection {
public:
    explicit KAudioSection(std::atomic<bool>& flag)
        : flag_(flag), held_(!flag.exchange(true, std::memory_order_acquire)) {}
    ~KAudioSection() {
        if (held_) flag_.store(false, std::memory_order_release);
    }
    KAudioSection(const KAudioSection&) = delete;
    KAudioSection& operator=(const KAudioSection&) = delete;
    explicit operator bool() const { return held_; }

private:
    std::atomic<bool>& flag_;
    bool held_;
};

} // namespace Korvel

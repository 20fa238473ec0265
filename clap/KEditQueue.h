// The editor's parameter gestures on their way to the host: the editor pushes them on the main
// thread, and whichever call hands events to the host (process on the audio thread, or a flush
// on the main thread while the plug-in is inactive) takes them off. One producer and one
// consumer at a time, a fixed ring, no lock and no allocation, so the audio thread can drain it.
#pragma once

#include <atomic>
#include <cstdint>

namespace Korvel {

struct KEdit {
    enum Kind : std::uint8_t { Begin, Value, End };
    Kind kind = Value;
    int index = 0;
    // The stored normalised value, for Value.
    double value = 0;
};

class KEditQueue {
public:
    // A knob drag at the editor's frame rate fills a few hundred entries in seconds; a host that
    // leaves the plug-in that long without a process or flush call loses the oldest pushes only
    // in the sense that new ones are refused (the value itself reaches the host anyway, since
    // every call compares the current values with what the host was last told).
    static constexpr std::uint32_t kCapacity = 1024;

    // [main] False when the ring is full; nothing changes then.
    bool push(const KEdit& edit) {
        std::uint32_t tail = tail_.load(std::memory_order_relaxed);
        std::uint32_t head = head_.load(std::memory_order_acquire);
        if (tail - head >= kCapacity) return false;
        ring_[tail % kCapacity] = edit;
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }
    // [the consumer] False when nothing is waiting.
    bool pop(KEdit& edit) {
        std::uint32_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire)) return false;
        edit = ring_[head % kCapacity];
        head_.store(head + 1, std::memory_order_release);
        return true;
    }
    // [the consumer] Looks at the oldest entry without taking it.
    bool peek(KEdit& edit) const {
        std::uint32_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire)) return false;
        edit = ring_[head % kCapacity];
        return true;
    }

private:
    KEdit ring_[kCapacity];
    std::atomic<std::uint32_t> head_{0};
    std::atomic<std::uint32_t> tail_{0};
};

} // namespace Korvel

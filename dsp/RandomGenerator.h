// The process-wide multiply-with-carry generator behind the noise, the LFO's random shape and the
// Random command. Every instance draws from the same two words without locking: instances running
// on different threads may lose each other's updates, which only reorders the noise. The words are
// relaxed atomics (a load and a store each, no read-modify-write loop) so that such races are
// defined behaviour and a single thread sees exactly the documented sequence.
#pragma once

#include <atomic>
#include <cstdint>

namespace Korvel {

class RandomGenerator {
public:
    static constexpr std::uint32_t kInitialZ = 71;
    static constexpr std::uint32_t kInitialW = 89;

    struct State {
        std::uint32_t z;
        std::uint32_t w;
    };

    static RandomGenerator& shared() { return instance_; }

    std::uint32_t next() {
        State s = state();
        std::uint32_t r = step(s);
        setState(s.z, s.w);
        return r;
    }
    static void advance(State& s) {
        s.z = 36969u * (s.z & 65535u) + (s.z >> 16);
        s.w = 18000u * (s.w & 65535u) + (s.w >> 16);
    }
    static std::uint32_t step(State& s) {
        advance(s);
        return (s.z << 16) + (s.w & 65535u);
    }
    // 0 .. 1.
    double uniform() { return uniformOf(next()); }
    // -1 .. 1: the draw read as a signed word.
    double bipolar() { return bipolarOf(next()); }

    // The two forms of a draw already taken.
    static double uniformOf(std::uint32_t r) {
        return static_cast<double>(r) * 2.3283064370807974e-10;
    }
    static double bipolarOf(std::uint32_t r) {
        return static_cast<double>(static_cast<std::int32_t>(r)) * 4.656612875245797e-10;
    }

    void setState(std::uint32_t z, std::uint32_t w) {
        z_.store(z, std::memory_order_relaxed);
        w_.store(w, std::memory_order_relaxed);
    }
    State state() const {
        return {z_.load(std::memory_order_relaxed), w_.load(std::memory_order_relaxed)};
    }

    // The shared sequence taken over for one block of one instance and handed back at its end:
    // the same draws in the same order, without an atomic access per draw. Instances processed
    // one after the other still continue each other's sequence.
    class Stream {
    public:
        explicit Stream(RandomGenerator& shared) : shared_(shared), state_(shared.state()) {}
        ~Stream() { shared_.setState(state_.z, state_.w); }
        Stream(const Stream&) = delete;
        Stream& operator=(const Stream&) = delete;
        std::uint32_t next() { return step(state_); }
        // A draw whose value nobody reads still moves the sequence on.
        void skip() { advance(state_); }
        double uniform() { return uniformOf(next()); }
        double bipolar() { return bipolarOf(next()); }
        // The words themselves, for a kernel that takes many draws at once.
        State& words() { return state_; }

    private:
        RandomGenerator& shared_;
        State state_;
    };

private:
    constexpr RandomGenerator() = default;

    // Constant-initialised, so it is ready before any static constructor that might draw.
    static RandomGenerator instance_;

    std::atomic<std::uint32_t> z_{kInitialZ};
    std::atomic<std::uint32_t> w_{kInitialW};
};

} // namespace Korvel

// The attack/release envelope of one oscillator. The attack rises parabolically from where it
// starts, level = start + (1 - start)*p^2; the release falls as level = start*(1 - p)^2. Both are
// stepped in a fixed discrete form, once per sample.
#pragma once

#include <cstring>

namespace Korvel {

class Envelope {
public:
    enum State { Idle = 0, Attacking = 1, Sustaining = 2, Releasing = 3 };

    void setSampleRate(double sampleRate) { sampleRate_ = sampleRate; }

    // Starts an attack from the current level unless one is under way or done.
    void attack(double seconds) {
        if (state_ == Attacking || state_ == Sustaining) return;
        begin(Attacking, seconds, 1 - level_);
    }
    // Starts a release unless one is under way; from idle it is a silent release at level 0.
    void release(double seconds) {
        if (state_ == Releasing) return;
        begin(Releasing, seconds, level_);
    }

    void step() {
        if (state_ == Attacking) {
            progress_ += increment_;
            level_ += increment_ * 2 * progress_ * span_;
            if (progress_ >= 1) finish(Sustaining, 1);
        } else if (state_ == Releasing) {
            progress_ += increment_;
            level_ += increment_ * span_ * (2 * progress_ - 2);
            if (progress_ >= 1) finish(Idle, 0);
        }
    }

    // Bit for bit, so that equal states are known to give equal futures.
    bool sameAs(const Envelope& o) const {
        const double mine[] = {level_, progress_, increment_, span_, sampleRate_};
        const double theirs[] = {o.level_, o.progress_, o.increment_, o.span_, o.sampleRate_};
        return state_ == o.state_ && silent_ == o.silent_ &&
               std::memcmp(mine, theirs, sizeof mine) == 0;
    }

    int state() const { return state_; }
    // The level is 0 and stays 0 until the next attack: idle, or a release that began at 0.
    bool silent() const { return silent_; }
    double level() const { return level_; }
    double progress() const { return progress_; }
    double increment() const { return increment_; }
    double span() const { return span_; }
    double sampleRate() const { return sampleRate_; }

private:
    void begin(State state, double seconds, double span);
    void finish(State state, double level) {
        level_ = level;
        state_ = state;
        silent_ = state == Idle;
        progress_ = 0;
        increment_ = 0;
        span_ = 0;
    }

    int state_ = Idle;
    double level_ = 0;
    double progress_ = 0;
    double increment_ = 0;
    // Attack: the distance to 1 when it began; release: the level when it began.
    double span_ = 0;
    double sampleRate_ = 44100;
    bool silent_ = true;
};

} // namespace Korvel

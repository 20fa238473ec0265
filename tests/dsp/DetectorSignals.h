// Test signals for the pitch detector: voiced notes with glides and vibrato, noise, silence and
// bad samples, all deterministic.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace Korvel {
namespace TestSignals {

constexpr double kPi = 3.141592653589793;

// A small deterministic generator, so signals are identical on every run and platform.
class Noise {
public:
    explicit Noise(std::uint32_t seed = 1) : state_(seed * 2654435761u + 1) {}
    // Uniform in [-1, 1).
    double next() {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<double>(state_ >> 8) / 8388608.0 - 1.0;
    }

private:
    std::uint32_t state_;
};

class Builder {
public:
    explicit Builder(double sampleRate) : rate_(sampleRate) {}

    // A note gliding from f0 to f1 (Hz) over its length, with vibrato depth in semitones and
    // some harmonics; amplitude is its peak level.
    Builder& note(double seconds, double f0, double f1, double amplitude, double vibratoSemis = 0,
                  double vibratoHz = 5.5, double brightness = 0.3) {
        int n = frames(seconds);
        for (int i = 0; i < n; ++i) {
            double t = static_cast<double>(i) / n;
            double f = f0 * std::pow(f1 / f0, t);
            f *= std::pow(2.0, vibratoSemis / 12 * std::sin(2 * kPi * vibratoHz * time_));
            phase_ += f / rate_;
            phase_ -= std::floor(phase_);
            double v = std::sin(2 * kPi * phase_) + brightness * std::sin(4 * kPi * phase_) +
                       brightness * 0.5 * std::sin(6 * kPi * phase_ + 0.3);
            // Short fades avoid clicks that are not part of what is being tested.
            double fade = std::min(1.0, std::min(i, n - 1 - i) / (0.003 * rate_));
            samples_.push_back(amplitude * fade * v / (1 + 1.5 * brightness));
            time_ += 1 / rate_;
        }
        return *this;
    }
    // A clean sine gliding from f0 to f1 (Hz), phase-continuous with what came before.
    Builder& glide(double seconds, double f0, double f1, double amplitude = 0.5) {
        int n = frames(seconds);
        for (int i = 0; i < n; ++i) {
            phase_ += f0 * std::pow(f1 / f0, static_cast<double>(i) / n) / rate_;
            phase_ -= std::floor(phase_);
            samples_.push_back(amplitude * std::sin(2 * kPi * phase_));
            time_ += 1 / rate_;
        }
        return *this;
    }
    Builder& tone(double seconds, double hz, double amplitude = 0.5) {
        return glide(seconds, hz, hz, amplitude);
    }
    // Constant samples, e.g. absurdly large ones.
    Builder& constant(int count, double value) {
        samples_.insert(samples_.end(), count, value);
        return *this;
    }
    Builder& noise(double seconds, double amplitude, std::uint32_t seed = 7) {
        Noise gen(seed);
        for (int i = 0, n = frames(seconds); i < n; ++i)
            samples_.push_back(amplitude * gen.next());
        time_ += seconds;
        return *this;
    }
    Builder& silence(double seconds) {
        samples_.insert(samples_.end(), frames(seconds), 0.0);
        time_ += seconds;
        return *this;
    }
    // Non-finite samples in turn: NaN, +inf, -inf.
    Builder& badSamples(int count) {
        const double bad[] = {std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity()};
        for (int i = 0; i < count; ++i)
            samples_.push_back(bad[i % 3]);
        return *this;
    }
    // Mixes noise into the whole signal so far.
    Builder& addNoise(double amplitude, std::uint32_t seed = 3) {
        Noise gen(seed);
        for (double& s : samples_)
            s += amplitude * gen.next();
        return *this;
    }

    // A sung line: steps, a glide, a drift, vibrato, a breath of noise and a rest.
    Builder& melody(double seconds) {
        const double notes[] = {220, 246.94, 261.63, 293.66, 329.63, 392, 349.23, 196, 440, 523.25};
        double done = 0;
        for (int i = 0; done < seconds; ++i) {
            double f = notes[i % 10];
            double next = notes[(i + 3) % 10];
            switch (i % 5) {
            case 0:
                note(0.35, f, f, 0.6);
                break;
            case 1:
                note(0.4, f, next, 0.4, 0.0);
                break;
            case 2:
                note(0.5, f, f, 0.5, 0.4);
                break;
            case 3:
                note(0.3, f, f * 1.01, 0.3, 0.1, 6, 0.8);
                break;
            default:
                note(0.25, f, f, 0.5);
                noise(0.02, 0.05, static_cast<std::uint32_t>(i));
                silence(0.08);
                break;
            }
            done = samples_.size() / rate_;
        }
        return *this;
    }

    const std::vector<double>& samples() const { return samples_; }
    double rate() const { return rate_; }

private:
    int frames(double seconds) const { return static_cast<int>(seconds * rate_ + 0.5); }

    double rate_;
    double phase_ = 0;
    double time_ = 0;
    std::vector<double> samples_;
};

} // namespace TestSignals
} // namespace Korvel

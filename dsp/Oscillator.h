// One of the three oscillators that play the tracked pitch: a waveform at ratio x the tracked
// frequency, an attack/release envelope, white noise mixed in before the envelope, a level, and a
// gain that fades tones out below 30 Hz and above 10 kHz. Audio thread only.
//
// process() runs every sample on every oscillator, so what depends only on the frequency (the
// phase increment, the gain target, the table levels) is recomputed only when the frequency
// changes, and the wave is not evaluated when the output is known to be silent. Results are the
// same, bit for bit, as evaluating every step in full.
#pragma once

#include "dsp/Envelope.h"
#include "dsp/RandomGenerator.h"
#include "dsp/Slew.h"
#include "dsp/WaveTables.h"

#include <cstdint>

namespace Korvel {

class Oscillator {
public:
    enum Waveform { Sine = 0, Triangle = 1, Square = 2, Sawtooth = 3 };
    static constexpr double kTwoPi = 6.283185307179586;

    Oscillator();

    // A rate that is not a positive number keeps the previous one; the gain starts at 1 again.
    void setSampleRate(double sampleRate);
    // Out-of-range indices are clamped into 0..3.
    void setWaveform(int waveform);
    void setPartial(double partial);
    void setDetune(double cents);
    // Read when an attack or a release begins.
    void setAttack(double seconds) { attack_ = seconds; }
    void setRelease(double seconds) { release_ = seconds; }
    // Linear gains; anything but a finite number counts as 0.
    void setNoise(double gain);
    void setLevel(double gain);

    // Starts an attack unless one is under way or done, and retunes at once.
    void setFrequency(double hz) {
        envelope_.attack(attack_);
        frequency_ = hz;
    }
    void release() { envelope_.release(release_); }

    // One sample.
    void process() { processWith(RandomGenerator::shared().next()); }
    // One sample, given this sample's draw of the shared generator; it is drawn whether or not
    // the noise is heard, since the shared sequence must not depend on it.
    void processWith(std::uint32_t draw) {
        envelope_.step();
        double f = ratio_ * frequency_;
        // Written so that a frequency that is not a number retunes every sample.
        if (!(f == tunedFrequency_)) retune(f);
        gainSlew_.target = gainTarget_;
        gainSlew_.advance();
        if (!(f > 0)) {
            output_ = level_ * gainSlew_.current *
                      (noise_ * RandomGenerator::bipolarOf(draw) + 0.0) * envelope_.level();
            return;
        }
        phase_ += phaseIncrement_;
        if (phase_ >= kTwoPi) {
            phase_ -= kTwoPi;
            if (phase_ >= kTwoPi) rewrapPhase();
        }
        // Silent whatever the wave and the noise; the sign of the zero is not kept (nor below,
        // where a zero noise term is left out).
        if (muted_ || envelope_.silent()) {
            output_ = 0;
            return;
        }
        double sum = wave();
        if (noise_ != 0) sum = noise_ * RandomGenerator::bipolarOf(draw) + sum;
        output_ = level_ * gainSlew_.current * sum * envelope_.level();
    }

    // A run of samples as the engine drives them: each sample retunes to a tracked frequency, or
    // releases where there is none (0), then advances with its draw. The outputs go to out.
    void processBlock(const double* frequency, const std::uint32_t* draws, double* __restrict out,
                      int frames) {
        for (int i = 0; i < frames; ++i) {
            if (frequency[i] > 0)
                setFrequency(frequency[i]);
            else
                release();
            processWith(draws[i]);
            out[i] = output_;
        }
    }

    // True when this oscillator, driven like o, would give o's outputs from now on: every field
    // that shapes the future is equal, bit for bit, and neither mixes in its own noise draws.
    // Three oscillators on the same settings (the default program) then cost one.
    bool sameVoiceAs(const Oscillator& o) const;
    // Without noise the draws cannot change the output (a zero noise term stays zero), so the
    // engine need not hand them over.
    bool readsDraws() const { return noise_ != 0; }

    double output() const { return output_; }
    const Envelope& envelope() const { return envelope_; }
    int waveform() const { return waveform_; }
    double ratio() const { return ratio_; }
    double phase() const { return phase_; }
    double frequency() const { return frequency_; }
    double gain() const { return gainSlew_.current; }

    // The gain for a tone of f Hz before squaring: 0 below 10 Hz, full at 30 Hz, 0.7 at 10 kHz,
    // 0 from 17.5 kHz (and for NaN).
    static double frequencyGain(double f) {
        if (f >= 30) {
            if (f < 10000) return 1 - (f - 30) * 3.009027081243731e-05;
            if (f < 17500) return 0.7 - (f - 10000) * 9.333333333333333e-05;
            return 0;
        }
        if (f >= 10) return 0.05 * (f - 10);
        return 0;
    }

private:
    double wave() const {
        if (waveform_ == Sine) {
            double m = phase_ - 3.141592653589793;
            double m2 = m * m;
            return m * (((0.16562123457123723 -
                          (0.007956574006381783 - 0.000145039006054745 * m2) * m2) *
                         m2) -
                        0.9990123569996505);
        }
        double x = WaveTables::kEntriesPerRadian * phase_;
        double v = WaveTables::interpolate(lowTable_, x);
        if (!highTable_) return v;
        return v + (WaveTables::interpolate(highTable_, x) - v) * fade_;
    }
    // During a glide the frequency changes every sample, so this stays inline; only the table
    // levels are looked up out of line.
    void retune(double f) {
        tunedFrequency_ = f;
        phaseIncrement_ = kTwoPi * f / sampleRate_;
        double g = frequencyGain(f);
        gainTarget_ = g * g;
        if (waveform_ != Sine) selectTables(f);
    }
    void selectTables(double f);
    void rewrapPhase();
    void updateRatio();

    int waveform_ = Sine;
    double partial_ = 1;
    double detune_ = 0;
    double attack_ = 0.01;
    double release_ = 0.01;
    double noise_ = 0;
    double level_ = 0;
    double ratio_ = 1;
    double phase_ = 0;
    double frequency_ = 0;
    Envelope envelope_;
    double output_ = 0;
    Slew gainSlew_;
    double sampleRate_ = 44100;

    // What follows from ratio x frequency, valid while that product equals tunedFrequency_.
    double tunedFrequency_;
    double phaseIncrement_ = 0;
    double gainTarget_ = 0;
    const double* lowTable_ = nullptr;
    const double* highTable_ = nullptr; // null: the low table alone
    double fade_ = 0;
    bool muted_ = true; // level_ == 0
};

} // namespace Korvel

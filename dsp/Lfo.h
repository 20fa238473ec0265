// The tremolo LFO: a shape at a rate in cycles per bar that follows the host's tempo, phase-locked
// to the song position while the transport plays. Its output is slew-limited to a full swing per
// millisecond, which rounds the jumps of the square, the ramps and the random steps. Audio thread
// only.
#pragma once

#include "dsp/RandomGenerator.h"
#include "dsp/Slew.h"

namespace Korvel {

struct EngineKernels;

class Lfo {
public:
    enum Waveform { Sine = 0, Triangle = 1, Square = 2, Rising = 3, Falling = 4, Random = 5 };

    // Initialised at 44100 Hz (this draws the first random level).
    Lfo();

    // Reinitialises everything, rate and waveform included; the LFO stands still until the next
    // sync supplies a tempo. A rate that is not a positive number keeps the previous one.
    void setSampleRate(double sampleRate);
    // 0..5; any other index gives a constant 0.
    void setWaveform(int waveform) {
        waveform_ = waveform;
        stale_ = true;
    }
    void setCyclesPerBar(double cycles) { cyclesPerBar_ = cycles; }
    void setPhaseOffset(double cycleFraction) { phaseOffset_ = cycleFraction; }

    // The host's transport, once per block, only when it reports both tempo and song position. A
    // bar is always four quarter notes. A tempo or a rate that would give a negative or non-finite
    // increment stops the LFO instead.
    void sync(double ppqPos, double tempo, bool playing, bool lockPhase);

    // One sample; returns the output.
    double process() { return process(RandomGenerator::shared()); }
    // The same with the draws of the Random shape taken from the given source.
    template <class Source> double process(Source& random) {
        phase_ += increment_;
        if (phase_ >= 1) {
            phase_ -= 1;
            if (phase_ >= 1) rewrapPhase();
            if (waveform_ == Random) held_ = random.bipolar();
            stale_ = true;
        }
        // Without a tempo the phase stands still, and so does the shape.
        if (increment_ != 0 || stale_) {
            value_ = shape();
            stale_ = false;
        }
        valueSlew_.target = value_;
        valueSlew_.advance();
        return valueSlew_.current;
    }

    // The chunk form of process(), in two steps around the draws: advance() moves the phase over
    // frames samples, keeping each sample's phase (phases holds frames rounded up to four) and the
    // samples where a new cycle began, and returns their count; the Random shape draws a new
    // level there. finish() takes those draws, in order, and leaves each sample's output in out.
    // The same as frames calls of process().
    // outputsRead false (see finish): where finish can tell the state from the first and the
    // last phase alone, only those are kept (phases[0] and phases[frames - 1]), and cycleStarts is
    // left unwritten.
    int advance(const EngineKernels& kernels, int frames, double* phases, int* cycleStarts,
                bool outputsRead = true);
    bool drawsAtCycles() const { return waveform_ == Random; }
    // Instead of advance() and finish(), where the next frames outputs are the shape (sine or
    // triangle) at phase() + (i + 1) d, one run within a binade (see binadeSteps) that the slew
    // follows exactly: wholeRun gives d, the caller takes the outputs from there (mixTremolo),
    // and takeRun moves the state on as the two would.
    bool wholeRun(int frames, double& d);
    void takeRun(int frames, double d);
    // outputsRead false: the outputs are not wanted (out is then left as it is), the state is.
    void finish(const EngineKernels& kernels, const double* phases, const int* cycleStarts,
                int cycles, const double* draws, int frames, double* out, bool outputsRead);

    // Without a tempo, once its output has settled, a sample changes nothing: process() would
    // return the same output and leave every field as it is.
    bool stationary() const {
        return increment_ == 0 && !stale_ && valueSlew_.reached && valueSlew_.target == value_;
    }

    // n steps of the phase as process() takes them (cycles counts the new ones), the same bits,
    // without taking most of them one by one.
    static void skipSteps(double& phase, double increment, int n, int& cycles);

    double output() const { return valueSlew_.current; }
    double phase() const { return phase_; }
    double increment() const { return increment_; }
    int waveform() const { return waveform_; }
    double held() const { return held_; }

private:
    // Within one binade of the phase, the steps of the closed form (see Lfo.cpp).
    static int binadeSteps(double phase, double increment, int n, double& d);
    // One step's units of the binade of the phase with these bits, and d: 1; 0 where the closed
    // form does not apply, -1 for a tie.
    static int binadeStep(std::uint64_t bits, double increment, std::uint64_t& units, double& d);
    double shape() const { return shapeAt(phase_); }
    // Whether the slew follows the shape exactly from this chunk's first phase on: its outputs are
    // then the shape's, and its state depends only on the first and the last phase.
    bool followsUnread(double firstPhase) const;
    double shapeAt(double p) const {
        switch (waveform_) {
        case Sine: {
            double m = 6.283185307179586 * p - 3.141592653589793;
            double m2 = m * m;
            return m * (m2 * (0.16562123457123723 -
                              m2 * (0.007956574006381783 - m2 * 0.000145039006054745)) -
                        0.9990123569996505);
        }
        case Triangle:
            if (p < 0.25) return 4 * p;
            if (p < 0.75) return 2 - 4 * p;
            return 4 * p - 4;
        case Square:
            return p < 0.5 ? 1 : -1;
        case Rising:
            return 2 * p - 1;
        case Falling:
            return 1 - 2 * p;
        case Random:
            return held_;
        default:
            return 0;
        }
    }
    void rewrapPhase();

    int waveform_ = Sine;
    double cyclesPerBar_ = 0;
    Slew valueSlew_;
    double phase_ = 0;
    double phaseOffset_ = 0;
    double increment_ = 0;
    double held_ = 0;
    double sampleRate_ = 44100;

    // wholeRun's step for a binade of the phase (its biased exponent) and an increment.
    int runBinade_ = -1;
    double runIncrement_ = 0;
    bool runApplies_ = false;
    std::uint64_t runUnits_ = 0;
    double runStep_ = 0;

    // The shape's value at the current phase, unless stale.
    double value_ = 0;
    bool stale_ = true;
};

} // namespace Korvel

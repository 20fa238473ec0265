// Plain, step-by-step versions of the envelope, oscillator and LFO, evaluating everything every
// sample exactly as the arithmetic is defined: the optimised classes must match them bit for bit.
// Only valid inputs are meant for them (positive rates and times).
#pragma once

#include "dsp/PortableMath.h"
#include "dsp/RandomGenerator.h"
#include "dsp/WaveTables.h"

#include <cmath>

namespace Korvel::Reference {

struct Slew {
    double sampleRate = 44100, target = 0, current = 0, step = 0;
    bool reached = true;
    void setup(double sr, double s, double t, double v) {
        sampleRate = sr;
        step = t > 0 ? std::fabs(s / (sr * t)) : s;
        target = current = v;
        reached = true;
    }
    void advance() {
        if (target - current > step) {
            current = current + step;
            reached = false;
        } else if (target - current < -step) {
            current = current - step;
            reached = false;
        } else {
            current = target;
            reached = true;
        }
    }
};

struct Envelope {
    int state = 0;
    double level = 0, progress = 0, increment = 0, span = 0, sampleRate = 44100;
    void attack(double t) {
        if (state == 1 || state == 2) return;
        progress = 0;
        state = 1;
        increment = 1 / (sampleRate * t);
        span = 1 - level;
    }
    void release(double t) {
        if (state == 3) return;
        progress = 0;
        state = 3;
        increment = 1 / (sampleRate * t);
        span = level;
    }
    void step() {
        if (state == 1) {
            progress = progress + increment;
            level = level + increment * 2 * progress * span;
            if (progress >= 1) {
                level = 1;
                state = 2;
                progress = increment = span = 0;
            }
        } else if (state == 3) {
            progress = progress + increment;
            level = level + increment * span * (2 * progress - 2);
            if (progress >= 1) {
                level = 0;
                state = 0;
                progress = increment = span = 0;
            }
        }
    }
};

inline double levelValue(const double* table, double x) {
    int i = static_cast<int>(x);
    double t = x - i;
    double ym = table[(i + 2047) % 2048], y0 = table[i % 2048], y1 = table[(i + 1) % 2048],
           y2 = table[(i + 2) % 2048];
    double a = (y1 - ym) / 2;
    double b = (y2 - ym) / 2 + 1.5 * (y0 - y1);
    return y0 + t * (a + t * (a + (ym - y0) - b + b * t));
}

inline double tableLookup(int shape, double phase, double f) {
    const WaveTables& tables = WaveTables::shared();
    double c = PortableMath::log2(20000 / f);
    int L = static_cast<int>(c);
    double x = 325.94932345220167 * phase;
    if (L >= 11) return levelValue(tables.level(shape, 11), x);
    double vL = levelValue(tables.level(shape, L), x);
    double vL1 = levelValue(tables.level(shape, L + 1), x);
    return vL + (vL1 - vL) * (c - L);
}

struct Oscillator {
    int waveform = 0;
    double partial = 1, detune = 0, attack = 0.01, release = 0.01, noise = 0, level = 0;
    double ratio = 1, phase = 0, frequency = 0;
    Envelope envelope;
    double output = 0;
    Slew gainSlew;
    double sampleRate = 44100;

    Oscillator() { gainSlew.setup(44100, 1, 0.002, 1); }
    void setSampleRate(double sr) {
        sampleRate = sr;
        envelope.sampleRate = sr;
        gainSlew.setup(sr, 1, 0.002, 1);
    }
    void updateRatio() { ratio = partial * PortableMath::exp2(detune * 0.0008333333333333334); }
    void setFrequency(double f) {
        envelope.attack(attack);
        frequency = f;
    }
    void doRelease() { envelope.release(release); }
    static double gain(double f) {
        if (f < 10) return 0;
        if (f < 30) return 0.05 * (f - 10);
        if (f < 10000) return 1 - (f - 30) * 3.009027081243731e-05;
        if (f < 17500) return 0.7 - (f - 10000) * 9.333333333333333e-05;
        return 0;
    }
    void process() {
        envelope.step();
        double f = ratio * frequency;
        double wave = 0;
        if (f > 0) {
            phase = phase + 2 * 3.141592653589793 * f / sampleRate;
            if (phase >= 2 * 3.141592653589793) phase = phase - 2 * 3.141592653589793;
            if (waveform == 0) {
                double m = phase - 3.141592653589793;
                wave = m * (((0.16562123457123723 -
                              (0.007956574006381783 - 0.000145039006054745 * (m * m)) * (m * m)) *
                             (m * m)) -
                            0.9990123569996505);
            } else {
                wave = tableLookup(waveform - 1, phase, f);
            }
        }
        double g = gain(f);
        gainSlew.target = g * g;
        gainSlew.advance();
        output = level * gainSlew.current * (noise * RandomGenerator::shared().bipolar() + wave) *
                 envelope.level;
    }
};

struct Lfo {
    int waveform = 0;
    double cyclesPerBar = 0;
    Slew valueSlew;
    double phase = 0, phaseOffset = 0, increment = 0, held = 0, sampleRate = 44100;

    Lfo() { setSampleRate(44100); }
    void setSampleRate(double sr) {
        cyclesPerBar = 0;
        waveform = 0;
        valueSlew.setup(sr, 2, 0.001, 0);
        phase = phaseOffset = increment = 0;
        held = RandomGenerator::shared().bipolar();
        sampleRate = sr;
    }
    void sync(double ppqPos, double tempo, bool playing, bool lockPhase) {
        if (lockPhase && playing) {
            double x = ppqPos * 0.25 * cyclesPerBar + phaseOffset;
            phase = x - std::floor(x);
        }
        increment = tempo * 0.004166666666666667 * cyclesPerBar / sampleRate;
    }
    double process() {
        phase = phase + increment;
        if (phase >= 1) {
            phase = phase - 1;
            if (waveform == 5) held = RandomGenerator::shared().bipolar();
        }
        double p = phase, v = 0;
        switch (waveform) {
        case 0: {
            double m = 2 * 3.141592653589793 * p - 3.141592653589793;
            v = m * ((m * m) * (0.16562123457123723 -
                                (m * m) * (0.007956574006381783 - (m * m) * 0.000145039006054745)) -
                     0.9990123569996505);
            break;
        }
        case 1:
            v = p < 0.25 ? 4 * p : p < 0.75 ? 2 - 4 * p : 4 * p - 4;
            break;
        case 2:
            v = p < 0.5 ? 1 : -1;
            break;
        case 3:
            v = 2 * p - 1;
            break;
        case 4:
            v = 1 - 2 * p;
            break;
        case 5:
            v = held;
            break;
        }
        valueSlew.target = v;
        valueSlew.advance();
        return valueSlew.current;
    }
};

} // namespace Korvel::Reference

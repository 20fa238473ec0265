// The block routine written out sample by sample, as plainly as it reads, on the plain detector,
// oscillators and LFO: the engine, chunked and vectorised, must give exactly its samples.
#pragma once

#include "dsp/ChannelRouting.h"
#include "dsp/FastMath.h"
#include "dsp/FloatingPointGuard.h"
#include "dsp/OmbrelEngine.h"
#include "dsp/RandomGenerator.h"
#include "tests/dsp/ReferencePitchDetector.h"
#include "tests/dsp/ReferenceSynth.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Korvel::Reference {

struct Engine {
    Oscillator osc[3];
    double mainGain = 1;
    double last = 0;
    Lfo lfo;
    double sampleRate = 44100;
    double lfoDepth = 0;
    PitchDetector detector;
    double smoothCoef = 1, smoothed = 0;
    EngineSettings settings;
    bool pending = true; // settings to apply at the next block

    void setSampleRate(double sr) {
        detector.setSampleRate(sr);
        detector.setMinFreq(60);
        detector.setMaxFreq(1100);
        detector.setGate(-20);
        detector.setSpeed(6);
        sampleRate = sr;
        for (Oscillator& o : osc)
            o.setSampleRate(sr);
        lfo.setSampleRate(sr);
        double glide = 0.01 * sr;
        smoothCoef = glide > 0 ? 1 - fastPow2(-3.321928094887362 / glide) : 1;
        pending = true;
    }
    void reset() {
        detector.reset();
        detector.resetConfirmation();
        for (Oscillator& o : osc)
            o.doRelease();
        smoothed = 0;
        pending = true;
    }
    void publish(const EngineSettings& s) {
        settings = s;
        pending = true;
    }
    void apply() {
        const EngineSettings& s = settings;
        detector.setMinFreq(s.minFreq);
        detector.setMaxFreq(s.maxFreq);
        detector.setGate(s.gateDb);
        detector.setSpeed(s.speed);
        for (int k = 0; k < 3; ++k) {
            Oscillator& o = osc[k];
            o.waveform = std::clamp(s.osc[k].waveform, 0, 3);
            o.partial = s.osc[k].partial;
            o.detune = s.osc[k].detune;
            o.updateRatio();
            o.attack = s.osc[k].attack;
            o.release = s.osc[k].release;
            o.noise = s.osc[k].noise;
            o.level = s.osc[k].level;
        }
        lfo.waveform = s.lfoWaveform;
        lfo.cyclesPerBar = s.lfoCyclesPerBar;
        lfo.phaseOffset = s.lfoPhaseOffset;
        lfoDepth = s.lfoDepth;
        mainGain = s.mainGain;
    }

    // One frame: the output pair from the inputs (the synth of the sample before, or the dry
    // input in bypass).
    void frame(double l, double r, bool stereoIn, bool stereoOut, bool bypass, double* outL,
               double* outR) {
        detector.process((r + l) * 0.5);
        double p = detector.confirmed;
        if (p <= 0) {
            smoothed = 0;
            for (Oscillator& o : osc)
                o.doRelease();
        } else {
            smoothed = smoothed == 0 ? p : smoothed + (p - smoothed) * smoothCoef;
            for (Oscillator& o : osc)
                o.setFrequency(sampleRate / smoothed);
        }
        routeFrame(stereoIn, stereoOut, bypass ? l : last, bypass ? r : last, outL, outR);
        for (Oscillator& o : osc)
            o.process();
        double v = lfo.process();
        double sum = osc[0].output + osc[1].output + osc[2].output +
                     RandomGenerator::shared().uniform() * 5e-6;
        last = sum * mainGain * (lfoDepth * 0.5 * (v - 1) + 1);
    }

    // A block in either precision: single precision is widened and narrowed outside the
    // flush-to-zero of the arithmetic, as the framework always did.
    template <class T>
    void process(T* const* in, int inputs, T* const* out, int outputs, int frames, bool bypass,
                 const EngineTransport* transport) {
        {
            FloatingPointGuard guard;
            if (pending) apply();
            pending = false;
            if (transport) lfo.sync(transport->ppqPos, transport->tempo, transport->playing, true);
        }
        bool stereoIn = inputs > 1, stereoOut = outputs > 1;
        std::vector<double> l(in[0], in[0] + frames),
            r(in[stereoIn ? 1 : 0], in[stereoIn ? 1 : 0] + frames);
        std::vector<double> ol(frames), orr(frames);
        {
            FloatingPointGuard guard;
            for (int i = 0; i < frames; ++i)
                frame(l[i], r[i], stereoIn, stereoOut, bypass, &ol[i], &orr[i]);
        }
        for (int i = 0; i < frames; ++i) {
            out[0][i] = static_cast<T>(ol[i]);
            if (stereoOut) out[1][i] = static_cast<T>(orr[i]);
        }
    }
};

} // namespace Korvel::Reference

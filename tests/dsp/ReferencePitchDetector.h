// A deliberately plain pitch detector: every step written out as the algorithm states it, with
// no caching and no shortcuts. The real detector must produce the same numbers at every sample.
#pragma once

#include "dsp/Biquad.h"
#include "dsp/PortableMath.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace Korvel {
namespace Reference {

class PitchDetector {
public:
    static constexpr int kListSize = 24;
    static constexpr int kMaxCount = 23;
    static constexpr int kBurstIndex = 7;
    static constexpr int kSaturation = 1 << 30;
    static constexpr double kFilterQ = 0.7079457843841379;

    PitchDetector() { setSampleRate(44100); }

    static int trunc32(double v) { return static_cast<int>(v); }
    static int round32(double v) { return trunc32(v + 0.5); }
    static int inc(int v) { return v < kSaturation ? v + 1 : v; }

    void setSampleRate(double sr) {
        if (!std::isfinite(sr)) sr = 44100;
        sr = std::clamp(sr, 8000.0, 768000.0);
        sampleRate = sr;
        maxPeriod = round32(sr / 15);
        std::size_t length = static_cast<std::size_t>(trunc32(2 * maxPeriod + 1.5));
        if (length > history.size()) history.assign(length, 0.0);
        minSpan = round32(2 * sr / 2200);
        maxSpan = round32(2 * sr / 15);
        lowpass.setSampleRate(sr);
        lowpass.designLowPass(3300, kFilterQ);
        gate = 0.001;
        burstAge = trunc32(7 * sr / 2400);
        diffStep = trunc32(sr * 0.0001) + 1;
        diffWindow = round32(sr * 0.005);
        weightExponent = -PortableMath::log(0.6) / PortableMath::log(2.0);
        confirmPeriods = 2;
        holdPeriods = 2;
        reset();
        resetConfirmation();
    }

    static double clampFreq(double f) {
        if (!(f >= 15)) f = 15;
        if (f > 2200) f = 2200;
        return f;
    }
    void setMinFreq(double f) { maxSpan = round32(2 * sampleRate / clampFreq(f)); }
    void setMaxFreq(double f) {
        f = clampFreq(f);
        minSpan = round32(2 * sampleRate / f);
        lowpass.designLowPass(1.5 * f, kFilterQ);
    }
    void setGate(double dB) { gate = PortableMath::exp10(0.05 * dB); }
    void setSpeed(int n) {
        n = std::clamp(n, -1000, 1000);
        confirmPeriods = n < 3 ? 2 : n;
        holdPeriods = 2 * n <= 0 ? 1 : 2 * n;
    }

    void reset() {
        std::fill(history.begin(), history.end(), 0.0);
        lowpass.clear();
        previous = 0;
        period = 0;
        evidence = 0;
        lastSpan = windowHold = windowLo = windowHi = 0;
        for (int k = 0; k < kListSize; ++k) {
            rising[k] = burstAge + k;
            falling[k] = burstAge + k;
        }
        risingCount = fallingCount = 0;
        silence = 0;
    }
    void resetConfirmation() {
        pending = 0;
        confirmed = 0;
        counter = 0;
        countdown = 0;
    }

    double x(long k) const {
        long n = static_cast<long>(history.size());
        return history[static_cast<std::size_t>(((writePos - k) % n + n) % n)];
    }

    double diff(int a) const {
        int h = a / 2;
        int n = std::max(diffWindow, h) / diffStep;
        double s = 0, pu = 0, pv = 0;
        for (int t = 0; t < n; ++t) {
            int k = t * diffStep;
            double u = x(k);
            double v = (a % 2 == 0) ? x(h + k) : (x(h + k) + x(h + k + 1)) / 2;
            s += std::fabs(u - v);
            pu = std::max(pu, std::fabs(u));
            pv = std::max(pv, std::fabs(v));
        }
        if (pu >= gate && pv >= gate) return s / (std::max(pu, pv) * n);
        return 999;
    }

    bool inWindow(int a) const { return windowLo <= a && a <= windowHi; }

    // Admissible and better: takes the candidate.
    void consider(int a, int& best, double& bestScore, bool& bestInWindow) const {
        double d = diff(a);
        if (!(d <= 0.15)) return;
        double w = inWindow(a) ? 0.2 : 1.0;
        double score = d * w * PortableMath::pow(a / 2.0, weightExponent);
        if (score < bestScore) {
            best = a;
            bestScore = score;
            bestInWindow = inWindow(a);
        }
    }

    void analyse(int* list, int& m) {
        for (int k = kListSize - 1; k >= 1; --k)
            list[k] = list[k - 1];
        list[0] = 0;
        if (m < kMaxCount) ++m;

        int best = 0;
        double bestScore = 999;
        bool bestInWindow = false;
        for (int i = 2; i <= m - 1; ++i) {
            int a = list[i];
            if (a > maxSpan) break;
            if (!(a >= minSpan && a > silence)) continue;
            int lo = round32(0.9715319411536059 * a / 2);
            int hi = round32(1.029302236643492 * a / 2);
            for (int j = 1; j <= i - 1; ++j) {
                if (lo <= list[j] && list[j] <= hi) {
                    consider(a, best, bestScore, bestInWindow);
                    break;
                }
            }
        }
        if (!bestInWindow && silence < lastSpan) {
            int from = std::max(lastSpan - 3, windowLo);
            int to = std::min(lastSpan + 3, windowHi);
            for (int a = from; a <= to; ++a)
                consider(a, best, bestScore, bestInWindow);
        }
        if (!bestInWindow) {
            int h = best / 2;
            if (silence < h && minSpan <= h) {
                for (int a = std::max(h - 2, minSpan); a <= h + 2; ++a)
                    consider(a, best, bestScore, bestInWindow);
            }
        }
        if (best > 0) {
            double g = x(best);
            double g1 = x(best + 1);
            double l;
            if (g * g1 > 0 || g == g1)
                l = best;
            else
                l = best + g / (g - g1) - x(0) / (x(0) - x(1));
            lastSpan = best;
            period = l / 2;
            evidence = best / 2 + std::max(diffWindow, best / 2);
            windowLo = round32(0.9857659705768029 * l);
            windowHi = round32(1.014651118321746 * l);
            windowHold = windowHi;
            int keep = 0;
            while (keep < m && list[keep] < best)
                ++keep;
            m = keep;
        }
    }

    void process(double in) {
        if (pending > 0) {
            counter = inc(counter);
            countdown -= 1;
            if (countdown < 1) {
                pending = confirmed = 0;
                counter = countdown = 0;
            }
        }
        if (!std::isfinite(in))
            in = 0;
        else if (in > 1e300)
            in = 1e300;
        else if (in < -1e300)
            in = -1e300;
        double y = lowpass.process(in);
        writePos = (writePos + 1) % static_cast<long>(history.size());
        history[static_cast<std::size_t>(writePos)] = y;
        for (int k = 0; k < kListSize; ++k) {
            rising[k] = inc(rising[k]);
            falling[k] = inc(falling[k]);
        }
        if (windowHold > 0) {
            --windowHold;
            if (windowHold == 0) lastSpan = windowLo = windowHi = 0;
        }
        if (rising[kBurstIndex] <= burstAge || falling[kBurstIndex] <= burstAge)
            risingCount = fallingCount = 0;
        if (-gate < y && y < gate)
            silence = inc(silence);
        else
            silence = 0;
        period = 0;
        evidence = 0;
        if (previous <= 0 && y > 0)
            analyse(rising, risingCount);
        else if (previous >= 0 && y < 0)
            analyse(falling, fallingCount);
        previous = y;

        if (period > 0) {
            double p = period;
            int hold = round32(p * holdPeriods * 1.0028922878693671);
            if (pending == 0) {
                pending = p;
                countdown = hold;
                counter = evidence;
            } else {
                double r = std::max(p / pending, pending / p);
                pending = p;
                countdown = hold;
                if (r >= 1.029302236643492) counter = evidence;
            }
        }
        if (pending > 0 && trunc32(pending * confirmPeriods) <= counter) confirmed = pending;
    }

    double sampleRate = 0;
    int maxPeriod = 0;
    double weightExponent = 0;
    Biquad lowpass;
    std::vector<double> history;
    long writePos = 0;
    double gate = 0;
    double previous = 0;
    int minSpan = 0, maxSpan = 0;
    double period = 0;
    int evidence = 0;
    int lastSpan = 0, windowHold = 0, windowLo = 0, windowHi = 0;
    int burstAge = 0;
    int silence = 0;
    int diffStep = 0, diffWindow = 0;
    int rising[kListSize] = {};
    int falling[kListSize] = {};
    int risingCount = 0, fallingCount = 0;
    int confirmPeriods = 2, holdPeriods = 2;
    double pending = 0;
    int counter = 0, countdown = 0;
    double confirmed = 0;
};

} // namespace Reference
} // namespace Korvel

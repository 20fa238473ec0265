// Follows the pitch of a monophonic signal one sample at a time and reports a confirmed period.
//
// Zero crossings of a low-passed copy of the input propose candidate spans (two periods); an
// average magnitude difference between the signal and itself one period earlier tests them, a
// weighting prefers short spans and the one tracked recently, and a confirmation stage reports a
// pitch only once it has stayed stable for "Speed" periods.
//
// Threads: setSampleRate runs on the set-up thread while no audio runs (it may allocate). Every
// other call runs on the audio thread, or is otherwise serialised with process() by the caller,
// and never allocates.
#pragma once

#include "dsp/Biquad.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Korvel {

class PitchDetector {
public:
    PitchDetector();

    void setSampleRate(double sampleRate);
    void setMinFreq(double hz);
    void setMaxFreq(double hz);
    void setGate(double dB);
    void setSpeed(int periods);
    // Analysis state: history, filter, crossings, tracking window.
    void reset();
    // Pending and confirmed pitch with their clocks.
    void resetConfirmation();
    void process(double sample);

    // In samples; 0 when no pitch is confirmed.
    double confirmedPeriod() const { return confirmed_; }
    // This sample's analysis result, 0 when it found nothing, and the samples it covered.
    double period() const { return period_; }
    int evidence() const { return evidence_; }
    std::size_t memoryBytes() const;

private:
    static constexpr int kListSize = 24;

    struct CrossingList {
        int age[kListSize];
        int count;
    };

    double x(long k) const;
    double difference(int span) const;
    void consider(int span, int& best, double& bestScore, bool& bestInWindow) const;
    void analyse(CrossingList& list);

    double sampleRate_ = 0;
    double weightExponent_ = 0;
    Biquad lowpass_;
    std::vector<double> history_;
    long writePos_ = 0;
    double gate_ = 0;
    double previous_ = 0;
    int minSpan_ = 0;
    int maxSpan_ = 0;
    double period_ = 0;
    int evidence_ = 0;
    int lastSpan_ = 0;
    int windowHold_ = 0;
    int windowLo_ = 0;
    int windowHi_ = 0;
    int burstAge_ = 0;
    int silence_ = 0;
    int diffStep_ = 0;
    int diffWindow_ = 0;
    CrossingList rising_{};
    CrossingList falling_{};
    int confirmPeriods_ = 2;
    int holdPeriods_ = 2;
    double pending_ = 0;
    int counter_ = 0;
    int countdown_ = 0;
    double confirmed_ = 0;
};

} // namespace Korvel

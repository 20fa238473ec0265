// The detector against the plain reference: identical numbers at every sample, through notes,
// glides, vibrato, noise, silence, bad samples, setting changes and sample-rate changes.
#include "dsp/EngineKernels.h"
#include "dsp/PitchDetector.h"
#include "tests/dsp/DetectorSignals.h"
#include "tests/dsp/ReferencePitchDetector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace Korvel;
using TestSignals::Builder;

namespace {

std::uint64_t bits(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// A setting change applied to both detectors before the sample at `at`.
struct Change {
    std::size_t at;
    std::function<void(PitchDetector&)> real;
    std::function<void(Reference::PitchDetector&)> reference;
};

Change minFreq(std::size_t at, double hz) {
    return {at, [=](PitchDetector& d) { d.setMinFreq(hz); },
            [=](Reference::PitchDetector& d) { d.setMinFreq(hz); }};
}
Change maxFreq(std::size_t at, double hz) {
    return {at, [=](PitchDetector& d) { d.setMaxFreq(hz); },
            [=](Reference::PitchDetector& d) { d.setMaxFreq(hz); }};
}
Change gate(std::size_t at, double dB) {
    return {at, [=](PitchDetector& d) { d.setGate(dB); },
            [=](Reference::PitchDetector& d) { d.setGate(dB); }};
}
Change speed(std::size_t at, int n) {
    return {at, [=](PitchDetector& d) { d.setSpeed(n); },
            [=](Reference::PitchDetector& d) { d.setSpeed(n); }};
}
Change sampleRate(std::size_t at, double sr) {
    return {at, [=](PitchDetector& d) { d.setSampleRate(sr); },
            [=](Reference::PitchDetector& d) { d.setSampleRate(sr); }};
}
Change resets(std::size_t at, bool confirmation) {
    return {at,
            [=](PitchDetector& d) {
                d.reset();
                if (confirmation) d.resetConfirmation();
            },
            [=](Reference::PitchDetector& d) {
                d.reset();
                if (confirmation) d.resetConfirmation();
            }};
}

std::vector<Change> defaults(std::size_t at = 0) {
    return {minFreq(at, 70), maxFreq(at, 1200), gate(at, -40), speed(at, 3)};
}

// Runs both from their construction at 44100 Hz, the real detector twice: sample by sample with
// the processor's widest kernels, and in blocks of varying length (beyond its pieces too) as the
// engine drives it, with the baseline kernels, each block ending at the next change; `changes`
// must be ordered by `at`.
void compare(const std::string& name, double rate, const std::vector<double>& input,
             std::vector<Change> changes) {
    PitchDetector real, blocked;
    blocked.useKernels(baselineKernels());
    Reference::PitchDetector reference;
    changes.insert(changes.begin(), sampleRate(0, rate));
    std::size_t next = 0;
    int detections = 0;
    int confirmedSamples = 0;
    std::vector<double> expected(input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        for (; next < changes.size() && changes[next].at <= i; ++next) {
            changes[next].real(real);
            changes[next].reference(reference);
        }
        real.process(input[i]);
        reference.process(input[i]);
        ASSERT_EQ(bits(real.period()), bits(reference.period)) << name << ", sample " << i;
        ASSERT_EQ(real.evidence(), reference.evidence) << name << ", sample " << i;
        ASSERT_EQ(bits(real.confirmedPeriod()), bits(reference.confirmed))
            << name << ", sample " << i;
        expected[i] = reference.confirmed;
        detections += reference.period > 0;
        confirmedSamples += reference.confirmed > 0;
    }
    // The scenario exercised the detector rather than comparing two silent outputs.
    EXPECT_GT(detections, 0) << name;
    EXPECT_GT(confirmedSamples, 0) << name;

    const std::size_t lengths[] = {128, 1, 37, 200, 5, 64, 129, 300, 2};
    std::vector<double> confirmed(300);
    next = 0;
    for (std::size_t at = 0, n = 0; at < input.size(); ++n) {
        for (; next < changes.size() && changes[next].at <= at; ++next)
            changes[next].real(blocked);
        std::size_t end = std::min(input.size(), at + lengths[n % 9]);
        if (next < changes.size()) end = std::min(end, changes[next].at);
        int frames = static_cast<int>(end - at);
        blocked.processBlock(&input[at], frames, confirmed.data());
        for (int i = 0; i < frames; ++i)
            ASSERT_EQ(bits(confirmed[i]), bits(expected[at + i]))
                << name << ", in blocks, sample " << at + i;
        at = end;
    }
}

std::size_t seconds(double s, double rate) {
    return static_cast<std::size_t>(s * rate);
}

} // namespace

TEST(PitchDetectorReference, MelodyWithTheEffectDefaults) {
    Builder b(44100);
    b.melody(20).addNoise(0.002);
    compare("melody", 44100, b.samples(), defaults());
}

TEST(PitchDetectorReference, SettingsChangingWhileItRuns) {
    const double rate = 48000;
    Builder b(rate);
    b.melody(16);
    std::vector<Change> changes = defaults();
    const double mins[] = {20, 150, 10, 60, 400, 15, 2500, 90};
    const double maxs[] = {2000, 500, 3000, 800, 1500, 250, 5, 1100};
    const double gates[] = {-80, -10, -60, -30, -45, -20, -70, -35};
    const int speeds[] = {1, 20, 2, 0, -3, 7, 25, 5};
    for (int k = 0; k < 32; ++k) {
        std::size_t at = seconds(0.5 * (k + 1), rate);
        switch (k % 4) {
        case 0:
            changes.push_back(minFreq(at, mins[(k / 4) % 8]));
            break;
        case 1:
            changes.push_back(maxFreq(at, maxs[(k / 4) % 8]));
            break;
        case 2:
            changes.push_back(gate(at, gates[(k / 4) % 8]));
            break;
        default:
            changes.push_back(speed(at, speeds[(k / 4) % 8]));
            break;
        }
    }
    compare("settings", rate, b.samples(), changes);
}

TEST(PitchDetectorReference, NoiseSilenceAndBadSamples) {
    const double rate = 44100;
    Builder b(rate);
    b.noise(3, 0.5)
        .melody(3)
        .badSamples(200)
        .melody(2)
        .silence(2)
        .noise(2, 0.001)
        .tone(1, 441, 0.02)
        // Near and beyond float's range, where the narrow screen must not rule a candidate out.
        .tone(0.5, 330, 3.42e38)
        .tone(0.5, 330, 1e40)
        .constant(100, 1e308)
        .melody(2)
        .constant(3, -1e300);
    b.tone(1, 880).noise(1, 0.3, 11).melody(1);
    std::vector<Change> changes = defaults();
    changes.push_back(gate(seconds(1, rate), -80));
    changes.push_back(gate(seconds(2.5, rate), -40));
    compare("noise", rate, b.samples(), changes);
}

TEST(PitchDetectorReference, ExtremeRangesAndFrequencies) {
    const double rate = 44100;
    Builder b(rate);
    // Near the lowest frequency the longest spans reach the end of the history.
    b.tone(2, 15.2, 0.7).glide(2, 15.5, 40).tone(1, 2600, 0.5).glide(2, 1500, 3500);
    b.glide(2, 300, 80).tone(1, 2100).glide(1, 60, 14);
    std::vector<Change> changes = {minFreq(0, 15), maxFreq(0, 2200), gate(0, -60), speed(0, 2)};
    changes.push_back(maxFreq(seconds(5, rate), 700));
    changes.push_back(minFreq(seconds(7, rate), 200));
    changes.push_back(minFreq(seconds(9, rate), 15));
    compare("extremes", rate, b.samples(), changes);
}

TEST(PitchDetectorReference, TrackingBelowTheLowestFrequencyReadsAroundTheRing) {
    // The tracking window follows a glide past the longest span, until the measure reads samples
    // older than the ring holds.
    for (double rate : {44100.0, 8000.0}) {
        Builder b(rate);
        b.tone(1.5, 15.3, 0.8).glide(5, 15.3, 13.5, 0.8).tone(1, 13.5, 0.8);
        compare("below lowest " + std::to_string(rate), rate, b.samples(),
                {minFreq(0, 15), maxFreq(0, 60), gate(0, -50), speed(0, 2)});
    }
}

TEST(PitchDetectorReference, SeveralSampleRates) {
    for (double rate : {8000.0, 22050.0, 96000.0, 192000.0}) {
        Builder b(rate);
        b.melody(4).addNoise(0.01);
        b.glide(1, 100, 30).glide(1, 900, 1900);
        compare("rate " + std::to_string(rate), rate, b.samples(), defaults());
    }
}

TEST(PitchDetectorReference, SampleRateChangesAndResetsMidStream) {
    // The history keeps its largest size, so later, lower rates read a longer ring.
    const double rate = 44100;
    Builder b(rate);
    b.melody(12);
    std::vector<Change> changes = defaults();
    auto add = [&](std::vector<Change> more) {
        changes.insert(changes.end(), more.begin(), more.end());
    };
    changes.push_back(sampleRate(seconds(2, rate), 96000));
    add(defaults(seconds(2, rate)));
    changes.push_back(sampleRate(seconds(4, rate), 22050));
    add(defaults(seconds(4, rate)));
    changes.push_back(sampleRate(seconds(6, rate), 44100));
    add({minFreq(seconds(6, rate), 15), maxFreq(seconds(6, rate), 1200)});
    changes.push_back(resets(seconds(8, rate), false));
    changes.push_back(resets(seconds(9, rate), true));
    changes.push_back(resets(seconds(10, rate) + 7, false));
    compare("rate changes", rate, b.samples(), changes);
}

TEST(PitchDetectorReference, RandomScenarios) {
    // Drawn signals and setting changes; a fault shows as the first differing sample of a seed.
    const double rates[] = {44100, 48000, 32000, 88200, 11025};
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        TestSignals::Noise draw(seed * 7919);
        auto pick = [&](double lo, double hi) { return lo + (hi - lo) * (draw.next() + 1) / 2; };
        const double rate = rates[seed % 5];
        Builder b(rate);
        std::vector<Change> changes = defaults();
        while (b.samples().size() < seconds(8, rate)) {
            std::size_t at = b.samples().size();
            double f = 30 * std::pow(2.0, pick(0, 6));
            switch (static_cast<int>(pick(0, 8))) {
            case 0:
                b.note(pick(0.05, 0.6), f, f * pick(0.8, 1.25), pick(0.001, 1), pick(0, 1));
                break;
            case 1:
                b.glide(pick(0.05, 0.5), f, f * pick(0.5, 2), pick(0.01, 1));
                break;
            case 2:
                b.noise(pick(0.01, 0.3), pick(0.0001, 1), seed + static_cast<std::uint32_t>(at));
                break;
            case 3:
                b.silence(pick(0.001, 0.2));
                break;
            case 4:
                b.badSamples(static_cast<int>(pick(1, 40)));
                break;
            default:
                b.note(pick(0.1, 0.4), f, f, pick(0.05, 0.9), pick(0, 0.5), pick(3, 7), pick(0, 1));
            }
            switch (static_cast<int>(pick(0, 12))) {
            case 0:
                changes.push_back(minFreq(at, pick(10, 600)));
                break;
            case 1:
                changes.push_back(maxFreq(at, pick(100, 2500)));
                break;
            case 2:
                changes.push_back(gate(at, pick(-90, -5)));
                break;
            case 3:
                changes.push_back(speed(at, static_cast<int>(pick(-2, 24))));
                break;
            case 4:
                changes.push_back(resets(at, pick(0, 1) > 0.5));
                break;
            default:
                break;
            }
        }
        compare("seed " + std::to_string(seed), rate, b.samples(), changes);
    }
}

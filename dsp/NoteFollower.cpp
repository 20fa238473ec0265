#include "dsp/NoteFollower.h"

#include "dsp/PortableMath.h"

#include <cmath>

namespace Korvel {

namespace {

int nearestKey(double pitch) {
    double k = std::floor(pitch + 0.5);
    return k < 0 ? 0 : k > 127 ? 127 : static_cast<int>(k);
}

} // namespace

NoteMidi noteMidi(const NoteEvent& event, int& bend) {
    NoteMidi m;
    if (event.kind != NoteEvent::Off) {
        double b = std::floor(8192 + event.tuning * 4096 + 0.5);
        const int wanted = b < 0 ? 0 : b > 16383 ? 16383 : static_cast<int>(b);
        if (wanted != bend) {
            std::uint8_t* out = m.bytes[m.count++];
            out[0] = 0xe0;
            out[1] = static_cast<std::uint8_t>(wanted & 0x7f);
            out[2] = static_cast<std::uint8_t>(wanted >> 7);
            bend = wanted;
        }
    }
    if (event.kind != NoteEvent::Tuning) {
        std::uint8_t* out = m.bytes[m.count++];
        out[0] = event.kind == NoteEvent::On ? 0x90 : 0x80;
        out[1] = event.key & 0x7f;
        out[2] = event.kind == NoteEvent::On ? event.velocity : 0;
    }
    return m;
}

void NoteFollower::setSampleRate(double rate) {
    if (!(rate > 0)) return;
    sampleRate_ = rate;
    // The peak level falls by 1/e in 100 ms: the onset's level, not a swell's first cycle alone.
    levelFall_ = -1.4426950408889634 / (0.1 * rate);
    fallFrames_ = -1;
    settleFrames_ = static_cast<int>(kSettleSeconds * rate + 0.5);
    tuningSpacing_ = static_cast<int>(0.001 * rate + 0.5);
    if (tuningSpacing_ < 1) tuningSpacing_ = 1;
}

void NoteFollower::reset() {
    if (key_ >= 0 && sounding_) pendingOff_ = key_;
    key_ = -1;
    sounding_ = false;
    lastPeriod_ = 0;
    level_ = 0;
    candidate_ = -1;
    held_ = 0;
}

void NoteFollower::end(int frame, NoteEvents& out) {
    if (key_ >= 0 && sounding_) {
        NoteEvent e;
        e.kind = NoteEvent::Off;
        e.key = static_cast<std::uint8_t>(key_);
        e.frame = frame;
        out.add(e);
    }
    sounding_ = false;
}

void NoteFollower::start(int key, int frame, double level, NoteEvents& out) {
    end(frame, out);
    key_ = key;
    sounding_ = true;
    candidate_ = -1;
    held_ = 0;
    const double db = level > 0 ? 6.020599913279624 * PortableMath::log2(level) : -200;
    double v = std::floor(127 + db * (126.0 / 48.0) + 0.5);
    NoteEvent e;
    e.kind = NoteEvent::On;
    e.key = static_cast<std::uint8_t>(key);
    e.velocity = static_cast<std::uint8_t>(v < 1 ? 1 : v > 127 ? 127 : v);
    e.frame = frame;
    e.tuning = pitch_ - key;
    out.add(e);
    sentTuning_ = e.tuning;
    sinceTuning_ = 0;
}

void NoteFollower::follow(int key, int frame, int sample, NoteEvents& out) {
    if (!muted_) {
        start(key, frame, peak(levelBefore_, sample, sample + 1), out);
        return;
    }
    // In bypass the key is followed without a sound, so leaving it starts nothing at once.
    key_ = key;
    sounding_ = false;
    candidate_ = -1;
    held_ = 0;
}

void NoteFollower::beginBlock(bool bypass, bool transportKnown, bool playing, NoteEvents& out) {
    const int at = out.frames();
    if (pendingOff_ >= 0) {
        NoteEvent e;
        e.kind = NoteEvent::Off;
        e.key = static_cast<std::uint8_t>(pendingOff_);
        e.frame = at;
        out.add(e);
        pendingOff_ = -1;
    }
    bool stopped = transportKnown && wasPlaying_ && !playing;
    if (transportKnown) wasPlaying_ = playing;
    muted_ = bypass;
    if (endRequested_.exchange(false, std::memory_order_relaxed) || bypass || stopped) end(at, out);
}

// The confirmed period stands for many samples at a time, and within a run of one period only
// three things can happen: its first sample moves the pitch, a legato move's settle time runs
// out, or a tuning change held back by the spacing goes out. So each run costs a few steps
// however long it is, and the input's level is kept per stretch as a peak.
void NoteFollower::process(const double* period, const double* mono, int frames, NoteEvents& out) {
    const int base = out.frames();
    mono_ = mono;
    levelBefore_ = level_;
    for (int i = 0; i < frames;) {
        const double p = period[i];
        int stop = i + 1;
        while (stop < frames && period[stop] == p)
            ++stop;
        if (!(p > 0)) {
            if (key_ >= 0) end(base + i, out);
            key_ = -1;
            lastPeriod_ = 0;
            candidate_ = -1;
            i = stop;
            continue;
        }
        if (p != lastPeriod_) {
            lastPeriod_ = p;
            pitch_ = 69 + 12 * PortableMath::log2(sampleRate_ / (p * 440));
        }
        const int nearest = nearestKey(pitch_);
        int from = i;
        if (key_ < 0) {
            follow(nearest, base + i, i, out);
            from = i + 1;
        } else if (nearest != key_ && std::fabs(pitch_ - key_) > kLeave) {
            // held_ after sample j of the run is h0 + (j - i + 1).
            const int h0 = nearest == candidate_ ? held_ : 0;
            const int at = i + (settleFrames_ - h0 - 1 > 0 ? settleFrames_ - h0 - 1 : 0);
            candidate_ = nearest;
            if (at < stop) {
                tune(base, from, at, out);
                follow(nearest, base + at, at, out);
                from = at + 1;
            } else {
                held_ = h0 + (stop - i);
            }
        } else {
            candidate_ = -1;
        }
        tune(base, from, stop, out);
        i = stop;
    }
    level_ = peak(levelBefore_, frames - 1, frames);
    out.advance(frames);
}

// Samples [from, to) of one period while the note sounds: the tuning, when it moved by a cent,
// once the spacing since the last one has passed.
void NoteFollower::tune(int base, int from, int to, NoteEvents& out) {
    if (!sounding_ || to <= from) return;
    const double tuning = pitch_ - key_;
    if (std::fabs(tuning - sentTuning_) < 0.01) {
        sinceTuning_ += to - from;
        return;
    }
    const int wait = tuningSpacing_ - sinceTuning_ - 1;
    const int at = from + (wait > 0 ? wait : 0);
    if (at >= to) {
        sinceTuning_ += to - from;
        return;
    }
    NoteEvent e;
    e.kind = NoteEvent::Tuning;
    e.key = static_cast<std::uint8_t>(key_);
    e.frame = base + at;
    e.tuning = tuning;
    out.add(e);
    sentTuning_ = tuning;
    sinceTuning_ = to - at - 1;
}

// The level at sample last of this stretch: the stretch's peak so far beside the level before
// it, fallen for the samples since.
double NoteFollower::peak(double before, int last, int frames) {
    double m = 0;
    for (int k = 0; k <= last && k < frames; ++k) {
        const double x = std::fabs(mono_[k]);
        m = m > x ? m : x;
    }
    // Stretches are mostly of one length: the fall over it is kept.
    const int n = last + 1;
    if (n != fallFrames_) {
        fallFrames_ = n;
        fall_ = PortableMath::exp2(levelFall_ * n);
    }
    const double fallen = before * fall_;
    return m > fallen ? m : fallen;
}

} // namespace Korvel

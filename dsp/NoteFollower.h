// The tracked pitch as notes: one note at a time, on when the detector confirms a pitch, off when
// it releases it, the exact pitch in between as a tuning offset from the note's key.
//
// Rules (in semitones, p = 69 + 12·log2(f / 440)):
// - Onset: the first confirmed period after none gives a note on the nearest key, its velocity
//   from the input's peak level up to that sample, falling by 1/e in 100 ms (0 dBFS 127,
//   -48 dBFS 1, linear in decibels).
// - Tuning: while the note sounds, p − key goes out when it moved by a cent or more, at most one
//   event per millisecond; the note's start carries its own.
// - Legato: a new key only once p has stayed in that key's half-semitone for kSettleSeconds while
//   more than kLeave from the sounding key; then off and on at the same frame. A glide between
//   sung notes passes its middle keys faster than that and gives one new note, vibrato of less
//   than kLeave never leaves its key.
// - Release: the detector losing the pitch ends the note.
// - Ended from outside (bypass, a transport stop, a program or state change, a reset): the note
//   goes off and the next one starts at the next onset or legato move, not at once; none starts
//   while bypassed.
#pragma once

#include <atomic>
#include <cstdint>

namespace Korvel {

struct NoteEvent {
    enum Kind : std::uint8_t { On, Off, Tuning };
    Kind kind = On;
    std::uint8_t key = 0;      // 0..127
    std::uint8_t velocity = 0; // On: 1..127
    int frame = 0;             // from the first frame since the buffer was cleared
    double tuning = 0;         // On, Tuning: semitones from key (beyond ±2 while a move settles)
};

// A fixed-capacity buffer of one host block's events, in time order, filled on the audio thread.
// Tuning events give way to notes when it runs short: note ons and offs always fit.
class NoteEvents {
public:
    static constexpr int kCapacity = 1024;

    // [audio] Before a host block: no events, frames counted from 0.
    void clear() {
        count_ = 0;
        frames_ = 0;
    }
    int size() const { return count_; }
    const NoteEvent& operator[](int index) const { return events_[index]; }
    // Frames processed since clear(): where the next process call's frame 0 lies.
    int frames() const { return frames_; }

    // [audio] The follower's side.
    void add(const NoteEvent& event) {
        const int room = event.kind == NoteEvent::Tuning ? kCapacity - kReserved : kCapacity;
        if (count_ < room) events_[count_++] = event;
    }
    void advance(int frames) { frames_ += frames; }

private:
    static constexpr int kReserved = 8;
    NoteEvent events_[kCapacity];
    int count_ = 0;
    int frames_ = 0;
};

// An event as MIDI channel messages on channel 1, pitch bend spanning ±2 semitones: a note on's
// bend goes out before it, a bend only when it changes. bend is the last one sent (8192 centre).
struct NoteMidi {
    std::uint8_t bytes[2][3] = {};
    int count = 0;
};
NoteMidi noteMidi(const NoteEvent& event, int& bend);

class NoteFollower {
public:
    static constexpr double kSettleSeconds = 0.03;
    static constexpr double kLeave = 0.6;

    // [set-up] No audio running.
    void setSampleRate(double rate);
    // [set-up] The detector starts again: a sounding note's off goes out at the next block.
    void reset();
    // [any] Ends the sounding note at the next block.
    void requestEnd() { endRequested_.store(true, std::memory_order_relaxed); }

    // [audio] At a block's start: ends the note when asked to, in bypass and when the transport
    // stops (transportKnown: the host told whether it plays).
    void beginBlock(bool bypass, bool transportKnown, bool playing, NoteEvents& out);
    // [audio] One stretch: period[i] the detector's confirmed period (<= 0: none) and mono[i]
    // its input.
    void process(const double* period, const double* mono, int frames, NoteEvents& out);

private:
    void end(int frame, NoteEvents& out);
    void start(int key, int frame, double level, NoteEvents& out);
    // A new key at sample of the stretch: its note starts unless the block is bypassed.
    void follow(int key, int frame, int sample, NoteEvents& out);
    void tune(int base, int from, int to, NoteEvents& out);
    double peak(double before, int last, int frames);

    double sampleRate_ = 44100;
    double levelFall_ = -3.27e-4; // log2 of the level's fall per sample
    int fallFrames_ = -1;         // the fall over that many samples is fall_
    double fall_ = 1;
    int settleFrames_ = 1323;
    int tuningSpacing_ = 44;

    double level_ = 0;             // the input's peak, falling, at the end of the last stretch
    double levelBefore_ = 0;       // level_ as the stretch began
    const double* mono_ = nullptr; // the stretch's input, while process() runs
    double lastPeriod_ = 0;        // the period pitch_ belongs to; 0 when none is tracked
    double pitch_ = 0;
    int key_ = -1;          // the key followed; -1 when no pitch is tracked
    bool sounding_ = false; // false: ended from outside, waiting for the next onset or move
    int candidate_ = -1;
    int held_ = 0;
    double sentTuning_ = 0;
    int sinceTuning_ = 0;
    int pendingOff_ = -1;
    bool wasPlaying_ = false;
    bool muted_ = false; // this block is bypassed
    std::atomic<bool> endRequested_{false};
};

} // namespace Korvel

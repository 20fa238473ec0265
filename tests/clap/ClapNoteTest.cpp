// The CLAP build's note output through our CLAP host: a held tone is one note on its key, and
// whatever ends it from outside (the transport stopping, a state load, deactivation) sends its
// note off at the next block's first frame without starting it again.
#include "tests/clap/ClapTestKit.h"

#include <cmath>
#include <vector>

namespace OmbrelTest {
namespace {

constexpr double kRate = 44100;
constexpr int kBlock = 512;

struct Note {
    std::uint16_t type;
    int key;
    long long frame; // from the first frame played
    double value;
};

class Player {
public:
    explicit Player(OmbrelHost::ClapPlugin& clap) : clap_(clap) {}
    // Blocks of a sine (0 Hz: silence) for about seconds; the note events they brought.
    std::vector<Note> play(double hz, double seconds) {
        std::vector<Note> notes;
        std::vector<float> in(kBlock),
            out[2] = {std::vector<float>(kBlock), std::vector<float>(kBlock)};
        float* ins[2] = {in.data(), in.data()};
        float* outs[2] = {out[0].data(), out[1].data()};
        for (int n = static_cast<int>(seconds * kRate / kBlock); n > 0; --n) {
            for (int i = 0; i < kBlock; ++i, ++frame_) {
                phase_ += hz / kRate;
                in[i] = static_cast<float>(0.3 * std::sin(6.283185307179586 * phase_));
            }
            clap_.process(ins, outs, kBlock);
            for (const OmbrelHost::ClapEvent& e : clap_.takeEvents())
                if (e.type <= CLAP_EVENT_NOTE_EXPRESSION)
                    notes.push_back({e.type, e.key, frame_ - kBlock + e.time, e.value});
        }
        return notes;
    }
    long long frame() const { return frame_; }

private:
    OmbrelHost::ClapPlugin& clap_;
    long long frame_ = 0;
    double phase_ = 0;
};

int count(const std::vector<Note>& notes, std::uint16_t type) {
    int n = 0;
    for (const Note& e : notes)
        n += e.type == type;
    return n;
}

// The note off of key at the first frame of the events' first block, and nothing else sounding.
void expectEndedAtOnce(const std::vector<Note>& notes, long long blockStart, const char* why) {
    ASSERT_FALSE(notes.empty()) << why;
    EXPECT_EQ(notes[0].type, CLAP_EVENT_NOTE_OFF) << why;
    EXPECT_EQ(notes[0].key, 57) << why;
    EXPECT_EQ(notes[0].frame, blockStart) << why;
    EXPECT_EQ(count(notes, CLAP_EVENT_NOTE_ON), 0) << why << ": started again";
    EXPECT_EQ(count(notes, CLAP_EVENT_NOTE_OFF), 1) << why;
}

TEST(ClapNotes, AHeldToneIsOneNoteThatTransportStopStateLoadAndDeactivationEnd) {
    OmbrelHost::ClapPlugin clap;
    loadClap(clap);
    ASSERT_EQ(clap.noteOutputs(), 1);
    ASSERT_TRUE(clap.activate(kRate, 1, kBlock));
    clap.startProcessing();
    std::vector<std::uint8_t> state;
    ASSERT_TRUE(clap.saveState(state));
    clap.transport().setTempo(120);
    clap.transport().setPlaying(true);
    Player player(clap);

    // A3 exactly: one note on its key, confirmed within a few periods, its tuning near 0.
    std::vector<Note> notes = player.play(220, 0.4);
    ASSERT_EQ(count(notes, CLAP_EVENT_NOTE_ON), 1);
    EXPECT_EQ(count(notes, CLAP_EVENT_NOTE_OFF), 0);
    EXPECT_EQ(notes[0].key, 57);
    EXPECT_LT(notes[0].frame, 0.03 * kRate);
    EXPECT_GT(notes[0].value, 0.5) << "velocity of a tone at -10 dBFS";
    for (const Note& e : notes)
        if (e.type == CLAP_EVENT_NOTE_EXPRESSION) {
            EXPECT_NEAR(e.value, 0, 0.05);
        }

    // The transport stops in the middle of the note.
    clap.transport().setPlaying(false);
    long long at = player.frame();
    notes = player.play(220, 0.3);
    expectEndedAtOnce(notes, at, "transport stop");

    // Released by silence, the next tone is a new note; a state load ends it.
    EXPECT_TRUE(player.play(0, 0.2).empty()) << "nothing sounds to end";
    EXPECT_EQ(count(player.play(220, 0.3), CLAP_EVENT_NOTE_ON), 1);
    ASSERT_TRUE(clap.loadState(state));
    at = player.frame();
    expectEndedAtOnce(player.play(220, 0.3), at, "state load");

    // Deactivated while a note sounds: its note off comes with the first block after.
    player.play(0, 0.2);
    EXPECT_EQ(count(player.play(220, 0.3), CLAP_EVENT_NOTE_ON), 1);
    clap.deactivate();
    ASSERT_TRUE(clap.activate(kRate, 1, kBlock));
    clap.startProcessing();
    at = player.frame();
    notes = player.play(0, 0.1);
    expectEndedAtOnce(notes, at, "deactivation");
}

} // namespace
} // namespace OmbrelTest

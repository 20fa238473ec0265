// The .clap's X11 editor embedded by our CLAP host in a parent window under Xvfb, its event loop
// running on the host's timer only: a knob drag that reaches the host as gesture begin, values and
// gesture end (by flush while inactive, by the blocks of an audio thread of the host's while
// processing), Random and AutoLevel as plain value changes, and host automation repainting it.
// Its page 1 pixels are checked through ombrel-host snapshot, against the VST build's.
#include "tests/clap/ClapTestKit.h"

// GoogleTest before Xlib, whose macros (None, Bool) clash with its names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace OmbrelTest {
namespace {

using OmbrelHost::ClapEvent;

constexpr int kW = 640, kH = 395;
constexpr int kKnobX = 260, kKnobY = 55; // MinFreq
constexpr int kRandomX = 560, kRandomY = 345, kAutoLevelX = 530, kAutoLevelY = 77;
// Per channel, and at most one pixel in a thousand beyond it, as the VST window test allows.
constexpr int kTolerance = 6;

class ClapEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        display = XOpenDisplay(nullptr);
        ASSERT_NE(nullptr, display) << "needs an X server ($DISPLAY; CTest runs it under Xvfb)";
        XSetWindowAttributes a{};
        a.override_redirect = True;
        parent = XCreateWindow(display, DefaultRootWindow(display), 0, 0, kW, kH, 0, CopyFromParent,
                               InputOutput, CopyFromParent, CWOverrideRedirect, &a);
        XMapRaised(display, parent);
        XSync(display, False);
        loadClap(clap);
    }
    void TearDown() override {
        stopAudio();
        clap.unload();
        if (display) XCloseDisplay(display);
    }
    // The host's main loop: its timers.
    void loop(int ms) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        do {
            clap.runTimers();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (std::chrono::steady_clock::now() < until);
    }
    // The host's audio thread: a block every few milliseconds beside the main thread's work.
    void startAudio() {
        named = false;
        audio = std::thread([this] {
            while (!named.load())
                std::this_thread::yield();
            EXPECT_TRUE(clap.startProcessing());
            std::vector<float> in(2 * 256, 0.0f), out(2 * 256, 0.0f);
            float* ins[2] = {in.data(), in.data() + 256};
            float* outs[2] = {out.data(), out.data() + 256};
            while (processing.load()) {
                EXPECT_EQ(CLAP_PROCESS_CONTINUE, clap.process(ins, outs, 256));
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            clap.stopProcessing();
        });
        processing = true;
        clap.setAudioThread(audio.get_id());
        named = true;
    }
    void stopAudio() {
        processing = false;
        if (audio.joinable()) audio.join();
    }
    void move(int x, int y) {
        XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
        XSync(display, False);
        loop(30);
    }
    void button(bool down) {
        XTestFakeButtonEvent(display, 1, down, CurrentTime);
        XSync(display, False);
        loop(30);
    }
    void drag(int x, int y, int dy) {
        move(x, y);
        button(true);
        for (int i = 1; i <= 5; ++i)
            move(x, y + dy * i / 5);
        button(false);
        loop(60);
    }
    void click(int x, int y) { drag(x, y, 0); }
    std::vector<std::uint32_t> grab() {
        XSync(display, False);
        XImage* image = XGetImage(display, parent, 0, 0, kW, kH, AllPlanes, ZPixmap);
        std::vector<std::uint32_t> pixels;
        if (!image) return pixels;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                unsigned long p = XGetPixel(image, x, y);
                pixels.push_back(0xff000000u | ((p >> 16) & 0xff) | (p & 0xff00) |
                                 ((p & 0xff) << 16));
            }
        XDestroyImage(image);
        return pixels;
    }
    static int differing(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
        if (a.size() != b.size()) return kW * kH;
        int n = 0;
        for (std::size_t i = 0; i < a.size(); ++i)
            for (int c = 0; c < 24; c += 8) {
                int d = static_cast<int>((a[i] >> c) & 0xff) - static_cast<int>((b[i] >> c) & 0xff);
                if (d > kTolerance || d < -kTolerance) {
                    ++n;
                    break;
                }
            }
        return n;
    }
    // The gesture of one parameter: begin first, end last, values between, nothing else.
    static void expectGesture(const std::vector<ClapEvent>& events, clap_id param) {
        ASSERT_GE(events.size(), 3u);
        EXPECT_EQ(CLAP_EVENT_PARAM_GESTURE_BEGIN, events.front().type);
        EXPECT_EQ(CLAP_EVENT_PARAM_GESTURE_END, events.back().type);
        int values = 0;
        for (std::size_t i = 0; i < events.size(); ++i) {
            EXPECT_EQ(param, events[i].param) << i;
            if (i > 0 && i + 1 < events.size()) {
                EXPECT_EQ(CLAP_EVENT_PARAM_VALUE, events[i].type) << i;
                ++values;
            }
        }
        EXPECT_GE(values, 2);
    }

    Display* display = nullptr;
    Window parent = 0;
    OmbrelHost::ClapPlugin clap;
    std::thread audio;
    std::atomic<bool> processing{false};
    // Set once the host has told the plug-in which thread is its audio thread.
    std::atomic<bool> named{false};
};

TEST_F(ClapEditorTest, EmbeddedEditorReportsDragsCommandsAndFollowsTheHost) {
    std::uint32_t w = 0, h = 0;
    ASSERT_TRUE(clap.openGui(parent, w, h));
    EXPECT_EQ(unsigned(kW), w);
    EXPECT_EQ(unsigned(kH), h);
    EXPECT_EQ(1, clap.timerCount()) << "the event loop runs on the host's timer";
    // (Its page 1 pixels: ombrel-host snapshot's tests, against the VST build's.)
    loop(200);

    // Inactive: the drag asks for a flush, which carries the whole gesture.
    double before = clap.value(0);
    int requests = clap.flushRequests();
    drag(kKnobX, kKnobY, -30);
    EXPECT_GT(clap.flushRequests(), requests);
    clap.flush();
    std::vector<ClapEvent> events = clap.takeEvents();
    expectGesture(events, 0);
    EXPECT_GT(clap.value(0), before + 0.05) << "dragging up turns the knob up";
    EXPECT_EQ(clap.value(0), events[events.size() - 2].value) << "the last value is the knob's";

    // Processing: the blocks carry the next gesture as it happens, no flush needed.
    ASSERT_TRUE(clap.activate(44100, 1, 256));
    requests = clap.flushRequests();
    startAudio();
    loop(50);
    drag(kKnobX, kKnobY, 20);
    events = clap.takeEvents();
    expectGesture(events, 0);
    EXPECT_EQ(requests, clap.flushRequests());

    // Random and AutoLevel: one gesture for each parameter they change.
    click(kRandomX, kRandomY);
    events = clap.takeEvents();
    int values = 0, gestures = 0;
    for (std::size_t first = 0; first < events.size();) {
        std::size_t last = first;
        while (last < events.size() && events[last].type != CLAP_EVENT_PARAM_GESTURE_END)
            ++last;
        ASSERT_LT(last, events.size()) << "a gesture left open";
        std::vector<ClapEvent> one(events.begin() + first, events.begin() + last + 1);
        expectGesture(one, one.front().param);
        values += one[one.size() - 2].value == clap.value(static_cast<int>(one.front().param));
        ++gestures;
        first = last + 1;
    }
    EXPECT_EQ(24, gestures) << "23 drawn values and the main level";
    EXPECT_GE(values, 5) << "Random draws a new sound";
    int mainLevel = clap.findParam("MainLvl");
    clap.setValue(mainLevel, 1.0);
    loop(50);
    clap.takeEvents();
    click(kAutoLevelX, kAutoLevelY);
    events = clap.takeEvents();
    expectGesture(events, static_cast<clap_id>(mainLevel));
    ASSERT_GE(events.size(), 3u);
    EXPECT_LT(events[events.size() - 2].value, 1.0) << "AutoLevel sets the main level below full";

    // The host's automation repaints the editor through the timer.
    std::vector<std::uint32_t> still = grab();
    clap.setValue(0, 0.8); // below MaxFreq, which then stays
    loop(200);
    EXPECT_GT(differing(still, grab()), 20) << "the knob and its value follow the host";
    EXPECT_TRUE(clap.takeEvents().empty()) << "the host's own change is not echoed";
    stopAudio();

    clap.closeGui();
    EXPECT_EQ(0, clap.timerCount());
    ASSERT_TRUE(clap.openGui(parent, w, h)) << "opens again";
    loop(100);
    clap.closeGui();

    // At the host's scale: the size in screen pixels, and a new scale while shown reopens the
    // editor and asks the host for room.
    clap.setGuiScale(2);
    ASSERT_TRUE(clap.openGui(parent, w, h));
    EXPECT_EQ(2u * kW, w);
    EXPECT_EQ(2u * kH, h);
    std::uint32_t askedW = 0, askedH = 0;
    clap.onResizeRequest = [&](std::uint32_t rw, std::uint32_t rh) {
        askedW = rw, askedH = rh;
        return true;
    };
    EXPECT_TRUE(clap.setGuiScale(1.5));
    EXPECT_EQ(960u, askedW);
    EXPECT_EQ(593u, askedH);
    loop(100);
    clap.closeGui();
    clap.onResizeRequest = nullptr;
}

} // namespace
} // namespace OmbrelTest

// The LV2 UI in a real X server, hosted as a DAW hosts it: embedded in the host's window as its own
// child, idled by the host; a drag that the host's port keeps; Random's new sound written to the
// host's ports without gestures, so a state saved afterwards keeps it. (Its page 1 pixels and a
// knob drag's gesture are checked through ombrel-host snapshot, against the VST build.)
#include "tests/lv2/Lv2Support.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <set>
#include <thread>

namespace Lv2Test {
namespace {

constexpr int kW = 640, kH = 395;
constexpr int kKnobX = 260, kKnobY = 55; // MinFreq
constexpr int kRandomX = 560, kRandomY = 345;

class Lv2UiTest : public ::testing::Test {
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
        std::string error;
        ASSERT_TRUE(plugin.load(OMBREL_LV2_BUNDLE, kRate, kBlock, error)) << error;
        plugin.activate();
        run();
    }
    void TearDown() override {
        plugin.unload();
        if (display) XCloseDisplay(display);
    }
    // One block, so the plug-in has seen the host's ports.
    void run() {
        std::vector<float> buffer(4 * kBlock, 0.0f);
        float* in[2] = {buffer.data(), buffer.data() + kBlock};
        float* out[2] = {buffer.data() + 2 * kBlock, buffer.data() + 3 * kBlock};
        plugin.process(in, out, kBlock);
    }
    void idle(int ms) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        do {
            plugin.idleUi();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (std::chrono::steady_clock::now() < until);
    }
    void pointer(int x, int y) {
        XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
        XSync(display, False);
        idle(30);
    }
    void button(bool down) {
        XTestFakeButtonEvent(display, 1, down, CurrentTime);
        XSync(display, False);
        idle(30);
    }
    void drag(int x, int y, int dy) {
        pointer(x, y);
        button(true);
        for (int i = 1; i <= 5; ++i)
            pointer(x, y + dy * i / 5);
        button(false);
        idle(60);
    }

    Display* display = nullptr;
    Window parent = 0;
    OmbrelHost::Lv2Plugin plugin;
};

TEST_F(Lv2UiTest, EmbedsItsWindowAndReportsRandomToTheHost) {
    std::string error;
    ASSERT_TRUE(plugin.openUi(parent, error)) << error;
    idle(200);
    // The UI's widget is its own child of the host's window, at the editor's size.
    Window root, up, *children = nullptr;
    unsigned n = 0;
    XQueryTree(display, parent, &root, &up, &children, &n);
    ASSERT_EQ(1u, n);
    EXPECT_EQ(plugin.uiWindow(), children[0]);
    XFree(children);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, plugin.uiWindow(), &attributes);
    EXPECT_EQ(kW, attributes.width);
    EXPECT_EQ(kH, attributes.height);

    // (Its pixels and a knob drag's gesture: ombrel-host snapshot's tests, against the VST
    // build.) A drag lands in the host's port, which then holds it without echoes.
    drag(kKnobX, kKnobY, -30);
    EXPECT_GT(plugin.parameter(0), 70.0f);
    plugin.takeNotices();
    run();
    idle(100);
    EXPECT_TRUE(plugin.takeNotices().empty()) << "nothing echoed once the host holds the value";

    // Random: a new sound, each port written inside a touch gesture of its own.
    pointer(kRandomX, kRandomY);
    button(true);
    button(false);
    idle(150);
    std::set<std::uint32_t> written;
    int open = -1, gestures = 0;
    for (const auto& notice : plugin.takeNotices()) {
        if (notice.kind == OmbrelHost::Lv2Notice::TouchBegin) {
            EXPECT_EQ(-1, open) << "gestures do not nest";
            open = static_cast<int>(notice.port);
        } else if (notice.kind == OmbrelHost::Lv2Notice::TouchEnd) {
            EXPECT_EQ(open, static_cast<int>(notice.port));
            open = -1;
            ++gestures;
        } else {
            EXPECT_EQ(open, static_cast<int>(notice.port)) << "written inside its gesture";
            written.insert(notice.port);
        }
    }
    EXPECT_EQ(-1, open);
    EXPECT_EQ(24, gestures) << "23 drawn values and the main level";
    EXPECT_GE(written.size(), 5u) << "Random draws a new sound";
    run();
    idle(100);
    EXPECT_TRUE(plugin.takeNotices().empty());

    // The session saved now reopens with the drawn sound in its ports and its bank.
    const std::string state = plugin.saveState();
    OmbrelHost::Lv2Plugin reopened;
    ASSERT_TRUE(reopened.load(OMBREL_LV2_BUNDLE, kRate, kBlock, error)) << error;
    ASSERT_TRUE(reopened.loadState(state));
    for (int i = 0; i < plugin.parameterCount(); ++i)
        EXPECT_EQ(plugin.parameter(i), reopened.parameter(i)) << plugin.parameterName(i);
    EXPECT_EQ(bankOfState(state), bankOfState(reopened.saveState()));
    plugin.closeUi();
    EXPECT_FALSE(plugin.uiOpen());
}

} // namespace
} // namespace Lv2Test

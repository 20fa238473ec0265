// Ombrel.clap's Win32 editor under Wine, embedded by our cross-built CLAP host in a top-level
// window of this program: page 1 read back from the editor's own back buffer against the
// reference picture, and a knob drag that reaches the host as gesture begin, values and gesture
// end through a flush.
#include "tests/clap/ClapTestKit.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <GL/gl.h>

// The PNG decoder compiled into NanoVG, which that build renames with a prefix.
#define stbi_load dpf_stbi_load
#define stbi_image_free dpf_stbi_image_free
#include "stb_image.h"

#include <string>
#include <vector>

namespace OmbrelTest {
namespace {

using OmbrelHost::ClapEvent;
using Pixels = std::vector<std::uint32_t>; // RGB, red in the low byte, top row first

constexpr int kW = 640, kH = 395;
constexpr int kTolerance = 6;
constexpr int kKnobX = 260, kKnobY = 55; // MinFreq

LRESULT CALLBACK hostProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(w, m, wp, lp);
}

Pixels readReference() {
    std::string path = std::string("Z:") + OMBREL_REFERENCE_DIR + "/page1.png";
    int w = 0, h = 0, n = 0;
    unsigned char* data = stbi_load(path.c_str(), &w, &h, &n, 4);
    Pixels p;
    if (data && w == kW && h == kH)
        for (int i = 0; i < w * h; ++i)
            p.push_back(data[4 * i] | data[4 * i + 1] << 8 | data[4 * i + 2] << 16);
    stbi_image_free(data);
    return p;
}

int differing(const Pixels& a, const Pixels& b) {
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

class ClapEditorWin32Test : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA wc{};
        wc.lpfnWndProc = hostProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "OmbrelClapHost";
        RegisterClassA(&wc);
        parent = CreateWindowExA(0, wc.lpszClassName, "host", WS_POPUP | WS_VISIBLE, 0, 0, kW, kH,
                                 nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(nullptr, parent);
        loadClap(clap);
    }
    void TearDown() override {
        clap.unload();
        if (parent) DestroyWindow(parent);
    }
    // The host's message loop and its timers.
    void pump(int ms) {
        DWORD until = GetTickCount() + static_cast<DWORD>(ms);
        do {
            MSG m;
            while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
            clap.runTimers();
            Sleep(5);
        } while (static_cast<LONG>(GetTickCount() - until) < 0);
    }
    void mouse(UINT message, int x, int y, WPARAM keys = 0) {
        SendMessageA(child, message, keys, MAKELPARAM(x, y));
        pump(20);
    }
    // The editor's last frame, from a context of our own on the editor window's device context:
    // under Wine the child's image never reaches the X screen.
    Pixels readBack() {
        UpdateWindow(child);
        Pixels p;
        HDC dc = GetDC(child);
        HGLRC rc = dc ? wglCreateContext(dc) : nullptr;
        if (rc && wglMakeCurrent(dc, rc)) {
            std::vector<unsigned char> rgba(static_cast<std::size_t>(kW) * kH * 4);
            glReadBuffer(GL_BACK);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glReadPixels(0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
            for (int y = kH - 1; y >= 0; --y)
                for (int x = 0; x < kW; ++x) {
                    const unsigned char* c = &rgba[(static_cast<std::size_t>(y) * kW + x) * 4];
                    p.push_back(c[0] | c[1] << 8 | c[2] << 16);
                }
            wglMakeCurrent(nullptr, nullptr);
        }
        if (rc) wglDeleteContext(rc);
        if (dc) ReleaseDC(child, dc);
        return p;
    }

    HWND parent = nullptr;
    HWND child = nullptr;
    OmbrelHost::ClapPlugin clap;
};

TEST_F(ClapEditorWin32Test, EmbeddedEditorShowsPage1AndReportsADragAsAGesture) {
    std::uint32_t w = 0, h = 0;
    ASSERT_TRUE(clap.openGui(reinterpret_cast<std::uintptr_t>(parent), w, h));
    EXPECT_EQ(unsigned(kW), w);
    EXPECT_EQ(unsigned(kH), h);
    child = GetWindow(parent, GW_CHILD);
    ASSERT_NE(nullptr, child);
    pump(100);
    EXPECT_LE(differing(readBack(), readReference()), kW * kH / 1000) << "the VST editor's page 1";

    double before = clap.value(0);
    mouse(WM_MOUSEMOVE, kKnobX, kKnobY);
    mouse(WM_LBUTTONDOWN, kKnobX, kKnobY, MK_LBUTTON);
    for (int i = 1; i <= 5; ++i)
        mouse(WM_MOUSEMOVE, kKnobX, kKnobY - 6 * i, MK_LBUTTON);
    mouse(WM_LBUTTONUP, kKnobX, kKnobY - 30);
    EXPECT_GT(clap.flushRequests(), 0);
    clap.flush();
    std::vector<ClapEvent> events = clap.takeEvents();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(CLAP_EVENT_PARAM_GESTURE_BEGIN, events.front().type);
    EXPECT_EQ(CLAP_EVENT_PARAM_GESTURE_END, events.back().type);
    for (const ClapEvent& e : events)
        EXPECT_EQ(0u, e.param);
    EXPECT_EQ(CLAP_EVENT_PARAM_VALUE, events[1].type);
    EXPECT_GT(clap.value(0), before + 0.05);
    EXPECT_EQ(clap.value(0), events[events.size() - 2].value);
    clap.closeGui();
    EXPECT_EQ(nullptr, GetWindow(parent, GW_CHILD)) << "the editor's window is gone";
}

} // namespace
} // namespace OmbrelTest

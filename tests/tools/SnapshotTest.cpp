// ombrel-host snapshot through the real binary, each run in the private Xvfb it starts itself: the
// picture's size as the editor gives it, refused arguments that leave every file as it was, a
// write that fails at the end, no X server left behind however the command ends, and Ombrel's
// editor in each format's build drawing the same page and reporting the same gesture, at 1x and
// at the scale each format asks for in its own way.
#include "tests/tools/ToolTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <png.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <thread>

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    unsigned pixel(int x, int y) const {
        const unsigned char* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
        return static_cast<unsigned>(p[0] << 16 | p[1] << 8 | p[2]);
    }
};

Picture readPng(const fs::path& file) {
    Picture picture;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file.c_str())) return picture;
    image.format = PNG_FORMAT_RGB;
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr)) return {};
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    return picture;
}

// The processes whose parent is the given one.
std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> children;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
        // pid (comm) state ppid ...
        std::istringstream rest(line.substr(line.rfind(')') + 2));
        char state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent) children.push_back(std::atoi(entry->d_name));
    }
    if (proc) closedir(proc);
    return children;
}

class SnapshotTest : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) GTEST_SKIP() << "no Xvfb";
        // Every run starts its own server.
        unsetEnv("DISPLAY");
        // Under the sanitizers: Mesa's driver is unloaded with the last GL context, before the
        // leak check, so what it keeps cannot be told from ours (editor_window_tests checks the
        // editor's leaks with the driver loaded).
        setEnv("ASAN_OPTIONS", "detect_leaks=0");
        // Nor the full unwinding the peer plug-ins' leak reports need, which slows GL to a crawl.
        unsetEnv("LSAN_OPTIONS");
        // Whatever the tool leaves running becomes ours, so it can be seen and ended.
        prctl(PR_SET_CHILD_SUBREAPER, 1);
    }
    void TearDown() override {
        prctl(PR_SET_CHILD_SUBREAPER, 0);
        ToolTest::TearDown();
    }

    // The processes the last command left behind, waiting up to two seconds for them to end;
    // any still running are killed.
    int survivors() {
        std::vector<pid_t> left;
        for (int i = 0; i < 200; ++i) {
            while (waitpid(-1, nullptr, WNOHANG) > 0) {
            }
            left = childrenOf(getpid());
            if (left.empty()) return 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        for (pid_t p : left) {
            kill(p, SIGKILL);
            waitpid(p, nullptr, 0);
        }
        return static_cast<int>(left.size());
    }
};

TEST_F(SnapshotTest, PictureHasTheSizeTheEditorGivesOnceOpen) {
    const struct {
        const char* mode;
        int width, height;
    } cases[] = {{"", 300, 200}, {"late", 2000, 1500}, {"ask", 929, 788}};
    for (const auto& c : cases) {
        setEnv("FAKE_EDITOR", c.mode);
        Result r = run({"snapshot", FAKE_EDITOR, path("shot.png"), "--settle", "0"});
        ASSERT_EQ(r.code, 0) << c.mode << ": " << r.err;
        const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
        EXPECT_TRUE(has(r.out, "Editor " + size + " written to")) << r.out;
        Picture p = readPng(path("shot.png"));
        ASSERT_EQ(p.width, c.width) << c.mode;
        ASSERT_EQ(p.height, c.height) << c.mode;
        // The editor's own pixels up to its far corner.
        EXPECT_EQ(p.pixel(5, 5), 0xff0000u) << c.mode;
        EXPECT_EQ(p.pixel(c.width - 5, c.height - 5), 0xffffffu) << c.mode;
        EXPECT_EQ(p.pixel(c.width - 15, c.height - 5), 0xff0000u) << c.mode;
        EXPECT_EQ(survivors(), 0) << c.mode;
    }
}

TEST_F(SnapshotTest, RefusalsLeaveEveryFileAsItWas) {
    fs::copy_file(FAKE_PROBE, path("Room.so"));
    ASSERT_EQ(run({"preset", "save", FAKE_EDITOR, path("p.fxp")}).code, 0);
    std::ofstream(path("shot.png")) << "an earlier picture";
    // An X server that says it serves a display it never opens.
    fs::create_directory(path("stub"));
    std::ofstream(path("stub/Xvfb")) << "#!/bin/sh\n"
                                        "while [ $# -gt 0 ]; do [ \"$1\" = -displayfd ] && fd=$2; "
                                        "shift; done\n"
                                        "echo 987 >&\"$fd\"\n"
                                        "exec sleep 60\n";
    fs::permissions(path("stub/Xvfb"), fs::perms::owner_all);
    const std::vector<std::string> inputs = {"Room.so", "p.fxp", "shot.png", "stub"};
    const std::string out = path("out.png");
    const struct {
        std::vector<std::string> args;
        std::vector<std::pair<std::string, std::string>> env;
        int code;
        std::string message;
    } failures[] = {
        // The output forgotten: the plug-in is the last argument.
        {{"snapshot", path("Room.so")}, {}, kExitUsage, "must end in .png, not '"},
        {{"snapshot", FAKE_EDITOR, path("p.fxp"), "--load", path("p.fxp")}, {}, kExitUsage, ".png"},
        {{"snapshot", FAKE_EDITOR, path("shot.png"), "--load", path("shot.png")},
         {},
         kExitUsage,
         "refusing to overwrite the preset"},
        {{"snapshot", path("shot.png"), path("shot.png")},
         {},
         kExitUsage,
         "refusing to overwrite the plug-in"},
        // The output is made before anything runs: the plug-in never gets to crash.
        {{"snapshot", FAKE_EDITOR, path("missing/x.png")},
         {{"FAKE_EDITOR", "crash"}},
         kExitOutput,
         "missing/x.png"},
        {{"snapshot", FAKE_EDITOR, out, "--click", "10,10", "--click", "300,10"},
         {},
         kExitUsage,
         "--click 300,10: (300,10) is outside the editor (300x200)"},
        {{"snapshot", FAKE_EDITOR, out, "--drag", "10,10,0,-20"},
         {},
         kExitUsage,
         "--drag 10,10,0,-20: the drag ends at (10,-10), outside the editor (300x200)"},
        {{"snapshot", FAKE_EDITOR, out},
         {{"PATH", path("stub").string() + ":" + std::getenv("PATH")}},
         1,
         "cannot open the private X display :987 that Xvfb reported"},
    };
    const std::string room = slurp(path("Room.so")), preset = slurp(path("p.fxp"));
    for (const auto& f : failures) {
        for (const auto& [name, value] : f.env)
            setEnv(name, value);
        Result r = run(f.args);
        std::string what;
        for (const std::string& a : f.args)
            what += a + " ";
        EXPECT_EQ(r.code, f.code) << what << "\n" << r.err;
        EXPECT_TRUE(has(r.err, f.message)) << what << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << what << ": " << r.out;
        EXPECT_EQ(leftovers(inputs), std::vector<std::string>()) << what;
        EXPECT_EQ(survivors(), 0) << what;
        for (const auto& e : f.env)
            env_.erase(e.first);
    }
    EXPECT_TRUE(slurp(path("Room.so")) == room);
    EXPECT_TRUE(slurp(path("p.fxp")) == preset);
    EXPECT_EQ(slurp(path("shot.png")), "an earlier picture");
}

TEST_F(SnapshotTest, AWriteThatFailsKeepsTheEarlierPicture) {
    ASSERT_EQ(run({"snapshot", path("shot.png"), "--settle", "0"}).code, 0);
    const std::string before = slurp(path("shot.png"));
    ASSERT_GT(before.size(), 30000u);
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit limit = saved;
    limit.rlim_cur = 20 << 10; // ulimit -f 20
    for (bool ignored : {true, false}) {
        std::signal(SIGXFSZ, ignored ? SIG_IGN : SIG_DFL);
        setrlimit(RLIMIT_FSIZE, &limit);
        pid_t pid = start({"snapshot", path("shot.png"), "--settle", "0"});
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, SIG_DFL);
        Result r = wait(pid);
        if (ignored) {
            EXPECT_EQ(r.code, kExitOutput) << r.err;
            EXPECT_TRUE(has(r.err, "File too large")) << r.err;
        } else {
            EXPECT_EQ(r.code, 128 + SIGXFSZ) << r.err;
        }
        EXPECT_TRUE(slurp(path("shot.png")) == before) << ignored;
        EXPECT_EQ(leftovers({"shot.png"}), std::vector<std::string>()) << ignored;
        EXPECT_EQ(survivors(), 0) << ignored;
    }
}

TEST_F(SnapshotTest, NothingOutlivesTheCommandHoweverItEnds) {
    struct rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    // A signal while the script waits, as from a terminal, a session's end, kill or timeout.
    for (int sig : {SIGTERM, SIGHUP, SIGINT, SIGKILL}) {
        setEnv("FAKE_EDITOR_MARK", path("open").string());
        pid_t pid = start({"snapshot", FAKE_EDITOR, path("shot.png"), "--wait", "60000"});
        for (int i = 0; i < 3000 && !fs::exists(path("open")); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(fs::exists(path("open"))) << "the editor never opened";
        kill(pid, sig);
        Result r = wait(pid);
        EXPECT_EQ(r.code, 128 + sig) << strsignal(sig) << ": " << r.err;
        EXPECT_EQ(survivors(), 0) << strsignal(sig);
        EXPECT_FALSE(fs::exists(path("shot.png"))) << strsignal(sig);
        fs::remove(path("open"));
        // Only a kill that cannot be caught leaves the temporary picture.
        if (sig != SIGKILL) {
            EXPECT_EQ(leftovers({}), std::vector<std::string>()) << strsignal(sig);
        }
        for (const std::string& name : leftovers({}))
            fs::remove(path(name));
    }
    unsetEnv("FAKE_EDITOR_MARK");
    // The plug-in ends the process itself while its editor opens.
    const struct {
        const char* mode;
        int code;
    } endings[] = {{"exit", 3}, {"crash", 128 + SIGSEGV}};
    for (const auto& e : endings) {
        setEnv("FAKE_EDITOR", e.mode);
        Result r = run({"snapshot", FAKE_EDITOR, path("shot.png")});
        EXPECT_EQ(r.code, e.code) << e.mode << ": " << r.err;
        EXPECT_EQ(survivors(), 0) << e.mode;
        EXPECT_EQ(leftovers({}), std::vector<std::string>()) << e.mode;
        EXPECT_FALSE(fs::exists(path("shot.png"))) << e.mode;
    }
}

} // namespace

namespace {

// Pixels whose channels differ by more than a rounding step, as the editor's window tests count.
int differing(const Picture& a, const Picture& b) {
    if (a.width != b.width || a.height != b.height) return a.width * a.height + 1;
    int n = 0;
    for (std::size_t i = 0; i < a.rgb.size(); i += 3)
        for (std::size_t c = 0; c < 3; ++c)
            if (std::abs(int(a.rgb[i + c]) - int(b.rgb[i + c])) > 6) {
                ++n;
                break;
            }
    return n;
}

std::vector<std::string> linesStarting(const std::string& text, const std::string& start) {
    std::vector<std::string> found;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(start, 0) == 0) found.push_back(line);
    return found;
}

TEST_F(SnapshotTest, EveryFormatsEditorShowsTheVstPageOneAndReportsAKnobDragAsAGesture) {
    std::vector<std::pair<const char*, std::string>> builds = {{"VST 2.4", OMBREL_PLUGIN_FILE}};
    if (fs::exists(OMBREL_CLAP_FILE)) builds.emplace_back("CLAP", OMBREL_CLAP_FILE);
    if (!std::string(OMBREL_LV2_BUNDLE).empty() && fs::exists(OMBREL_LV2_BUNDLE))
        builds.emplace_back("LV2", OMBREL_LV2_BUNDLE);
    if (builds.size() < 3) GTEST_SKIP() << "the LV2 or the CLAP build is not built";
    // The VST editor as it opens is the reference page 1.
    Result plain = run({"snapshot", OMBREL_PLUGIN_FILE, path("plain.png"), "--settle", "200"});
    ASSERT_EQ(plain.code, 0) << plain.err;
    EXPECT_EQ(survivors(), 0);
    const Picture page1 = readPng(OMBREL_PAGE1_PNG);
    ASSERT_EQ(page1.width, 640);
    EXPECT_LE(differing(readPng(path("plain.png")), page1), 640 * 395 / 1000);

    // MinFreq dragged up in each format's editor: the same picture, the same change, and one
    // gesture around the values, which the host hears in the format's own units.
    Picture vstPicture;
    std::vector<std::string> vstChanges, vstNotices;
    for (const auto& [format, plugin] : builds) {
        Result r = run(
            {"snapshot", plugin, path("drag.png"), "--settle", "200", "--drag", "260,55,0,-30"});
        ASSERT_EQ(r.code, 0) << format << ": " << r.err;
        EXPECT_EQ(survivors(), 0) << format;
        EXPECT_TRUE(has(r.out, "Editor 640x395 written to")) << r.out;
        const Picture picture = readPng(path("drag.png"));
        const std::vector<std::string> changes = linesStarting(r.out, "Changed: ");
        const std::vector<std::string> notices = linesStarting(r.out, "Host notice: ");
        ASSERT_EQ(changes.size(), 1u) << format << ": " << r.out;
        EXPECT_EQ(changes[0].rfind("Changed: MinFreq: 70 -> ", 0), 0u) << changes[0];
        ASSERT_EQ(notices.size(), 3u) << format << ": " << r.out;
        EXPECT_EQ(notices[0], "Host notice: begin edit MinFreq") << format;
        EXPECT_EQ(notices[1].rfind("Host notice: automate MinFreq = ", 0), 0u) << notices[1];
        EXPECT_TRUE(has(notices[1], " (x")) << format << ": values as the knob turns";
        EXPECT_EQ(notices[2], "Host notice: end edit MinFreq") << format;
        if (vstChanges.empty()) {
            vstPicture = picture;
            vstChanges = changes;
            vstNotices = notices;
            continue;
        }
        EXPECT_LE(differing(picture, vstPicture), 640 * 395 / 1000) << format;
        EXPECT_EQ(changes, vstChanges) << format;
        if (std::string(format) == "CLAP") {
            EXPECT_EQ(notices, vstNotices) << "its plain values are the VST build's";
        } else {
            // LV2 records the port value: the frequency the display shows.
            const std::string hz = changes[0].substr(changes[0].rfind(' ') + 1);
            EXPECT_TRUE(has(notices[1], "MinFreq = " + hz + ".0000 (x")) << notices[1];
        }
    }
}

// --scale 2 reaches each format's editor its own way (VST 2.4: Xft.dpi on the private server; CLAP:
// set_scale; LV2: ui:scaleFactor): twice the size, the 2x page 1, and a drag twice as long on
// the screen turns the knob as the 1x drag does.
TEST_F(SnapshotTest, AtTwiceTheScaleEveryFormatsEditorDoublesAndADragTurnsAKnobAsAtOnce) {
    std::vector<std::pair<const char*, std::string>> builds = {{"VST 2.4", OMBREL_PLUGIN_FILE}};
    if (fs::exists(OMBREL_CLAP_FILE)) builds.emplace_back("CLAP", OMBREL_CLAP_FILE);
    if (!std::string(OMBREL_LV2_BUNDLE).empty() && fs::exists(OMBREL_LV2_BUNDLE))
        builds.emplace_back("LV2", OMBREL_LV2_BUNDLE);
    Result once = run({"snapshot", OMBREL_PLUGIN_FILE, path("once.png"), "--settle", "200",
                       "--drag", "260,55,0,-30"});
    ASSERT_EQ(once.code, 0) << once.err;
    const std::vector<std::string> expected = linesStarting(once.out, "Changed: ");
    ASSERT_EQ(expected.size(), 1u) << once.out;
    const Picture reference = readPng(OMBREL_PAGE1_2X_PNG);
    ASSERT_EQ(reference.width, 1280);
    for (const auto& [format, plugin] : builds) {
        Result r = run({"snapshot", plugin, path("twice.png"), "--settle", "200", "--scale", "2",
                        "--drag", "520,110,0,-60"});
        ASSERT_EQ(r.code, 0) << format << ": " << r.err;
        EXPECT_EQ(survivors(), 0) << format;
        EXPECT_TRUE(has(r.out, "Editor 1280x790 written to")) << format << ": " << r.out;
        EXPECT_EQ(linesStarting(r.out, "Changed: "), expected) << format;
        // The reference everywhere but the turned knob and its value display.
        Picture picture = readPng(path("twice.png"));
        ASSERT_EQ(picture.width, 1280) << format;
        for (int y = 60; y < 200; ++y)
            for (int x = 440; x < 600; ++x)
                for (int c = 0; c < 3; ++c)
                    picture.rgb[(static_cast<std::size_t>(y) * 1280 + x) * 3 + c] =
                        reference.rgb[(static_cast<std::size_t>(y) * 1280 + x) * 3 + c];
        EXPECT_LE(differing(picture, reference), 1280 * 790 / 1000) << format;
    }
}

} // namespace

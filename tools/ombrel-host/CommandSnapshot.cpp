// snapshot: opens a plug-in's X11 editor in a real window, runs a mouse and keyboard script
// through XTest, writes the editor's pixels as PNG and reports what the script changed.
#include "tools/ombrel-host/Command.h"
#include "tools/ombrel-host/PluginSetup.h"
#include "tools/ombrel-host/ToolError.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <png.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace OmbrelHost {

namespace {

// A private X server for machines without a display, stopped when the command ends.
class PrivateXServer {
public:
    ~PrivateXServer() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    // False when no Xvfb can be started.
    bool start() {
        int fds[2];
        if (pipe(fds) != 0) return false;
        std::string fd = std::to_string(fds[1]);
        const char* argv[] = {"Xvfb",        "-displayfd", fd.c_str(), "-screen", "0",
                              "1280x800x24", "-nolisten",  "tcp",      nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        int failed =
            posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (failed) {
            pid_ = 0;
            close(fds[0]);
            return false;
        }
        // Xvfb writes its display number once it accepts connections.
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c;
        while (poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (number.empty()) return false;
        setenv("DISPLAY", (":" + number).c_str(), 1);
        return true;
    }

private:
    pid_t pid_ = 0;
};

struct Notice {
    VstInt32 opcode, index;
    float value;
};

struct Step {
    enum Kind { Click, Drag, Type, Wait } kind;
    int x = 0, y = 0, dx = 0, dy = 0, ms = 0;
    bool shift = false, control = false;
    std::string text;
};

void parseModifier(const std::string& word, Step& step, const std::string& option) {
    if (word == "shift")
        step.shift = true;
    else if (word == "ctrl")
        step.control = true;
    else
        throw ToolError(kExitUsage,
                        option + ": modifier must be shift or ctrl, not '" + word + "'");
}

Step parsePointerStep(Step::Kind kind, const std::string& value, const std::string& option) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = value.find(',', start);
        parts.push_back(value.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    const std::size_t numbers = kind == Step::Click ? 2 : 4;
    if (parts.size() < numbers || parts.size() > numbers + 1)
        throw ToolError(kExitUsage, option + " takes " +
                                        (kind == Step::Click ? "X,Y" : "X,Y,DX,DY") +
                                        "[,shift|ctrl], not '" + value + "'");
    Step step;
    step.kind = kind;
    step.x = parseInt(parts[0], option, 0, 4095);
    step.y = parseInt(parts[1], option, 0, 4095);
    if (kind == Step::Drag) {
        step.dx = parseInt(parts[2], option, -4095, 4095);
        step.dy = parseInt(parts[3], option, -4095, 4095);
    }
    if (parts.size() > numbers) parseModifier(parts[numbers], step, option);
    return step;
}

class Session {
public:
    Session(PluginHost& host, Display* display, Window parent)
        : host_(host), display_(display), parent_(parent) {}

    // Host idle calls at about 60 per second for the time given.
    void idleFor(int ms) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        do {
            host_.dispatch(effEditIdle);
            while (XPending(display_)) {
                XEvent event;
                XNextEvent(display_, &event);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        } while (std::chrono::steady_clock::now() < until);
    }

    void run(const Step& step) {
        switch (step.kind) {
        case Step::Wait:
            idleFor(step.ms);
            break;
        case Step::Click:
            modifiers(step, true);
            move(step.x, step.y);
            button(true);
            button(false);
            modifiers(step, false);
            idleFor(150);
            break;
        case Step::Drag: {
            modifiers(step, true);
            move(step.x, step.y);
            button(true);
            const int steps = 10;
            for (int i = 1; i <= steps; ++i)
                move(step.x + step.dx * i / steps, step.y + step.dy * i / steps);
            button(false);
            modifiers(step, false);
            idleFor(150);
            break;
        }
        case Step::Type:
            type(step.text);
            idleFor(150);
            break;
        }
    }

private:
    void move(int x, int y) {
        int rx = 0, ry = 0;
        Window child;
        XTranslateCoordinates(display_, parent_, DefaultRootWindow(display_), x, y, &rx, &ry,
                              &child);
        XTestFakeMotionEvent(display_, -1, rx, ry, CurrentTime);
        XSync(display_, False);
        idleFor(20);
    }
    void button(bool down) {
        XTestFakeButtonEvent(display_, 1, down, CurrentTime);
        XSync(display_, False);
        idleFor(40);
    }
    void key(KeySym sym, bool down) {
        KeyCode code = XKeysymToKeycode(display_, sym);
        if (code) XTestFakeKeyEvent(display_, code, down, CurrentTime);
        XSync(display_, False);
    }
    void modifiers(const Step& step, bool down) {
        if (step.shift) key(XK_Shift_L, down);
        if (step.control) key(XK_Control_L, down);
        if (step.shift || step.control) idleFor(20);
    }
    void tap(KeySym sym) {
        KeyCode code = XKeysymToKeycode(display_, sym);
        // Symbols on a key's shifted level need Shift held.
        bool shifted = code && XkbKeycodeToKeysym(display_, code, 0, 0) != sym &&
                       XkbKeycodeToKeysym(display_, code, 0, 1) == sym;
        if (shifted) key(XK_Shift_L, true);
        key(sym, true);
        key(sym, false);
        if (shifted) key(XK_Shift_L, false);
        idleFor(20);
    }
    void type(const std::string& text) {
        static const struct {
            const char* name;
            KeySym sym;
        } named[] = {{"Return", XK_Return}, {"Escape", XK_Escape}, {"BackSpace", XK_BackSpace},
                     {"Delete", XK_Delete}, {"Left", XK_Left},     {"Right", XK_Right},
                     {"Home", XK_Home},     {"End", XK_End},       {"Tab", XK_Tab}};
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '{') {
                std::size_t end = text.find('}', i);
                std::string name = text.substr(i + 1, end == std::string::npos ? 0 : end - i - 1);
                bool found = false;
                for (const auto& n : named)
                    if (name == n.name) {
                        tap(n.sym);
                        found = true;
                    }
                if (found) {
                    i = end;
                    continue;
                }
            }
            tap(static_cast<unsigned char>(text[i]));
        }
    }

    PluginHost& host_;
    Display* display_;
    Window parent_;
};

void writePng(const std::string& path, XImage* image, int w, int h) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file) throw ToolError(kExitOutput, "cannot write " + path + ": " + std::strerror(errno));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<unsigned char> row(static_cast<std::size_t>(w) * 3);
    volatile bool ok = png && info;
    if (ok && setjmp(png_jmpbuf(png))) ok = false;
    if (ok) {
        png_init_io(png, file.get());
        png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                unsigned long p = XGetPixel(image, x, y);
                row[x * 3 + 0] = static_cast<unsigned char>((p & image->red_mask) >> 16);
                row[x * 3 + 1] = static_cast<unsigned char>((p & image->green_mask) >> 8);
                row[x * 3 + 2] = static_cast<unsigned char>(p & image->blue_mask);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    if (!ok || std::fflush(file.get()) != 0) throw ToolError(kExitOutput, "cannot write " + path);
}

const char* noticeName(VstInt32 opcode) {
    switch (opcode) {
    case audioMasterAutomate:
        return "automate";
    case audioMasterBeginEdit:
        return "begin edit";
    case audioMasterEndEdit:
        return "end edit";
    default:
        return nullptr;
    }
}

int run(const std::vector<std::string>& argv) {
    std::vector<OptionDecl> declared = {{"plugin", true}, {"click", true}, {"drag", true},
                                        {"type", true},   {"wait", true},  {"settle", true}};
    declared.insert(declared.end(), kStateOptionDecls.begin(), kStateOptionDecls.end());
    Args args(argv, declared);
    const auto& pos = args.positional();
    if (pos.empty() || pos.size() > 2)
        throw ToolError(kExitUsage, "snapshot needs [PLUGIN] OUT.png (see snapshot --help)");
    const std::string out = pos.back();
    std::vector<Step> script;
    for (const auto& [name, value] : args.options()) {
        if (name == "click") script.push_back(parsePointerStep(Step::Click, value, "--click"));
        if (name == "drag") script.push_back(parsePointerStep(Step::Drag, value, "--drag"));
        if (name == "type") {
            Step s;
            s.kind = Step::Type;
            s.text = value;
            script.push_back(s);
        }
        if (name == "wait") {
            Step s;
            s.kind = Step::Wait;
            s.ms = parseInt(value, "--wait", 0, 600000);
            script.push_back(s);
        }
    }
    const int settle =
        args.has("settle") ? parseInt(args.value("settle"), "--settle", 0, 600000) : 500;
    StateOptions state = stateOptions(args);

    PrivateXServer server;
    const char* display = std::getenv("DISPLAY");
    if ((!display || !*display) && !server.start())
        throw ToolError(kExitFailure, "no X display: set DISPLAY, or install Xvfb "
                                      "(sudo apt-get install xvfb) for a private one");
    Display* x = XOpenDisplay(nullptr);
    if (!x) throw ToolError(kExitFailure, "cannot open the X display " + std::string(display));
    std::unique_ptr<Display, int (*)(Display*)> closeDisplay(x, XCloseDisplay);
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(x, &event, &error, &major, &minor))
        throw ToolError(kExitFailure, "the X server has no XTEST extension for the script");

    PluginHost host;
    loadPlugin(host, pluginPath(pos.size() == 2 ? pos[0] : "", args), 44100, 512);
    if (!(host.effect()->flags & effFlagsHasEditor))
        throw ToolError(kExitPlugin, "the plug-in has no editor");
    applyState(host, state);
    host.resume();

    ERect* rect = nullptr;
    host.dispatch(effEditGetRect, 0, 0, &rect);
    int w = rect ? rect->right - rect->left : 0, h = rect ? rect->bottom - rect->top : 0;
    if (w <= 0 || h <= 0 || w > 4096 || h > 4096) w = 640, h = 480;

    // The host's parent: a top-level window at the screen's origin that no manager moves.
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(x, DefaultScreen(x));
    attributes.event_mask = StructureNotifyMask;
    Window parent =
        XCreateWindow(x, DefaultRootWindow(x), 0, 0, static_cast<unsigned>(w),
                      static_cast<unsigned>(h), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
    XMapRaised(x, parent);
    for (XEvent e;;) {
        XNextEvent(x, &e);
        if (e.type == MapNotify) break;
    }

    std::vector<Notice> notices;
    bool recording = false;
    host.onCallback = [&](VstInt32 opcode, VstInt32 index, float opt) {
        if (recording && noticeName(opcode)) notices.push_back({opcode, index, opt});
    };
    if (!host.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent))) {
        XDestroyWindow(x, parent);
        throw ToolError(kExitPlugin, "the plug-in's editor did not open");
    }
    Session session(host, x, parent);
    session.idleFor(settle);

    std::vector<std::string> before;
    for (int i = 0; i < host.numParams(); ++i)
        before.push_back(host.paramDisplay(i));
    recording = true;
    for (const Step& step : script)
        session.run(step);
    recording = false;
    session.idleFor(100);

    XImage* image = XGetImage(x, parent, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h),
                              AllPlanes, ZPixmap);
    host.dispatch(effEditClose);
    XDestroyWindow(x, parent);
    XSync(x, False);
    if (!image) throw ToolError(kExitFailure, "cannot read the editor's pixels");
    std::unique_ptr<XImage, int (*)(XImage*)> freeImage(image,
                                                        [](XImage* i) { return XDestroyImage(i); });
    writePng(out, image, w, h);

    std::printf("Editor %dx%d written to %s\n", w, h, out.c_str());
    for (int i = 0; i < host.numParams(); ++i) {
        std::string after = host.paramDisplay(i);
        if (after != before[i])
            std::printf("Changed: %s: %s -> %s\n", host.paramName(i).c_str(), before[i].c_str(),
                        after.c_str());
    }
    // Runs of automation of one parameter print as one line with their count and last value.
    for (std::size_t i = 0; i < notices.size();) {
        std::size_t j = i + 1;
        while (notices[i].opcode == audioMasterAutomate && j < notices.size() &&
               notices[j].opcode == audioMasterAutomate && notices[j].index == notices[i].index)
            ++j;
        const Notice& last = notices[j - 1];
        std::printf("Host notice: %s %s", noticeName(last.opcode),
                    host.paramName(last.index).c_str());
        if (last.opcode == audioMasterAutomate) std::printf(" = %.4f", last.value);
        if (j - i > 1) std::printf(" (x%zu)", j - i);
        std::printf("\n");
        i = j;
    }
    host.suspend();
    return kExitOk;
}

} // namespace

const Command kSnapshotCommand = {
    "snapshot", "picture of a plug-in's editor after a mouse and keyboard script",
    "Usage: ombrel-host snapshot [PLUGIN] OUT.png [OPTIONS]\n\n"
    "Opens the plug-in's X11 editor (Ombrel by default) in a window, lets it settle, runs the\n"
    "script through the X server's XTEST input, writes the editor's pixels to OUT.png and prints\n"
    "each parameter whose display changed (before -> after) and the host notices received.\n"
    "Without $DISPLAY a private Xvfb is started when one is installed.\n\n"
    "Script, run in the order given (positions in editor pixels):\n"
    "  --click X,Y[,shift|ctrl]        press and release the left button\n"
    "  --drag X,Y,DX,DY[,shift|ctrl]   press at X,Y, move by DX,DY, release\n"
    "  --type TEXT                     type TEXT; {Return} {Escape} {BackSpace} {Delete} {Left}\n"
    "                                  {Right} {Home} {End} name keys\n"
    "  --wait MS                       keep idling the editor for MS milliseconds\n"
    "  --settle MS                     idle time after opening, before the script (default 500)\n\n"
    "State, applied before the editor opens:\n"
    "  --load FILE  --program N  --set NAME=TEXT  --set-normalised NAME=V   (as render has them)\n",
    run};

} // namespace OmbrelHost

// snapshot: opens a plug-in's X11 editor in a real window, runs a mouse and keyboard script
// through XTest, writes the editor's pixels as PNG and reports what the script changed.
#include "tools/ombrel-host/Command.h"
#include "tools/ombrel-host/EditorScript.h"
#include "tools/ombrel-host/OutputFile.h"
#include "tools/ombrel-host/PluginSetup.h"
#include "tools/ombrel-host/PrivateXServer.h"
#include "tools/ombrel-host/ToolError.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <png.h>

#include <cctype>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace OmbrelHost {

namespace {

// Larger answers are garbage; the private server's screen holds an editor this large.
constexpr int kMaxEditor = 4096;

struct SnapshotJob {
    std::string plugin;
    std::string out;
    std::vector<Step> script;
    int settle = 500;
    double scale = 0; // 0: as the display's settings say
    StateOptions state;
};

bool isPngName(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.size() <= 4) return false;
    std::string ext = name.substr(name.size() - 4);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".png";
}

SnapshotJob parseJob(const std::vector<std::string>& argv) {
    std::vector<OptionDecl> declared = {{"plugin", true}, {"click", true}, {"drag", true},
                                        {"type", true},   {"wait", true},  {"settle", true},
                                        {"scale", true}};
    declared.insert(declared.end(), kStateOptionDecls.begin(), kStateOptionDecls.end());
    Args args(argv, declared);
    const auto& pos = args.positional();
    if (pos.empty() || pos.size() > 2)
        throw ToolError(kExitUsage, "snapshot needs [PLUGIN] OUT.png (see snapshot --help)");
    SnapshotJob job;
    job.plugin = pluginPath(pos.size() == 2 ? pos[0] : "", args);
    job.out = pos.back();
    job.script = parseScript(args);
    if (args.has("settle")) job.settle = parseInt(args.value("settle"), "--settle", 0, 600000);
    if (args.has("scale")) job.scale = parseDouble(args.value("scale"), "--scale", 1, 4);
    job.state = stateOptions(args);
    // The picture never replaces what the command reads, nor a file that is not a picture (a
    // forgotten output name leaves the plug-in's as the last argument).
    if (!isPngName(job.out))
        throw ToolError(kExitUsage, "the picture's name must end in .png, not '" + job.out +
                                        "' (snapshot [PLUGIN] OUT.png)");
    refuseSameFile(job.out, locatePlugin(job.plugin).path, "plug-in");
    if (!job.state.load.empty()) refuseSameFile(job.out, job.state.load, "preset");
    return job;
}

// The user's display, else a private server whose screen holds the largest editor taken.
Display* openDisplay(PrivateXServer& server) {
    const char* env = std::getenv("DISPLAY");
    std::string name = env ? env : "";
    const bool own = name.empty();
    if (own) {
        name = server.start(kMaxEditor, kMaxEditor);
        // The plug-in opens its own connection to the same server.
        setenv("DISPLAY", name.c_str(), 1);
    }
    Display* x = XOpenDisplay(name.c_str());
    if (!x)
        throw ToolError(kExitFailure, own ? "cannot open the private X display " + name +
                                                " that Xvfb reported: it accepts no connection"
                                          : "cannot open the X display " + name);
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(x, &event, &error, &major, &minor)) {
        XCloseDisplay(x);
        throw ToolError(kExitFailure, "the X server has no XTEST extension for the script");
    }
    return x;
}

// For a format that lets no host give the scale (VST 2.4), asks for it the ways a desktop does,
// before the editor opens: on our own server the X resource Xft.dpi (96 per 1x), which every
// client of that server reads, without the scale variables of our environment that would
// override it; on the user's display, whose resources are not ours to change, QT_SCALE_FACTOR
// for this process only.
void askForScale(Display* x, bool ownServer, double scale) {
    char text[64];
    if (ownServer) {
        std::snprintf(text, sizeof text, "Xft.dpi:\t%g\n", scale * 96.0);
        XChangeProperty(x, DefaultRootWindow(x), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(text),
                        static_cast<int>(std::strlen(text)));
        XSync(x, False);
        unsetenv("GDK_SCALE");
        unsetenv("QT_SCALE_FACTOR");
    } else {
        std::snprintf(text, sizeof text, "%g", scale);
        unsetenv("GDK_SCALE");
        setenv("QT_SCALE_FACTOR", text, 1);
    }
}

// The editor's size, when the plug-in answers one that can be used.
bool editorRect(HostedPlugin& plugin, int& width, int& height) {
    int w = 0, h = 0;
    if (!plugin.editorSize(w, h)) return false;
    if (w <= 0 || h <= 0 || w > kMaxEditor || h > kMaxEditor) return false;
    width = w, height = h;
    return true;
}

// The host's parent: a top-level window at the screen's origin that no manager moves, sized as
// the editor asks.
class EditorFrame {
public:
    EditorFrame(Display* x, int width, int height) : x_(x), width_(width), height_(height) {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixel = BlackPixel(x, DefaultScreen(x));
        attributes.event_mask = StructureNotifyMask;
        window_ = XCreateWindow(x, DefaultRootWindow(x), 0, 0, static_cast<unsigned>(width),
                                static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                                CopyFromParent, CWOverrideRedirect | CWBackPixel | CWEventMask,
                                &attributes);
        XMapRaised(x, window_);
        for (XEvent e;;) {
            XNextEvent(x, &e);
            if (e.type == MapNotify) break;
        }
    }
    ~EditorFrame() {
        XDestroyWindow(x_, window_);
        XSync(x_, False);
    }
    EditorFrame(const EditorFrame&) = delete;
    EditorFrame& operator=(const EditorFrame&) = delete;

    Window window() const { return window_; }
    int width() const { return width_; }
    int height() const { return height_; }
    bool resize(int width, int height) {
        if (width <= 0 || height <= 0 || width > kMaxEditor || height > kMaxEditor) return false;
        width_ = width, height_ = height;
        XResizeWindow(x_, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
        XSync(x_, False);
        return true;
    }
    // Throws when the screen cannot show the whole editor, so that its pixels cannot be read.
    void checkOnScreen() const {
        int sw = DisplayWidth(x_, DefaultScreen(x_)), sh = DisplayHeight(x_, DefaultScreen(x_));
        if (width_ > sw || height_ > sh)
            throw ToolError(kExitFailure, "the editor (" + std::to_string(width_) + "x" +
                                              std::to_string(height_) +
                                              ") is larger than the X "
                                              "screen (" +
                                              std::to_string(sw) + "x" + std::to_string(sh) +
                                              "); without DISPLAY a private "
                                              "screen that fits is used");
    }

private:
    Display* x_;
    Window window_;
    int width_, height_;
};

// The editor open in a frame, following the sizes it asks for, closed however the command ends.
class OpenEditor {
public:
    OpenEditor(HostedPlugin& plugin, EditorFrame& frame) : plugin_(plugin) {
        plugin.onEditorResize = [&frame](int w, int h) { return frame.resize(w, h); };
        std::string error;
        if (!plugin.openEditor(frame.window(), error)) {
            plugin.onEditorResize = nullptr;
            throw ToolError(kExitPlugin, "the plug-in's editor did not open" +
                                             (error.empty() ? "" : ": " + error));
        }
        // Many editors know their size only once open; the rectangle then is the one to show.
        int w = 0, h = 0;
        if (editorRect(plugin, w, h)) frame.resize(w, h);
    }
    ~OpenEditor() {
        plugin_.closeEditor();
        plugin_.onEditorResize = nullptr;
    }
    OpenEditor(const OpenEditor&) = delete;
    OpenEditor& operator=(const OpenEditor&) = delete;

private:
    HostedPlugin& plugin_;
};

// Xlib's default handler ends the process on any error; errors on our own connection while the
// pixels are read make the read fail instead, and the plug-in's go where they always went.
Display* gTrapped = nullptr;
int gTrappedErrors = 0;
XErrorHandler gPreviousHandler = nullptr;
int trapError(Display* display, XErrorEvent* event) {
    if (display == gTrapped) return ++gTrappedErrors, 0;
    return gPreviousHandler ? gPreviousHandler(display, event) : 0;
}

void appendPng(png_structp png, png_bytep data, png_size_t size) {
    auto* bytes = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    bytes->insert(bytes->end(), data, data + size);
}

std::vector<std::uint8_t> encodePng(XImage* image, int w, int h) {
    std::vector<std::uint8_t> bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<unsigned char> row(static_cast<std::size_t>(w) * 3);
    volatile bool ok = png && info;
    if (ok && setjmp(png_jmpbuf(png))) ok = false;
    if (ok) {
        png_set_write_fn(png, &bytes, appendPng, nullptr);
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
    if (!ok) throw ToolError(kExitFailure, "cannot encode the editor's pixels as PNG");
    return bytes;
}

// The frame's pixels, the editor's child windows included, as PNG.
std::vector<std::uint8_t> capture(Display* x, const EditorFrame& frame) {
    frame.checkOnScreen();
    XSync(x, False);
    gTrapped = x;
    gTrappedErrors = 0;
    gPreviousHandler = XSetErrorHandler(trapError);
    XImage* image = XGetImage(x, frame.window(), 0, 0, static_cast<unsigned>(frame.width()),
                              static_cast<unsigned>(frame.height()), AllPlanes, ZPixmap);
    XSync(x, False);
    XSetErrorHandler(gPreviousHandler);
    gTrapped = nullptr;
    std::unique_ptr<XImage, int (*)(XImage*)> freeImage(image,
                                                        [](XImage* i) { return XDestroyImage(i); });
    if (!image || gTrappedErrors) throw ToolError(kExitFailure, "cannot read the editor's pixels");
    return encodePng(image, frame.width(), frame.height());
}

// The host notices the script causes, in order.
struct NoticeLog {
    bool recording = false;
    std::vector<HostNotice> notices;

    static const char* name(HostNotice::Kind kind) {
        switch (kind) {
        case HostNotice::Value:
            return "automate";
        case HostNotice::BeginEdit:
            return "begin edit";
        case HostNotice::EndEdit:
            break;
        }
        return "end edit";
    }
    void see(const HostNotice& notice) {
        if (recording) notices.push_back(notice);
    }
    // Runs of automation of one parameter print as one line with their count and last value.
    void print(HostedPlugin& plugin) const {
        for (std::size_t i = 0; i < notices.size();) {
            std::size_t j = i + 1;
            while (notices[i].kind == HostNotice::Value && j < notices.size() &&
                   notices[j].kind == HostNotice::Value && notices[j].index == notices[i].index)
                ++j;
            const HostNotice& last = notices[j - 1];
            std::printf("Host notice: %s %s", name(last.kind),
                        plugin.parameterName(last.index).c_str());
            if (last.kind == HostNotice::Value) std::printf(" = %.4f", last.value);
            if (j - i > 1) std::printf(" (x%zu)", j - i);
            std::printf("\n");
            i = j;
        }
    }
};

std::vector<std::string> displays(HostedPlugin& plugin) {
    std::vector<std::string> texts;
    for (int i = 0; i < plugin.parameterCount(); ++i)
        texts.push_back(plugin.parameterDisplay(i));
    return texts;
}

void printChanges(HostedPlugin& plugin, const std::vector<std::string>& before) {
    std::vector<std::string> after = displays(plugin);
    for (std::size_t i = 0; i < after.size(); ++i)
        if (after[i] != before[i])
            std::printf("Changed: %s: %s -> %s\n",
                        plugin.parameterName(static_cast<int>(i)).c_str(), before[i].c_str(),
                        after[i].c_str());
}

struct Picture {
    std::vector<std::uint8_t> png;
    int width = 0, height = 0;
    std::vector<std::string> before; // the parameters' displays the script started from
};

// Opens the editor, lets it settle, plays the script and takes the picture.
Picture runEditor(HostedPlugin& plugin, Display* x, const SnapshotJob& job, NoticeLog& log) {
    int w = 640, h = 480;
    editorRect(plugin, w, h);
    EditorFrame frame(x, w, h);
    OpenEditor editor(plugin, frame);
    frame.checkOnScreen();
    checkScript(job.script, frame.width(), frame.height());
    ScriptPlayer player(plugin, x, frame.window());
    player.idleFor(job.settle);
    Picture picture;
    picture.before = displays(plugin);
    log.recording = true;
    for (const Step& step : job.script)
        player.play(step);
    log.recording = false;
    player.idleFor(100);
    picture.png = capture(x, frame);
    picture.width = frame.width();
    picture.height = frame.height();
    return picture;
}

int run(const std::vector<std::string>& argv) {
    const SnapshotJob job = parseJob(argv);
    // Made first, so that a folder that cannot take it is found before anything runs.
    OutputFile out(job.out);
    PrivateXServer server;
    const char* display = std::getenv("DISPLAY");
    const bool ownServer = !display || !*display;
    std::unique_ptr<Display, int (*)(Display*)> x(openDisplay(server), XCloseDisplay);
    NoticeLog log;
    std::unique_ptr<HostedPlugin> plugin = loadPlugin(job.plugin, 44100, 512);
    if (job.scale > 0 && !plugin->setEditorScale(job.scale))
        askForScale(x.get(), ownServer, job.scale);
    plugin->onNotice = [&log](const HostNotice& notice) { log.see(notice); };
    if (!plugin->hasEditor())
        throw ToolError(kExitPlugin, std::string("the plug-in has no editor") +
                                         (plugin->format() == PluginFormat::Vst2
                                              ? ""
                                              : " this host can embed in an X11 window"));
    applyState(*plugin, job.state);
    if (!plugin->resume())
        throw ToolError(kExitPlugin, "plug-in " + job.plugin + " refused to be switched on");
    Picture picture = runEditor(*plugin, x.get(), job, log);
    out.write(picture.png);
    out.commit();
    std::printf("Editor %dx%d written to %s\n", picture.width, picture.height, job.out.c_str());
    printChanges(*plugin, picture.before);
    log.print(*plugin);
    plugin->suspend();
    return kExitOk;
}

} // namespace

const Command kSnapshotCommand = {
    "snapshot", "picture of a plug-in's editor after a mouse and keyboard script",
    "Usage: ombrel-host snapshot [PLUGIN] OUT.png [OPTIONS]\n\n"
    "Opens the plug-in's X11 editor (Ombrel by default; a VST 2.4 editor, an LV2 X11 UI or a CLAP\n"
    "editor through its GUI extension, run on the host's timers) in a window, lets it settle,\n"
    "runs the script through the X server's XTEST input, writes the editor's pixels to OUT.png\n"
    "and prints each parameter whose display changed (before -> after) and the host notices\n"
    "received (begin edit, automate with the value the format records, end edit).\n"
    "The window takes the size the editor gives once open and follows its resize requests.\n"
    "Without $DISPLAY a private Xvfb is started when one is installed; it ends with the command.\n"
    "OUT.png must end in .png and is never the plug-in or the preset read; it appears whole or\n"
    "not at all.\n\n" OMBREL_PLUGIN_FORMS_HELP
    "Script, run in the order given (positions in editor pixels, inside the editor, a drag's end\n"
    "included):\n"
    "  --click X,Y[,shift|ctrl]        press and release the left button\n"
    "  --drag X,Y,DX,DY[,shift|ctrl]   press at X,Y, move by DX,DY, release\n"
    "  --type TEXT                     type TEXT; {Return} {Escape} {BackSpace} {Delete} {Left}\n"
    "                                  {Right} {Home} {End} name keys\n"
    "  --wait MS                       keep idling the editor for MS milliseconds\n"
    "  --settle MS                     idle time after opening, before the script (default 500)\n"
    "  --scale N                       the editor's scale, 1 to 4: CLAP set_scale, LV2\n"
    "                                  ui:scaleFactor, VST 2.4 Xft.dpi 96*N on the private\n"
    "                                  server, else QT_SCALE_FACTOR; positions stay the\n"
    "                                  window's pixels\n\n"
    "State, applied before the editor opens:\n"
    "  --load FILE  --program N  --name TEXT  --set NAME=TEXT  --set-normalised NAME=V   (as\n"
    "  render has them)\n\n"
    "Example: ombrel-host snapshot knob.png --drag 260,55,0,-40 --click 260,87 --type "
    "'200{Return}'\n",
    run};

} // namespace OmbrelHost

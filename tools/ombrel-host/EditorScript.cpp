#include "tools/ombrel-host/EditorScript.h"

#include "tools/ombrel-host/ToolError.h"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <thread>

namespace OmbrelHost {

namespace {

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
    step.option = option + " " + value;
    step.x = parseInt(parts[0], option, 0, 4095);
    step.y = parseInt(parts[1], option, 0, 4095);
    if (kind == Step::Drag) {
        step.dx = parseInt(parts[2], option, -4095, 4095);
        step.dy = parseInt(parts[3], option, -4095, 4095);
    }
    if (parts.size() > numbers) parseModifier(parts[numbers], step, option);
    return step;
}

std::string point(int x, int y) {
    return "(" + std::to_string(x) + "," + std::to_string(y) + ")";
}

} // namespace

std::vector<Step> parseScript(const Args& args) {
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
    return script;
}

void checkScript(const std::vector<Step>& script, int width, int height) {
    const std::string editor =
        "the editor (" + std::to_string(width) + "x" + std::to_string(height) + ")";
    auto inside = [&](int x, int y) { return x >= 0 && y >= 0 && x < width && y < height; };
    for (const Step& s : script) {
        if (s.kind != Step::Click && s.kind != Step::Drag) continue;
        if (!inside(s.x, s.y))
            throw ToolError(kExitUsage,
                            s.option + ": " + point(s.x, s.y) + " is outside " + editor);
        if (s.kind == Step::Drag && !inside(s.x + s.dx, s.y + s.dy))
            throw ToolError(kExitUsage, s.option + ": the drag ends at " +
                                            point(s.x + s.dx, s.y + s.dy) + ", outside " + editor);
    }
}

void ScriptPlayer::idleFor(int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        plugin_.idleEditor();
        while (XPending(display_)) {
            XEvent event;
            XNextEvent(display_, &event);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    } while (std::chrono::steady_clock::now() < until);
}

void ScriptPlayer::play(const Step& step) {
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

void ScriptPlayer::move(int x, int y) {
    int rx = 0, ry = 0;
    Window child;
    XTranslateCoordinates(display_, parent_, DefaultRootWindow(display_), x, y, &rx, &ry, &child);
    XTestFakeMotionEvent(display_, -1, rx, ry, CurrentTime);
    XSync(display_, False);
    idleFor(20);
}

void ScriptPlayer::button(bool down) {
    XTestFakeButtonEvent(display_, 1, down, CurrentTime);
    XSync(display_, False);
    idleFor(40);
}

void ScriptPlayer::key(unsigned long sym, bool down) {
    KeyCode code = XKeysymToKeycode(display_, sym);
    if (code) XTestFakeKeyEvent(display_, code, down, CurrentTime);
    XSync(display_, False);
}

void ScriptPlayer::modifiers(const Step& step, bool down) {
    if (step.shift) key(XK_Shift_L, down);
    if (step.control) key(XK_Control_L, down);
    if (step.shift || step.control) idleFor(20);
}

void ScriptPlayer::tap(unsigned long sym) {
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

void ScriptPlayer::type(const std::string& text) {
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

} // namespace OmbrelHost

// snapshot's mouse and keyboard script: the steps the command line gives, checked against the
// editor, and played into it through the X server's XTEST input as a user's hand would.
#pragma once

#include "tools/host/HostedPlugin.h"
#include "tools/ombrel-host/Args.h"

#include <X11/Xlib.h>

#include <string>
#include <vector>

namespace OmbrelHost {

struct Step {
    enum Kind { Click, Drag, Type, Wait } kind = Wait;
    int x = 0, y = 0, dx = 0, dy = 0, ms = 0;
    bool shift = false, control = false;
    std::string text;
    std::string option; // as given, for messages
};

// The --click, --drag, --type and --wait options in command-line order; throws a usage error.
std::vector<Step> parseScript(const Args& args);
// Throws a usage error for a step that would press or move outside the editor: on a real display
// it would reach other applications' windows.
void checkScript(const std::vector<Step>& script, int width, int height);

// Plays steps into an open editor whose host parent window is given.
class ScriptPlayer {
public:
    ScriptPlayer(HostedPlugin& plugin, Display* display, Window parent)
        : plugin_(plugin), display_(display), parent_(parent) {}

    // The host's main-loop turns (editor idle) at about 60 per second for the time given.
    void idleFor(int ms);
    void play(const Step& step);

private:
    void move(int x, int y);
    void button(bool down);
    void key(unsigned long sym, bool down);
    void modifiers(const Step& step, bool down);
    void tap(unsigned long sym);
    void type(const std::string& text);

    HostedPlugin& plugin_;
    Display* display_;
    Window parent_;
};

} // namespace OmbrelHost

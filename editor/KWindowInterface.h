// What the portable editor asks of a native editor window. The platform windows implement it;
// tests implement a fake with a fake clock.
#pragma once

#include <cstdint>

namespace Korvel {

class KEditor;
class KFontResource;

class KWindowInterface {
public:
    virtual ~KWindowInterface() = default;

    // [ui] Creates the native window inside parent; true when it is live.
    virtual bool open(void* parent) = 0;
    // [ui] Tears down the graphics and destroys the native window.
    virtual void close() = 0;
    // [any]
    virtual bool isLive() const = 0;
    // [any] Asks for a paint of the whole client area; the window draws at its next chance.
    virtual void invalidate() = 0;
    // [ui] The host's idle call: pumps native events where the platform needs it.
    virtual void idle() = 0;
    // [ui] Opens a typed-entry box over the rectangle (editor pixels) for the parameter; false
    // when none can be opened.
    virtual bool openTextEntry(int x, int y, int w, int h, const KFontResource* font,
                               int parameterIndex) = 0;
    // [ui] Opens a web address with the system's "open"; returns when the request is handed over.
    virtual void openLink(const char* address) = 0;
    // [any] Millisecond tick; wraps round.
    virtual std::uint32_t tickMs() const = 0;
    // [ui] The native window while open (an X window id, a window handle), 0 otherwise: formats
    // whose host embeds the plug-in's own window by its id ask for it.
    virtual std::uintptr_t nativeWindow() const { return 0; }
    // [ui] The scale (KEditorScale.h) the system's display settings ask for where the editor
    // opens inside parent, or before a parent is known (null); 1 where there are none.
    virtual double systemScale(void* parent) {
        (void)parent;
        return 1.0;
    }
    // [ui] The scale of the next open, clamped; an open window keeps its scale until reopened.
    virtual void setScale(double scale) { (void)scale; }
    // [ui] The scale the window opens at, or is open at.
    virtual double scale() const { return 1.0; }
};

// Makes the window object for an editor (the window stores itself in the editor). The platform
// window library supplies one; null means "no window object" and the editor never opens.
using KWindowFactory = KWindowInterface* (*)(KEditor& editor);

} // namespace Korvel

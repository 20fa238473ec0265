// The editor's OpenGL canvas, the same under every native window: the NanoVG context, the
// offscreen framebuffer of the editor's size that keeps the last picture between paints, and the
// drawing surface the editor and its controls draw through. It holds the lifetime rules of those
// objects in one place:
//   - the context is current whenever a GL object is made or freed, and that includes detaching
//     the surface, because the skin's images and fonts release their GL textures then;
//   - whatever was current before (a host drawing with GL on the same thread) is put back after;
//   - the editor sees a surface only while the objects behind it exist, and a new surface for
//     every set-up, since a surface holds the NanoVG context it was made for.
// The native window supplies the context itself through KGlContext: creation and destruction stay
// with the window, the canvas asks only to make it current, to release it and to swap.
// Everything here runs on the user-interface thread [ui].
#pragma once

struct NVGcontext;
struct NVGLUframebuffer;

namespace Korvel {

class KDrawSurface;
class KEditor;

class KGlContext {
public:
    // Makes the window's context current on its drawable, remembering what was current; false
    // when it cannot be made current (nothing is then drawn or freed through it).
    virtual bool makeCurrent() = 0;
    // Puts back what was current before the last makeCurrent.
    virtual void releaseCurrent() = 0;
    // Shows the frame just presented.
    virtual void swapBuffers() = 0;
    // True where GL calls without a current context do nothing (GLX's dispatch): NanoVG's own
    // memory is then freed even when the context cannot be made current for the teardown.
    virtual bool glCallsSafeWithoutContext() const { return false; }

protected:
    ~KGlContext() = default;
};

class KGlCanvas {
public:
    KGlCanvas(KEditor& editor, KGlContext& context);
    // Tears down what is left.
    ~KGlCanvas();
    KGlCanvas(const KGlCanvas&) = delete;
    KGlCanvas& operator=(const KGlCanvas&) = delete;

    // With the context current: loads the GL entry points, makes the NanoVG context, clears,
    // makes the framebuffer and the surface at the editor's size, tells the editor it opened and
    // attaches the surface (the skin's resources load); then releases the context. False when any
    // step fails; tearDown frees what was made.
    bool setUp();
    // Redraws what changed into the framebuffer, presents the whole framebuffer as one textured
    // rectangle and swaps. False when nothing could be drawn (no surface, no current context).
    bool paint();
    // Detaches the surface from the editor and frees the framebuffer and the NanoVG context, with
    // the context current; again and again is harmless. The window destroys its context after.
    void tearDown();

    bool isSetUp() const { return surface_ != nullptr; }
    // The scale of the next set-up (clamped, KEditorScale.h): the framebuffer then holds the
    // editor's size times the scale in screen pixels, presented one to one.
    void setScale(double scale);
    double scale() const { return scale_; }
    KDrawSurface* surface() const { return surface_; }

private:
    KEditor& editor_;
    KGlContext& context_;
    NVGcontext* nvg_ = nullptr;
    NVGLUframebuffer* framebuffer_ = nullptr;
    KDrawSurface* surface_ = nullptr;
    double scale_ = 1.0;
};

} // namespace Korvel

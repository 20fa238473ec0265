#include "platform/KGlCanvas.h"

#include "editor/KDrawSurface.h"
#include "editor/KEditor.h"
#include "editor/KEditorScale.h"
#include "platform/KNanoVgGl.h"

#include <new>

namespace Korvel {

KGlCanvas::KGlCanvas(KEditor& editor, KGlContext& context) : editor_(editor), context_(context) {}

KGlCanvas::~KGlCanvas() {
    tearDown();
}

void KGlCanvas::setScale(double scale) {
    scale_ = clampEditorScale(scale);
}

bool KGlCanvas::setUp() {
    if (!context_.makeCurrent()) return false;
    // Screen pixels; the surface maps the editor's own onto them.
    const int w = scaledLength(editor_.width(), scale_), h = scaledLength(editor_.height(), scale_);
    // The loader opens the system's GL library (libGL, opengl32.dll) and resolves through it.
    bool ok = gladLoaderLoadGL() && GLAD_GL_ARB_framebuffer_object;
    if (ok) nvg_ = nvgCreateGL2(NVG_ANTIALIAS);
    if (nvg_) {
        glViewport(0, 0, w, h);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        framebuffer_ = nvgluCreateFramebuffer(nvg_, w, h, 0);
    }
    if (framebuffer_)
        surface_ = new (std::nothrow) KDrawSurface(nvg_, editor_.width(), editor_.height(), scale_);
    if (surface_) {
        editor_.editorOpened();
        editor_.attachSurface(*surface_);
    }
    context_.releaseCurrent();
    return surface_ != nullptr;
}

bool KGlCanvas::paint() {
    if (!surface_ || !context_.makeCurrent()) return false;
    const int w = scaledLength(editor_.width(), scale_), h = scaledLength(editor_.height(), scale_);
    glViewport(0, 0, w, h);
    nvgluBindFramebuffer(framebuffer_);
    editor_.draw(*surface_);
    nvgluBindFramebuffer(nullptr);
    const float fw = static_cast<float>(w), fh = static_cast<float>(h);
    nvgBeginFrame(nvg_, fw, fh, 1.0f);
    nvgBeginPath(nvg_);
    nvgRect(nvg_, 0, 0, fw, fh);
    nvgFillPaint(nvg_, nvgImagePattern(nvg_, 0, 0, fw, fh, 0, framebuffer_->image, 1.0f));
    nvgFill(nvg_);
    nvgEndFrame(nvg_);
    context_.swapBuffers();
    context_.releaseCurrent();
    return true;
}

void KGlCanvas::tearDown() {
    // Nothing made, nothing to make current for.
    if (!nvg_ && !framebuffer_ && !surface_) return;
    // Current before the surface goes: releasing the skin's images deletes GL textures.
    const bool current = context_.makeCurrent();
    if (surface_) {
        editor_.detachSurface(*surface_);
        delete surface_;
        surface_ = nullptr;
    }
    if (current && framebuffer_) nvgluDeleteFramebuffer(framebuffer_);
    // Without a current context the context's destruction frees the GL objects; NanoVG's own
    // memory goes too where its GL calls are then harmless.
    if (nvg_ && (current || context_.glCallsSafeWithoutContext())) nvgDeleteGL2(nvg_);
    framebuffer_ = nullptr;
    nvg_ = nullptr;
    if (current) context_.releaseCurrent();
}

} // namespace Korvel

#include "tests/platform/OffscreenContext.h"

#include "platform/KNanoVgGl.h"

#define EGL_NO_X11 1
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace Korvel {

namespace {

// One GL context for the whole process, never destroyed: Mesa unloads its
// driver with the last context, and what the driver keeps would then show as leaks from an
// unknown module under LeakSanitizer.
struct ProcessContext {
    std::string error;
    bool ok = false;
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;

    ProcessContext() {
        auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
            eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (!getPlatformDisplay) {
            error = "no eglGetPlatformDisplayEXT";
            return;
        }
        display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
            error = "no surfaceless EGL display";
            return;
        }
        if (!eglBindAPI(EGL_OPENGL_API)) {
            error = "no desktop OpenGL through EGL";
            return;
        }
        const EGLint configAttributes[] = {EGL_SURFACE_TYPE,
                                           EGL_PBUFFER_BIT,
                                           EGL_RENDERABLE_TYPE,
                                           EGL_OPENGL_BIT,
                                           EGL_RED_SIZE,
                                           8,
                                           EGL_GREEN_SIZE,
                                           8,
                                           EGL_BLUE_SIZE,
                                           8,
                                           EGL_STENCIL_SIZE,
                                           8,
                                           EGL_NONE};
        EGLConfig config = nullptr;
        EGLint configs = 0;
        if (!eglChooseConfig(display, configAttributes, &config, 1, &configs) || configs < 1) {
            error = "no EGL config with OpenGL and a stencil";
            return;
        }
        // No version asked: a compatibility context, which NanoVG's GL2 back end needs.
        context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
        if (context == EGL_NO_CONTEXT) {
            error = "no EGL context";
            return;
        }
        if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
            error = "cannot make the context current without a surface";
            return;
        }
        if (!gladLoadGL(reinterpret_cast<GLADloadfunc>(eglGetProcAddress)) ||
            !GLAD_GL_ARB_framebuffer_object) {
            error = "glad could not load OpenGL with framebuffer objects";
            return;
        }
        ok = true;
    }
};

const ProcessContext& processContext() {
    static const ProcessContext* context = new ProcessContext;
    return *context;
}

} // namespace

OffscreenContext::OffscreenContext(int width, int height, int nvgFlags)
    : width_(width), height_(height) {
    const ProcessContext& process = processContext();
    // Current again: the process may have used other GL contexts (a plug-in's window) since.
    if (!process.ok ||
        !eglMakeCurrent(process.display, EGL_NO_SURFACE, EGL_NO_SURFACE, process.context)) {
        error_ = process.ok ? "cannot make the context current" : process.error;
        return;
    }
    nvg_ = nvgCreateGL2(nvgFlags < 0 ? NVG_ANTIALIAS : nvgFlags);
    if (!nvg_) {
        error_ = "nvgCreateGL2 failed";
        return;
    }
    framebuffer_ = nvgluCreateFramebuffer(nvg_, width, height, 0);
    if (!framebuffer_) {
        error_ = "nvgluCreateFramebuffer failed";
        return;
    }
    nvgluBindFramebuffer(framebuffer_);
    glViewport(0, 0, width, height);
    clear(0);
}

OffscreenContext::~OffscreenContext() {
    if (framebuffer_) {
        nvgluBindFramebuffer(nullptr);
        nvgluDeleteFramebuffer(framebuffer_);
    }
    if (nvg_) nvgDeleteGL2(nvg_);
}

void OffscreenContext::clear(std::uint32_t rgba) {
    auto byte = [rgba](int i) { return static_cast<float>((rgba >> (8 * i)) & 0xffu) / 255.0f; };
    glClearColor(byte(0), byte(1), byte(2), byte(3));
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

std::vector<std::uint32_t> OffscreenContext::readPixels() const {
    std::vector<std::uint32_t> bottomUp(static_cast<std::size_t>(width_) * height_);
    if (!ok()) return bottomUp;
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    // GL's rows start at the bottom; ours at the top.
    std::vector<std::uint32_t> pixels(bottomUp.size());
    for (int row = 0; row < height_; ++row)
        std::copy_n(bottomUp.begin() + static_cast<std::ptrdiff_t>(height_ - 1 - row) * width_,
                    width_, pixels.begin() + static_cast<std::ptrdiff_t>(row) * width_);
    return pixels;
}

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

bool writePng(const std::string& path, int width, int height,
              const std::vector<std::uint32_t>& pixels) {
    if (width <= 0 || height <= 0 || pixels.size() != static_cast<std::size_t>(width) * height)
        return false;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // Packed pixels with red in the lowest byte are R, G, B, A bytes on a little-endian machine.
    for (int row = 0; row < height; ++row)
        png_write_row(png, reinterpret_cast<png_const_bytep>(
                               pixels.data() + static_cast<std::size_t>(row) * width));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool readPng(const std::string& path, int& width, int& height, std::vector<std::uint32_t>& pixels) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint32_t> buffer(static_cast<std::size_t>(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    pixels.swap(buffer);
    return true;
}

} // namespace Korvel

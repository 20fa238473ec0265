// NanoVG and an offscreen framebuffer on an OpenGL context without any window system (EGL on
// Mesa's surfaceless platform, one context per process, current on the first thread that uses
// it), for drawing tests and benchmarks. Read-backs come top row
// first as packed RGBA, red in the lowest byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct NVGcontext;
struct NVGLUframebuffer;

namespace Korvel {

class OffscreenContext {
public:
    // A framebuffer of width x height pixels, bound and cleared to transparent black. NanoVG is
    // created with the editor window's flags unless told otherwise.
    OffscreenContext(int width, int height, int nvgFlags = -1);
    ~OffscreenContext();
    OffscreenContext(const OffscreenContext&) = delete;
    OffscreenContext& operator=(const OffscreenContext&) = delete;

    // False, with the reason in error(), when any step of the set-up failed.
    bool ok() const { return framebuffer_ != nullptr; }
    const std::string& error() const { return error_; }
    NVGcontext* nvg() const { return nvg_; }
    int width() const { return width_; }
    int height() const { return height_; }

    void clear(std::uint32_t rgba);
    // Waits for the GPU and reads the whole framebuffer.
    std::vector<std::uint32_t> readPixels() const;

private:
    int width_;
    int height_;
    std::string error_;
    NVGcontext* nvg_ = nullptr;
    NVGLUframebuffer* framebuffer_ = nullptr;
};

// 8-bit RGBA PNG files of packed pixels, top row first.
bool writePng(const std::string& path, int width, int height,
              const std::vector<std::uint32_t>& pixels);
bool readPng(const std::string& path, int& width, int& height, std::vector<std::uint32_t>& pixels);

} // namespace Korvel

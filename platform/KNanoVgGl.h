// NanoVG's OpenGL 2 back end (nvgCreateGL2, nvgDeleteGL2) and its framebuffer helpers (nvglu*),
// over the GL entry points that glad loads. glad's header comes first so that every GL name
// resolves to glad's pointers. Whoever makes a GL context current loads glad before creating a
// NanoVG context in it.
#pragma once

#include <glad/gl.h>

#include "nanovg.h"
#ifndef NANOVG_GL2
#define NANOVG_GL2 1
#endif
#include "nanovg_gl.h"
#include "nanovg_gl_utils.h"

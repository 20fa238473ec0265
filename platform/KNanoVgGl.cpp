// Compiles NanoVG's GL2 back end and framebuffer helpers once, as C++ like nanovg.c. The helpers
// create framebuffers for GL2 only when told that framebuffer objects exist: glad loads
// GL_ARB_framebuffer_object.
#define NANOVG_GL2_IMPLEMENTATION 1
#define NANOVG_FBO_VALID 1
#include "platform/KNanoVgGl.h"

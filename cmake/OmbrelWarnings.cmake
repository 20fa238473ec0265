# Our own code builds warning-free; third-party code (NanoVG, glad, GoogleTest) is not ours to warn
# about and does not use this.
function(ombrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Werror)
  # The engine's kernels pass 256-bit vectors between inline functions of one file; the note
  # that such values would cross non-AVX and AVX code differently concerns calls between files,
  # which they never make.
  target_compile_options(${target} PRIVATE -Wno-psabi)
endfunction()

# A static library of ours: warnings on, sources relative to the caller, includes from the root.
function(ombrel_library target)
  add_library(${target} STATIC ${ARGN})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  ombrel_warnings(${target})
endfunction()

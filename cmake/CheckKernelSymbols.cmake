# Checks that the object compiled for a wider instruction set defines nothing another file could
# link to instead of its baseline twin: every function it defines lives in its own namespace
# (see dsp/Lanes.h), but for the one that hands its kernels out.
# cmake -DOBJECTS=<objects> -DNM=<nm> -DNAMESPACE=<Korvel::Avx2> -DENTRY=<Korvel::avx2Kernels()>
#       -P CheckKernelSymbols.cmake
cmake_minimum_required(VERSION 3.25)

set(faults "")
foreach(object IN LISTS OBJECTS)
  execute_process(COMMAND ${NM} --defined-only -C ${object} OUTPUT_VARIABLE dump
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${NM} ${object} failed")
  endif()
  string(REPLACE ";" "," dump "${dump}")
  string(REPLACE "\n" ";" lines "${dump}")
  foreach(line IN LISTS lines)
    # Global code and weak definitions; local ones, data and sections do not link across files.
    if(NOT line MATCHES "^[0-9a-fA-F]* [TW] (.+)$")
      continue()
    endif()
    set(name "${CMAKE_MATCH_1}")
    # Section names (PE objects list their .text$... sections) are no definitions.
    if(name MATCHES "^\\.")
      continue()
    endif()
    # The name itself in the namespace (a template's return type may come first); the namespace
    # in an argument list does not count.
    string(REGEX REPLACE "\\(.*$" "" qualified "${name}")
    string(FIND "${qualified}" "${NAMESPACE}::" at)
    if(at EQUAL 0 OR qualified MATCHES " ${NAMESPACE}::" OR name STREQUAL ENTRY)
      continue()
    endif()
    list(APPEND faults "${name}")
  endforeach()
endforeach()
if(faults)
  list(JOIN faults "\n  " shown)
  message(FATAL_ERROR "defined outside ${NAMESPACE}:\n  ${shown}")
endif()

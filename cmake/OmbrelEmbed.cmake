# Compiles named files into a static library as the embedded file table, in the order given.
# ombrel_embed_files(<target> NAME <file name> PATH <path> [NAME ... PATH ...] DEPENDS <targets>)
function(ombrel_embed_files target)
  set(entries "")
  set(paths "")
  set(depends "")
  set(mode "")
  foreach(arg IN LISTS ARGN)
    if(arg STREQUAL "NAME" OR arg STREQUAL "PATH" OR arg STREQUAL "DEPENDS")
      set(mode ${arg})
    elseif(mode STREQUAL "NAME")
      string(APPEND entries "${arg}|")
    elseif(mode STREQUAL "PATH")
      string(APPEND entries "${arg}|")
      list(APPEND paths ${arg})
    elseif(mode STREQUAL "DEPENDS")
      list(APPEND depends ${arg})
    endif()
  endforeach()
  set(output ${CMAKE_CURRENT_BINARY_DIR}/${target}_data.cpp)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} "-DENTRIES=${entries}" -DOUTPUT=${output}
            -P ${PROJECT_SOURCE_DIR}/cmake/EmbedFilesScript.cmake
    DEPENDS ${paths} ${depends} ${PROJECT_SOURCE_DIR}/cmake/EmbedFilesScript.cmake
    COMMENT "Embedding resources into ${target}"
    VERBATIM)
  add_library(${target} STATIC ${output})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

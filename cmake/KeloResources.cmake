# Files built into a module (a plug-in file or a program), found at run time with
# kelo::platform::findResource(type, name) (platform/Resources.h).
#
#   kelo_add_resources(<target> TYPE <type> <NAME> <file> [<NAME> <file> ...])
#   kelo_add_png_resources(<target> <NAME> <file.png> ...)     # TYPE PNG
#
# Windows: an .rc compiled by windres into the target. Other builds: arrays generated at build
# time (cmake/EmbedFiles.cmake) and compiled into the target, registered at load. Give the
# final module (not a static library), so nothing drops the resources. Names are upper case.
#
#   kelo_embed_symbols(<target> <symbol> <file> ...)
# compiles each file into `extern const unsigned char kelo::embedded::<symbol>[]` with
# `<symbol>_size`, for code that references its data directly (any target kind).
set(KELO_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/EmbedFiles.cmake)

function(_kelo_resource_file target suffix out)
  # Not "n": if(NOT n) reads the false constant N, so every call would get file 0.
  get_property(index TARGET ${target} PROPERTY KELO_RESOURCE_COUNT)
  if(NOT index)
    set(index 0)
  endif()
  math(EXPR next "${index} + 1")
  set_property(TARGET ${target} PROPERTY KELO_RESOURCE_COUNT ${next})
  set(${out} ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources${index}${suffix} PARENT_SCOPE)
endfunction()

function(kelo_add_resources target)
  cmake_parse_arguments(ARG "" "TYPE" "" ${ARGN})
  if(NOT ARG_TYPE)
    message(FATAL_ERROR "kelo_add_resources: TYPE missing")
  endif()
  set(pairs ${ARG_UNPARSED_ARGUMENTS})
  list(LENGTH pairs count)
  math(EXPR odd "${count} % 2")
  if(count EQUAL 0 OR odd)
    message(FATAL_ERROR "kelo_add_resources: expected NAME file pairs")
  endif()
  set(files "")
  set(lines "")
  math(EXPR last "${count} - 1")
  foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET pairs ${i} name)
    list(GET pairs ${j} file)
    string(TOUPPER "${name}" name)
    if(NOT name MATCHES "^[A-Z0-9_.-]+$")
      message(FATAL_ERROR "kelo_add_resources: resource name '${name}' must be letters, digits, _ . -")
    endif()
    get_filename_component(file "${file}" ABSOLUTE)
    list(APPEND files "${file}")
    if(WIN32)
      string(REPLACE "\\" "\\\\" rcfile "${file}")
      string(APPEND lines "${name} ${ARG_TYPE} \"${rcfile}\"\n")
    else()
      string(APPEND lines "${ARG_TYPE} ${name} ${file}\n")
    endif()
  endforeach()
  if(WIN32)
    _kelo_resource_file(${target} .rc rc)
    file(CONFIGURE OUTPUT ${rc} CONTENT "${lines}" @ONLY)
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${files}")
    target_sources(${target} PRIVATE ${rc})
  else()
    _kelo_resource_file(${target} .cpp cpp)
    file(CONFIGURE OUTPUT ${cpp}.manifest CONTENT "${lines}" @ONLY)
    add_custom_command(OUTPUT ${cpp}
      COMMAND ${CMAKE_COMMAND} -DMANIFEST=${cpp}.manifest -DMODE=register -DOUT=${cpp} -P ${KELO_EMBED_SCRIPT}
      DEPENDS ${files} ${cpp}.manifest ${KELO_EMBED_SCRIPT}
      COMMENT "Embedding ${ARG_TYPE} resources into ${target}" VERBATIM)
    target_sources(${target} PRIVATE ${cpp})
    target_link_libraries(${target} PRIVATE kelo_platform)
  endif()
endfunction()

function(kelo_add_png_resources target)
  kelo_add_resources(${target} TYPE PNG ${ARGN})
endfunction()

function(kelo_embed_symbols target)
  set(pairs ${ARGN})
  list(LENGTH pairs count)
  set(files "")
  set(lines "")
  math(EXPR last "${count} - 1")
  foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET pairs ${i} symbol)
    list(GET pairs ${j} file)
    get_filename_component(file "${file}" ABSOLUTE)
    list(APPEND files "${file}")
    string(APPEND lines "${symbol} ${file}\n")
  endforeach()
  _kelo_resource_file(${target} .cpp cpp)
  file(CONFIGURE OUTPUT ${cpp}.manifest CONTENT "${lines}" @ONLY)
  add_custom_command(OUTPUT ${cpp}
    COMMAND ${CMAKE_COMMAND} -DMANIFEST=${cpp}.manifest -DMODE=symbols -DOUT=${cpp} -P ${KELO_EMBED_SCRIPT}
    DEPENDS ${files} ${cpp}.manifest ${KELO_EMBED_SCRIPT}
    COMMENT "Embedding files into ${target}" VERBATIM)
  target_sources(${target} PRIVATE ${cpp})
endfunction()

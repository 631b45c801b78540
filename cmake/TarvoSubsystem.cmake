# The libraries form layers, and each links only to those below it:
#
#   util  <-  store, clock, port  <-  link  <-  catalog, core  <-  cli, window
#         <-  app (the program's start-up)  <-  tests, bench
#   (clock <- port: the TCP client times its connection wait on the tick;
#    dispenser-sim takes only the frames of link/, the socket calls of port/
#    and util)
#
# A library's include path holds its own folder and, through its link lines,
# the folders below it, and nothing else: an include that reaches upward
# (a port file including "link/trk.h") fails to build instead of creating a
# loop between two libraries. To get that, each folder's headers are reached
# through a folder of its own in the build tree, holding one forwarding header
# per real one, kept apart for each library; the programs and tests above
# every layer include the source tree directly. tests/layers checks that an
# upward include fails.

# tarvo_layer_headers(TARGET FOLDER [GLOBS...])
# Puts FOLDER's headers (*.h, or the given globs) on TARGET's public include
# path, as "FOLDER/name.h". Two libraries of one folder (the frames and the
# rest of link/) each show only their own.
function(tarvo_layer_headers target folder)
  set(globs ${ARGN})
  if(NOT globs)
    set(globs *.h)
  endif()
  list(TRANSFORM globs PREPEND ${PROJECT_SOURCE_DIR}/${folder}/)
  file(GLOB headers CONFIGURE_DEPENDS ${globs})
  set(root ${CMAKE_BINARY_DIR}/layers/${target})
  set(wanted)
  foreach(header IN LISTS headers)
    get_filename_component(name ${header} NAME)
    # Written only when it changes, so a reconfigure rebuilds nothing.
    file(CONFIGURE OUTPUT ${root}/${folder}/${name}
         CONTENT "#include \"${header}\"\n" @ONLY)
    list(APPEND wanted ${root}/${folder}/${name})
  endforeach()
  # A header deleted from the source must not live on in the build tree.
  file(GLOB made ${root}/${folder}/*)
  foreach(stale IN LISTS made)
    if(NOT stale IN_LIST wanted)
      file(REMOVE ${stale})
    endif()
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# tarvo_add_subsystem(NAME [EXCLUDE regex...])
# Builds the static library NAME from every .cpp in the current folder, with
# the folder's headers on its public include path. Platform files carry their
# platform in the name (serial_posix.cpp, serial_win32.cpp): the build takes
# the ones of the target platform and leaves the others out, so no source
# file needs #ifdefs to choose its platform.
function(tarvo_add_subsystem name)
  cmake_parse_arguments(S "" "" "EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  foreach(rx IN LISTS S_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "${rx}")
  endforeach()
  if(NOT sources)
    # A subsystem whose sources have not landed yet still configures.
    set(sources ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(WRITE ${sources} "")
  endif()
  add_library(${name} STATIC ${sources})
  # The folder as includes name it: "port", or "app/core" for a folder inside
  # another.
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  tarvo_layer_headers(${name} ${folder})
endfunction()

# tarvo_add_subsystem(NAME [EXCLUDE regex...])
# Builds the static library NAME from every .cpp in the current folder. Platform
# files carry their platform in the name (serial_posix.cpp, serial_win32.cpp):
# the build takes the ones of the target platform and leaves the others out, so
# no source file needs #ifdefs to choose its platform.
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
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# The top of the build folder is the tool's run folder: the program, the
# simulated controller, the logo and the catalog, and what the program writes
# there. Every other program (tests, benchmarks, the DLLs a test loads) has a
# folder of its own. tarvo_check_run_folder() fails the configure when a
# program target would land in the run folder, and removes copies that an
# earlier layout of the build left there.
set(TARVO_RUN_FOLDER_PROGRAMS tarvo_6 tarvo_6_console dispenser-sim)

function(tarvo_collect_targets directory out)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(children DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  foreach(child IN LISTS children)
    tarvo_collect_targets(${child} below)
    list(APPEND targets ${below})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

function(tarvo_check_run_folder)
  tarvo_collect_targets(${PROJECT_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type STREQUAL "EXECUTABLE" AND NOT (WIN32 AND type STREQUAL "SHARED_LIBRARY"))
      continue()
    endif()
    if(target IN_LIST TARVO_RUN_FOLDER_PROGRAMS)
      continue()
    endif()
    get_target_property(folder ${target} RUNTIME_OUTPUT_DIRECTORY)
    if(NOT folder)
      get_target_property(folder ${target} BINARY_DIR)
    endif()
    if(folder STREQUAL CMAKE_BINARY_DIR)
      message(FATAL_ERROR "${target} would be built into the run folder ${CMAKE_BINARY_DIR}: "
                          "give it a RUNTIME_OUTPUT_DIRECTORY of its own (tests/, bench/)")
    endif()
    foreach(stale ${target}${CMAKE_EXECUTABLE_SUFFIX}
                  ${CMAKE_SHARED_LIBRARY_PREFIX}${target}${CMAKE_SHARED_LIBRARY_SUFFIX})
      if(EXISTS ${CMAKE_BINARY_DIR}/${stale} AND NOT IS_DIRECTORY ${CMAKE_BINARY_DIR}/${stale})
        file(REMOVE ${CMAKE_BINARY_DIR}/${stale})
      endif()
    endforeach()
  endforeach()
endfunction()

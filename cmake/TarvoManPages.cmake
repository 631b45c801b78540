# Manual pages tarvo_6(1) and dispenser-sim(1), made at build time from each
# program's own --help (scripts/man-page.sh, help2man), so that a page never
# says other than --help. Only the system installation (the .deb) has them.
find_program(HELP2MAN help2man REQUIRED)
set(man_pages)
foreach(page tarvo_6 dispenser-sim)
  if(page STREQUAL tarvo_6)
    set(summary "service tool for the controller of a CNG fuel dispenser")
  else()
    set(summary "simulated controller of a CNG fuel dispenser, for tests and training")
  endif()
  set(out ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/man-page.sh $<TARGET_FILE:${page}> "${summary}"
            ${PROJECT_VERSION} ${out}
    DEPENDS ${page} ${PROJECT_SOURCE_DIR}/scripts/man-page.sh
    COMMENT "Manual page ${page}(1) from its --help")
  list(APPEND man_pages ${out})
endforeach()
add_custom_target(tarvo_6_man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

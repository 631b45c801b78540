# `cmake --install`: the executable, the logo and the catalog in one folder,
# as the program finds them in its working directory. On Linux the desktop
# entry starts it in that folder, with its icon under share/.
include(GNUInstallDirs)
if(WIN32)
  set(TARVO_INSTALL_DIR "." CACHE STRING "Folder under the prefix for tarvo_6 and its files")
else()
  set(TARVO_INSTALL_DIR "${CMAKE_INSTALL_LIBDIR}/tarvo_6" CACHE STRING
      "Folder under the prefix for tarvo_6 and its files")
endif()

if(TARGET tarvo_6)
  install(TARGETS tarvo_6 RUNTIME DESTINATION ${TARVO_INSTALL_DIR})
  install(FILES ${PROJECT_SOURCE_DIR}/assets/qv.bmp DESTINATION ${TARVO_INSTALL_DIR})
  install(FILES ${CMAKE_BINARY_DIR}/ru/tarvo_6.mo DESTINATION ${TARVO_INSTALL_DIR}/ru)
  if(UNIX)
    # Path= makes the install folder the working directory; the absolute
    # folder is written when the entry is installed, so DESTDIR and a prefix
    # given to `cmake --install --prefix` both come out right.
    install(CODE "
      set(folder \"\${CMAKE_INSTALL_PREFIX}/${TARVO_INSTALL_DIR}\")
      configure_file(\"${PROJECT_SOURCE_DIR}/assets/tarvo_6.desktop.in\"
                     \"${CMAKE_BINARY_DIR}/tarvo_6.desktop\" @ONLY)")
    install(FILES ${CMAKE_BINARY_DIR}/tarvo_6.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/assets/tarvo_6.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)
  endif()
endif()

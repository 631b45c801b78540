# `cmake --install`: the executable, the logo and the catalog in one folder,
# as the program finds them in its working directory. On Linux the desktop
# entry starts it in that folder, with its icon under share/. The packages
# (the .deb and the Windows zip) also carry the training kit: dispenser-sim
# and a launcher that starts it with the tool connected to it.
include(GNUInstallDirs)
option(TARVO_USER_FOLDER "Install a tarvo_6 command that runs the program in a per-user folder" OFF)
if(WIN32)
  set(TARVO_INSTALL_DIR "." CACHE STRING "Folder under the prefix for tarvo_6 and its files")
else()
  set(TARVO_INSTALL_DIR "${CMAKE_INSTALL_LIBDIR}/tarvo_6" CACHE STRING
      "Folder under the prefix for tarvo_6 and its files")
endif()

if(TARGET tarvo_6)
  install(TARGETS tarvo_6 RUNTIME DESTINATION ${TARVO_INSTALL_DIR})
  if(TARGET tarvo_6_console)
    install(TARGETS tarvo_6_console RUNTIME DESTINATION ${TARVO_INSTALL_DIR})
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/assets/qv.bmp DESTINATION ${TARVO_INSTALL_DIR})
  install(FILES ${CMAKE_BINARY_DIR}/ru/tarvo_6.mo DESTINATION ${TARVO_INSTALL_DIR}/ru)
  if(UNIX AND TARVO_USER_FOLDER)
    # A system-wide installation (the .deb): the folder under the prefix is
    # not the user's to write, so the tarvo_6 command, and the desktop entry
    # through it, start the program in a folder of the user's own.
    install(CODE "
      set(folder \"\${CMAKE_INSTALL_PREFIX}/${TARVO_INSTALL_DIR}\")
      configure_file(\"${PROJECT_SOURCE_DIR}/assets/tarvo_6-launcher.sh.in\"
                     \"${CMAKE_BINARY_DIR}/launcher/tarvo_6\" @ONLY)
      set(at @)   # the marker spelt out: install scripts expand @VAR@ themselves
      file(READ \"${PROJECT_SOURCE_DIR}/assets/tarvo_6.desktop.in\" entry)
      string(REPLACE \"Path=\${at}folder\${at}\\n\" \"\" entry \"\${entry}\")
      string(REPLACE \"\${at}folder\${at}\" \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\"
             entry \"\${entry}\")
      file(WRITE \"${CMAKE_BINARY_DIR}/tarvo_6.desktop\" \"\${entry}\")")
    install(PROGRAMS ${CMAKE_BINARY_DIR}/launcher/tarvo_6 DESTINATION ${CMAKE_INSTALL_BINDIR})
    # The training kit: dispenser-sim as a command of its own, and a second
    # desktop entry whose launcher starts it with the tool.
    install(TARGETS dispenser-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(CODE "
      set(folder \"\${CMAKE_INSTALL_PREFIX}/${TARVO_INSTALL_DIR}\")
      set(bindir \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
      configure_file(\"${PROJECT_SOURCE_DIR}/assets/tarvo_6-training.sh.in\"
                     \"${CMAKE_BINARY_DIR}/launcher/tarvo_6-training\" @ONLY)
      configure_file(\"${PROJECT_SOURCE_DIR}/assets/tarvo_6-training.desktop.in\"
                     \"${CMAKE_BINARY_DIR}/tarvo_6-training.desktop\" @ONLY)")
    install(PROGRAMS ${CMAKE_BINARY_DIR}/launcher/tarvo_6-training DESTINATION ${TARVO_INSTALL_DIR})
    install(FILES ${CMAKE_BINARY_DIR}/tarvo_6-training.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    include(${PROJECT_SOURCE_DIR}/cmake/TarvoManPages.cmake)
  elseif(UNIX)
    # Path= makes the install folder the working directory; the absolute
    # folder is written when the entry is installed, so DESTDIR and a prefix
    # given to `cmake --install --prefix` both come out right.
    install(CODE "
      set(folder \"\${CMAKE_INSTALL_PREFIX}/${TARVO_INSTALL_DIR}\")
      configure_file(\"${PROJECT_SOURCE_DIR}/assets/tarvo_6.desktop.in\"
                     \"${CMAKE_BINARY_DIR}/tarvo_6.desktop\" @ONLY)")
  endif()
  if(WIN32)
    # The training kit of the zip: training.cmd starts dispenser-sim's TCP
    # server and the tool connected to it, in a folder of their own.
    install(TARGETS dispenser-sim RUNTIME DESTINATION ${TARVO_INSTALL_DIR})
    install(FILES ${PROJECT_SOURCE_DIR}/assets/training.cmd ${PROJECT_SOURCE_DIR}/assets/training.ini
            DESTINATION ${TARVO_INSTALL_DIR})
  endif()
  if(UNIX)
    install(FILES ${CMAKE_BINARY_DIR}/tarvo_6.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/assets/tarvo_6.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)
  endif()
endif()

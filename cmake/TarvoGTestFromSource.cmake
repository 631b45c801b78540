# GoogleTest for a cross build: Debian ships the sources (package googletest)
# but only host libraries, so the target's copy is built here from them. Gives
# the same GTest::gtest and GTest::gtest_main targets (googletest defines
# them itself) as find_package(GTest).
set(TARVO_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for the target")
if(NOT EXISTS ${TARVO_GTEST_SOURCE}/googletest/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${TARVO_GTEST_SOURCE} (Debian package googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${TARVO_GTEST_SOURCE}/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

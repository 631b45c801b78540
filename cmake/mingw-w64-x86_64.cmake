# Cross-builds the tool for 64-bit Windows with Debian's mingw-w64.
# The -posix compilers carry the winpthreads thread model: the default win32
# model has no std::thread or std::mutex, which the tick service needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TARVO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TARVO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TARVO_MINGW_PREFIX}-windres)

# Libraries and packages come from the target's own tree only; build tools
# (msgfmt, the shell) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TARVO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs (and the tests' DLLs) carry the C++ runtime and winpthreads
# inside, so they run on a bare Windows (or Wine) without the compiler's DLLs
# beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# A DLL exports its own functions only, not the runtime linked into it.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -Wl,--exclude-libs,libgcc.a:libgcc_eh.a:libstdc++.a:libwinpthread.a")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -Wl,--exclude-libs,libgcc.a:libgcc_eh.a:libstdc++.a:libwinpthread.a")

# Test programs (and GoogleTest's listing of them) run under Wine, in a prefix
# of the build's own, through tests/wine/run-under-wine.sh, which keeps Wine's
# errors in the output and names the status of a program that printed nothing.
# Wine keeps helper processes (wineserver and its services) that hold on to
# the output pipes of whoever started them first: scripts/test-windows.sh
# starts them before the build and stops them after.
set(TARVO_WINE /usr/lib/wine/wine64 CACHE FILEPATH "Wine loader for 64-bit programs")
set(TARVO_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix the tests run in")
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../tests/wine/run-under-wine.sh ${TARVO_WINE} ${TARVO_WINEPREFIX})

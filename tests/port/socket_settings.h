// The settings every socket of the transport carries, read back through the
// platform's own calls: keep-alive on and the Nagle delay off; on POSIX also
// non-blocking and closed on exec (Winsock cannot be asked whether a socket
// blocks: a test sees it in an accept that returns at once).
// socket_settings_posix.cpp, socket_settings_win32.cpp.
#pragma once
#include <cstdint>

void ExpectTransportSettings(int32_t sock);

// What only a Windows serial test asks of its peer: a Windows program cannot
// look at the termios of the pty behind its COM port, so the pty peer
// service (tests/wine/pty_peer_service.cpp) reads them for it.
#pragma once
#include <string>

#include "tests/support/pty_pair.h"

// The pty's line as "<baud> <data bits> <N|E|O> <stop bits> <flow>", for
// example "4800 8 N 1 none"; "" when the service cannot be asked.
std::string PeerLineSettings(PtyPair& pty);

// True inside Wine, which does not enforce exclusive opens of a device.
bool RunningUnderWine();

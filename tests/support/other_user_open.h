// Whether another user could open a device now: a serial device left in
// exclusive mode refuses everyone but root, so as root the open is tried as
// user nobody. POSIX only.
#pragma once
#include <string>

// Opens the device in a child process (as nobody when run as root, the device
// made readable to them first): 0 when it opens, 1 when it does not.
int OpenAsOrdinaryUser(const std::string& device);

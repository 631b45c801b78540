#include "port/port_log.h"

#include <cstdio>

#include "util/regular_file.h"

// Stored as CP866 bytes, the code page of the log, so no conversion happens
// at run time whatever the locale.
const unsigned char kPortLogEntry[kPortLogEntrySize] = {
    0x0D, 0x0A,
    0x82, 0xE5, 0xAE, 0xA4,                                // Вход
    0x20, 0xA2, 0x20,                                      // " в "
    0xAF, 0xE0, 0xAE, 0xA3, 0xE0, 0xA0, 0xAC, 0xAC, 0xE3,  // программу
    0x0D, 0x0A,
};

namespace {
std::FILE* logFile = nullptr;
}

void PortLogOpen() {
  if (logFile != nullptr) return;
  // A FIFO or device in its place is left alone: it could block the start.
  logFile = OpenRegularFile("port.out", "ab");
  if (logFile == nullptr) return;
  std::fwrite(kPortLogEntry, 1, kPortLogEntrySize, logFile);
  // Flushed at once: a run that ends in a crash still leaves its entry.
  std::fflush(logFile);
}

void PortLogClose() {
  if (logFile == nullptr) return;
  std::fclose(logFile);
  logFile = nullptr;
}

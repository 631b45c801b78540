// port.out in the working directory: every start of the port layer appends
// one program-entry text, so the file records each run of the tool.
#pragma once

// Opens port.out for appending and writes the entry text. When the file cannot
// be opened the log simply stays closed; the port layer works the same.
void PortLogOpen();
// Closes the file; writes nothing.
void PortLogClose();

// The entry text: CR LF, "Вход в программу" in code page CP866, CR LF.
constexpr int kPortLogEntrySize = 20;
extern const unsigned char kPortLogEntry[kPortLogEntrySize];

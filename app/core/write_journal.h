// Write's side of the calibration journal: each change is recorded before it
// is sent ("sending") and again with its outcome. Every function returns false,
// after showing why, when the journal could not be written: Write then sends
// nothing more.
#pragma once
#include <cstdint>
#include <functional>

#include "app/core/controller_state.h"

// The result a line is written with before its frame goes (not a link result).
constexpr int kJournalSending = 0;
// The result of a write not sent because the port has connected anew since
// Read (not a link result either).
constexpr int kNotSentOtherConnection = -7;

// Opens the journal for a Write that is about to change something. Lines
// opened implicitly by the functions below if this was not called.
bool JournalOpenForWrite();
// One Write's journal: the controller it writes to (as Read left it), the port
// it is reached over, and where a failure to record is told. Closes the
// journal at the end of the Write.
struct JournalWriteScope {
  JournalWriteScope(const ControllerState& state, uint16_t port,
                    std::function<void(const char*)> alert);
  ~JournalWriteScope();
  JournalWriteScope(const JournalWriteScope&) = delete;
  JournalWriteScope& operator=(const JournalWriteScope&) = delete;
};

// Variants 0 and 1: nozzle n's record as read and as computed (19 bytes each).
bool JournalRecord(int n, const char* entered, const uint8_t* before, const uint8_t* after,
                   int result);
// Variant 2: the calibration message (nozzle, value, date) for nozzle n.
bool JournalShortMessage(int n, const char* entered, const uint8_t* message, int result);
// The common calibration counter; date (day, month, year % 100) or nullptr.
bool JournalCounter(uint16_t before, uint16_t after, const uint8_t* date, int result);
bool JournalCommit(int result);
// The end of a Write that stopped after frames went out: what became of each
// nozzle, the counter and the commit.
bool JournalAbandoned(const char* what);
// A refused password with the controller's error code (-1: none read).
bool JournalPasswordRefused(int errorCode);

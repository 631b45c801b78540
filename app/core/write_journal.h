// Write's side of the calibration journal: each change is recorded before it
// is sent ("sending") and again with its outcome. Every recording returns
// false, after telling why, when the journal could not be written: Write then
// sends nothing more.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "app/core/calibration_journal.h"
#include "app/core/controller_state.h"

// The result a line is written with before its frame goes (not a link result).
constexpr int kJournalSending = 0;
// The result of a write not sent because the port has connected anew since
// Read (not a link result either).
constexpr int kNotSentOtherConnection = -7;

// One Write's journal: the controller it writes to (as Read left it), the port
// it is reached over, and where a failure to record is told. The journal file
// is opened by the first line (or openForWrite) and closed when the Write's
// journal ends.
class WriteJournal {
 public:
  WriteJournal(const ControllerState& state, uint16_t port,
               std::function<void(const char*)> alert);
  ~WriteJournal();
  WriteJournal(const WriteJournal&) = delete;
  WriteJournal& operator=(const WriteJournal&) = delete;

  // Opens the journal for a Write that is about to change something.
  bool openForWrite();
  // Variants 0 and 1: nozzle n's record as read and as computed (19 bytes each).
  bool record(int n, const char* entered, const uint8_t* before, const uint8_t* after,
              int result);
  // Variant 2: the calibration message (nozzle, value, date) for nozzle n.
  bool shortMessage(int n, const char* entered, const uint8_t* message, int result);
  // The common calibration counter; date (day, month, year % 100) or nullptr.
  bool counter(uint16_t before, uint16_t after, const uint8_t* date, int result);
  bool commit(int result);
  // The end of a Write that stopped after frames went out: what became of
  // each nozzle, the counter and the commit.
  bool abandoned(const char* what);
  // A refused password with the controller's error code (-1: none read).
  bool passwordRefused(int errorCode);

 private:
  bool fail(const std::string& reason);
  JournalLine lineOf(const char* event, int result) const;
  bool append(const JournalLine& line);

  CalibrationJournal journal_;
  const ControllerState& written_;
  uint16_t port_;
  std::function<void(const char*)> tell_;
};

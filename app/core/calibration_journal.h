// The calibration journal: calibration-journal.csv in the working folder,
// beside port.out. Every change Write makes to a controller is recorded here
// before it is sent, and its outcome after, so the station, the engineer and
// an inspector can see afterwards what was changed, from what, to what, and
// whether the controller took it. The file is only ever appended to; each line
// is on the disk before the next frame goes out.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>

#include "store/append_file.h"

constexpr const char* kCalibrationJournalFile = "calibration-journal.csv";

// One line. Numbers are decimal integers (K and K2 as the 40-bit values of
// the record); fields that do not apply stay empty.
struct JournalLine {
  std::string time;      // local, with its UTC offset: 2026-12-08T13:25:12+03:00
  std::string port;
  int address = 0;       // link address, written in hex as the operator types it
  int variant = 0;
  std::string event;     // "nozzle", "counter", "commit", "password"
  int nozzle = 0;        // 1-based; 0 = none
  std::string entered;   // the text the operator entered
  std::string kBefore, k2Before, kAfter, k2After;
  std::string countBefore, countAfter;
  std::string date;      // dd.mm.yy, when the write carries a date
  std::string outcome;   // "sending", then "written", "refused by the controller", ...
};

// Local time with its offset from UTC, to the second.
std::string JournalTime(std::time_t when);

class CalibrationJournal {
 public:
  explicit CalibrationJournal(std::string path = kCalibrationJournalFile)
      : path_(std::move(path)) {}

  // Opens for appending; writes the header into a new (or empty) file and
  // ends a last line cut short by a crash. False with the reason when the
  // journal cannot be written.
  bool open(std::string* error);
  bool isOpen() const { return file_.isOpen(); }
  // Appends the line and syncs it to the disk.
  bool append(const JournalLine& line, std::string* error);
  void close() { file_.close(); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  AppendFile file_;
};

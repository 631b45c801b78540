#include "app/core/calibration_journal.h"

#include <cstdio>

#include "app/core/system_error_text.h"
#include "store/csv_line.h"

namespace {

const std::vector<std::string> kHeader = {
    "time",     "port",      "address",      "variant",     "event",
    "nozzle",   "entered",   "k_before",     "k2_before",   "k_after",
    "k2_after", "count_before", "count_after", "date",      "outcome"};

std::string hexAddress(int address) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(address) & 0xFFFFFFu);
  return text;
}

// A Write of eight nozzles adds some twenty lines of under 200 bytes.
constexpr int64_t kRoomForOneWrite = 16 * 1024;

// The reason in the operator's words.
bool failed(int code, std::string* error) {
  if (error) *error = SystemErrorText(code);
  return false;
}

}  // namespace

std::string JournalTime(std::time_t when) {
  // Copied at once: both calls hand out the same static buffer. Only the GUI
  // thread dates anything.
  const std::tm local = *std::localtime(&when);
  const std::tm utc = *std::gmtime(&when);
  // The offset from the two broken-down times: portable, where %z is not.
  int dayShift = local.tm_year != utc.tm_year ? (local.tm_year < utc.tm_year ? -1 : 1)
                                              : local.tm_yday - utc.tm_yday;
  const int minutes =
      dayShift * 1440 + (local.tm_hour - utc.tm_hour) * 60 + (local.tm_min - utc.tm_min);
  const int magnitude = minutes < 0 ? -minutes : minutes;
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                local.tm_min, local.tm_sec, minutes < 0 ? '-' : '+', magnitude / 60,
                magnitude % 60);
  return text;
}

bool CalibrationJournal::open(std::string* error) {
  int code = 0;
  if (!file_.open(path_.c_str(), &code)) return failed(code, error);
  std::string start;
  if (file_.sizeAtOpen() == 0) {
    start = CsvLine(kHeader);
  } else {
    uint8_t last = 0;
    if (!file_.lastByte(&last, &code)) {
      file_.close();
      return failed(code, error);
    }
    // A crash while a line was written leaves it without its end (or with
    // only the CR of its CR LF): the next entry starts on a line of its own,
    // and the bytes already there stay as they are.
    if (last == '\r') start = "\n";
    else if (last != '\n') start = "\r\n";
  }
  if ((!start.empty() && !file_.appendAndSync(start, &code)) ||
      !file_.reserve(kRoomForOneWrite, &code)) {
    file_.close();
    return failed(code, error);
  }
  return true;
}

bool CalibrationJournal::append(const JournalLine& l, std::string* error) {
  auto number = [](int n) { return n ? std::to_string(n) : std::string(); };
  int code = 0;
  if (file_.appendAndSync(
          CsvLine({l.time, l.port, hexAddress(l.address), std::to_string(l.variant), l.event,
                   number(l.nozzle), l.entered, l.kBefore, l.k2Before, l.kAfter, l.k2After,
                   l.countBefore, l.countAfter, l.date, l.outcome}),
          &code))
    return true;
  return failed(code, error);
}

#include "app/core/write_journal.h"

#include <cstdio>
#include <string>
#include <utility>

#include "app/catalog/catalog.h"
#include "app/core/calibration_journal.h"
#include "app/core/coefficient_math.h"
#include "link/trk_result.h"
#include "port/port.h"

namespace {

uint64_t fortyBits(const uint8_t* low4, uint8_t high) {
  uint64_t v = high;
  for (int k = 3; k >= 0; --k) v = v << 8 | low4[k];
  return v;
}

std::string outcomeOf(int result) {
  switch (result) {
    case kJournalSending: return "sending";
    case kTrkDone: return "written";
    case kTrkRefused: return "refused by the controller";
    case kTrkMalformedReply: return "malformed reply";
    case kTrkNoReply: return "no reply";
    case kTrkFailed: return "controller error";
    case kNotSentOtherConnection: return "not sent: the port connected anew since Read";
    default: return "failed (result " + std::to_string(result) + ")";
  }
}

std::string dateText(const uint8_t* dmy) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d.%02d.%02d", dmy[0], dmy[1], dmy[2]);
  return text;
}

}  // namespace

WriteJournal::WriteJournal(const ControllerState& state, uint16_t port,
                           std::function<void(const char*)> alert)
    : written_(state), port_(port), tell_(std::move(alert)) {}

WriteJournal::~WriteJournal() { journal_.close(); }

bool WriteJournal::fail(const std::string& reason) {
  char text[512];
  std::snprintf(text, sizeof text,
                tr("Cannot write the calibration journal %s (%s): nothing more is sent to the "
                   "controller"),
                journal_.path().c_str(), reason.c_str());
  if (tell_) tell_(text);
  return false;
}

JournalLine WriteJournal::lineOf(const char* event, int result) const {
  JournalLine l;
  l.time = JournalTime(std::time(nullptr));
  l.port = PortNameOf(port_);
  l.address = written_.address;
  l.variant = written_.variant;
  l.event = event;
  l.outcome = outcomeOf(result);
  return l;
}

bool WriteJournal::append(const JournalLine& line) {
  std::string reason;
  if (!journal_.isOpen() && !journal_.open(&reason)) return fail(reason);
  if (journal_.append(line, &reason)) return true;
  journal_.close();
  return fail(reason);
}

bool WriteJournal::openForWrite() {
  std::string reason;
  if (journal_.isOpen() || journal_.open(&reason)) return true;
  return fail(reason);
}

bool WriteJournal::record(int n, const char* entered, const uint8_t* before,
                          const uint8_t* after, int result) {
  JournalLine l = lineOf("nozzle", result);
  l.nozzle = n;
  l.entered = entered;
  l.kBefore = std::to_string(fortyBits(before, before[4]));
  l.k2Before = std::to_string(fortyBits(before + 5, before[9]));
  l.kAfter = std::to_string(fortyBits(after, after[4]));
  l.k2After = std::to_string(fortyBits(after + 5, after[9]));
  l.countBefore = std::to_string(CalibrationCount(before));
  l.countAfter = std::to_string(CalibrationCount(after));
  return append(l);
}

// The controller computes the coefficient itself: what is known before is its
// short record, and what goes is the value (three decimals) with the date.
bool WriteJournal::shortMessage(int n, const char* entered, const uint8_t* message, int result) {
  JournalLine l = lineOf("nozzle", result);
  const uint8_t* shortRecord = written_.shortCalibration[n - 1];
  l.nozzle = n;
  l.entered = entered;
  l.kBefore = std::to_string(fortyBits(shortRecord, shortRecord[11]));
  const int value = message[1] | message[2] << 8;
  char text[16];
  std::snprintf(text, sizeof text, "%d.%03d", value / 1000, value % 1000);
  l.kAfter = text;
  l.countBefore = std::to_string(ShortRecordNumber(shortRecord));
  l.date = dateText(message + 3);
  return append(l);
}

bool WriteJournal::counter(uint16_t before, uint16_t after, const uint8_t* date, int result) {
  JournalLine l = lineOf("counter", result);
  l.countBefore = std::to_string(before);
  l.countAfter = std::to_string(after);
  if (date) l.date = dateText(date);
  return append(l);
}

bool WriteJournal::commit(int result) { return append(lineOf("commit", result)); }

bool WriteJournal::abandoned(const char* what) {
  JournalLine l = lineOf("write", kJournalSending);
  l.outcome = what;
  return append(l);
}

bool WriteJournal::passwordRefused(int errorCode) {
  const char* outcome = "password refused";
  if (errorCode == 0x5B) outcome = "wrong password";
  if (errorCode == 0x5C) outcome = "password entry locked";
  if (errorCode == 0x58) outcome = "key off";
  JournalLine l = lineOf("password", kTrkRefused);
  l.outcome = outcome;
  return append(l);
}

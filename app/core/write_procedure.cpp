// Write: send the password when the controller wants one, write the record of
// every nozzle the operator changed, advance the calibration counter and date,
// and commit. What is sent here recalibrates the dispenser.
#include "app/core/write_procedure.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/catalog.h"
#include "app/core/coefficient_entry.h"
#include "app/core/coefficient_math.h"
#include "app/core/poll.h"
#include "app/core/read_procedure.h"
#include "app/core/write_journal.h"
#include "link/trk.h"
#include "port/port.h"
#include "util/parse_fixed.h"

namespace {

constexpr int kBank0 = 0;
constexpr int kBank2 = 2;

struct LocalDate {
  uint8_t day, month, year;   // year modulo 100
};
LocalDate Today() {
  const std::time_t now = std::time(nullptr);
  const std::tm* t = std::localtime(&now);
  return {static_cast<uint8_t>(t->tm_mday), static_cast<uint8_t>(t->tm_mon + 1),
          static_cast<uint8_t>(t->tm_year % 100)};
}

enum class NozzleOutcome { kSkipped, kWritten, kStop };

// One run of Write over one link.
class Writer {
 public:
  Writer(Trk& link, ControllerState& state, WriteOperator& op) : link_(link), c_(state), op_(op) {}
  void run();

 private:
  int writeMemory(int address, int bank, const uint8_t* data, int size);
  int explainRefusal();
  bool sendPassword(bool journaling);
  NozzleOutcome recordWriteFailed(int result);
  NozzleOutcome writeCalibrationRecord(int i, long double x, const char* text);
  NozzleOutcome writeShortCalibration(int n, const char* text);
  NozzleOutcome writeNozzle(int n);
  bool advanceCounter();
  bool somethingToWrite();

  Trk& link_;
  ControllerState& c_;
  WriteOperator& op_;
};

int Writer::writeMemory(int address, int bank, const uint8_t* data, int size) {
  // A TCP port whose peer went and came back (or was replaced) since Read may
  // now reach another controller: nothing more goes, and the write fails.
  if (PortConnection(static_cast<uint16_t>(link_.port)) != c_.readConnection) {
    return kNotSentOtherConnection;
  }
  return PollUntilDone([&] { return link_.writeBlock(address, bank, data, size); });
}

// The controller refused the password: its error record says why. Returns
// the error code, or -1 when the record did not come.
int Writer::explainRefusal() {
  if (PollUntilDone([this] { return link_.readErrorRecord(); }) != kTrkDone) return -1;
  switch (link_.lastError) {
    case 0x5B: op_.alert(tr("Wrong password")); break;
    case 0x5C: op_.alert(tr("Password entry locked")); break;
    case 0x58: op_.alert(tr("Turn the configuration key on")); break;
    default: break;
  }
  return link_.lastError;
}

// 1 unless the controller refused the password (then the reason is shown).
// journaling: the journal is open for this Write (it is about to change
// something), so a refusal is recorded.
bool Writer::sendPassword(bool journaling) {
  const uint16_t password = static_cast<uint16_t>(std::atoi(op_.passwordText()));
  uint8_t bytes[2];
  int result;
  if (c_.variant == 2) {
    bytes[0] = static_cast<uint8_t>(password);
    bytes[1] = static_cast<uint8_t>(password >> 8);
    result = writeMemory(kShortPasswordAddress, kBank2, bytes, 2);
  } else {
    // Two decimal halves: 1234 goes as 12 and 34.
    bytes[0] = static_cast<uint8_t>(password / 100);
    bytes[1] = static_cast<uint8_t>(password % 100);
    result = writeMemory(kPasswordAddress, kBank0, bytes, 2);
  }
  if (result == kTrkRefused) {
    const int code = explainRefusal();
    if (journaling) JournalPasswordRefused(code);   // [journal]
    return false;
  }
  return true;
}

// Shows what a failed record write means; the run stops either way.
NozzleOutcome Writer::recordWriteFailed(int result) {
  op_.alert(result == kTrkRefused ? tr("Please turn on the settings key")
                               : tr("Cannot set parameters. Check connection"));
  return NozzleOutcome::kStop;
}

// Variants 0 and 1: the new record is built in a copy and kept only once the
// controller took it, so a failed write never leaves a coefficient in the
// state that the controller does not hold (a retry would apply it twice).
// Every byte sent is one Read took from the controller or one computed from
// those: on variant 1 the twentieth is the byte after the record, read with
// it and sent back as it was.
NozzleOutcome Writer::writeCalibrationRecord(int i, long double x, const char* text) {
  const int size = CalibrationTransferSize(c_.variant);
  uint8_t record[kVariantOneRecordSpan];
  std::memcpy(record, c_.calibration[i], static_cast<size_t>(size));

  // A variant-1 record counted past 9998 is written back as it is.
  if (!(c_.variant == 1 && CalibrationCount(record) > 9998)) {
    switch (RecalculateCoefficients(record, x)) {
      case Recalculation::kDone: break;
      case Recalculation::kNoResetDivisor:
        op_.alert(tr("Cannot reset the coefficient: the reset divisor is 0"));
        return NozzleOutcome::kSkipped;
      case Recalculation::kOutOfRange:
        op_.alert(tr("Wrong value entered"));
        return NozzleOutcome::kSkipped;
    }
  }
  if (!JournalRecord(i + 1, text, c_.calibration[i], record, kJournalSending))   // [journal]
    return NozzleOutcome::kStop;
  const int result = writeMemory(CalibrationRecordAddress(i, c_.nozzleCount, c_.groupIndex),
                                 kBank0, record, size);
  const bool journaled = JournalRecord(i + 1, text, c_.calibration[i], record, result);  // [journal]
  if (result != kTrkDone) return recordWriteFailed(result);

  std::memcpy(c_.calibration[i], record, static_cast<size_t>(size));
  op_.recordWritten(i);
  // Written, but its outcome is not on record: nothing more goes.
  return journaled ? NozzleOutcome::kWritten : NozzleOutcome::kStop;
}

// Variant 2: the controller computes the coefficient itself from the value
// with three decimals, sent with the nozzle number and the date.
NozzleOutcome Writer::writeShortCalibration(int n, const char* text) {
  const uint16_t value = static_cast<uint16_t>(ParseFixed(text, 3));
  const LocalDate today = Today();
  const uint8_t message[6] = {static_cast<uint8_t>(n), static_cast<uint8_t>(value),
                              static_cast<uint8_t>(value >> 8), today.day, today.month,
                              today.year};
  if (!JournalShortMessage(n, text, message, kJournalSending)) return NozzleOutcome::kStop;  // [journal]
  const int result = writeMemory(kShortCalibrationMessageAddress, kBank2, message, 6);
  const bool journaled = JournalShortMessage(n, text, message, result);   // [journal]
  if (result != kTrkDone) return recordWriteFailed(result);
  return journaled ? NozzleOutcome::kWritten : NozzleOutcome::kStop;
}

NozzleOutcome Writer::writeNozzle(int n) {
  const int i = n - 1;
  const char* text = op_.entryText(i);
  const EntryDecision decision = DecideEntry(text, op_.edited(i), c_.variant, LastVolume[i]);
  switch (decision.action) {
    case EntryAction::kSkip: return NozzleOutcome::kSkipped;
    case EntryAction::kNoVolume: op_.alert(tr("Error!")); return NozzleOutcome::kSkipped;
    case EntryAction::kWrongValue:
      op_.alert(tr("Wrong value entered"));
      return NozzleOutcome::kSkipped;
    case EntryAction::kWrite: break;
  }
  if (c_.variant == 2) return writeShortCalibration(n, text);
  // Typed over the "???" of a record that did not come: its buffer holds
  // zeros, and a coefficient computed from them would wipe the controller's.
  if (!c_.recordRead[i]) {
    op_.alert(tr("Cannot set parameters. Check connection"));
    return NozzleOutcome::kSkipped;
  }
  return writeCalibrationRecord(i, decision.x, text);
}

// Advances the calibration counter (variant 1: with today's date) in the
// common block; a failed write takes the increment back.
bool Writer::advanceCounter() {
  const uint16_t counter = CommonCounter(c_);
  SetCommonCounter(c_, static_cast<uint16_t>(counter + 1));
  int size = 2;
  if (c_.variant == 1) {
    const LocalDate today = Today();
    c_.commonBlock[3] = today.day;
    c_.commonBlock[4] = today.month;
    c_.commonBlock[5] = today.year;
    size = 5;
  }
  const uint8_t* date = c_.variant == 1 ? c_.commonBlock + 3 : nullptr;
  if (!JournalCounter(counter, CommonCounter(c_), date, kJournalSending)) {   // [journal]
    SetCommonCounter(c_, counter);
    return false;
  }
  const int result =
      writeMemory(CommonBlockAddress(c_.groupIndex) + 1, kBank0, c_.commonBlock + 1, size);
  const bool journaled = JournalCounter(counter, CommonCounter(c_), date, result);   // [journal]
  if (result == kTrkDone) return journaled;
  const uint16_t advanced = CommonCounter(c_);
  SetCommonCounter(c_, advanced == 0 ? 9999 : static_cast<uint16_t>(advanced - 1));
  op_.alert(tr("Error writing parameters block #2"));
  return false;
}

// Whether some nozzle's entry asks for a write, decided silently as
// writeNozzle will decide it: only then is the journal opened, so a Write that
// changes nothing leaves no trace in it.
bool Writer::somethingToWrite() {
  const int rows = NozzleRecordsRead(c_);
  for (int i = 0; i < rows; ++i) {
    const EntryDecision decision = DecideEntry(op_.entryText(i), op_.edited(i), c_.variant,
                                               LastVolume[i]);
    if (decision.action == EntryAction::kWrite) return true;
  }
  return false;
}

void Writer::run() {
  // Nothing, not even the password, reaches a controller whose data this
  // program has not read: what the buffers hold may be another controller's.
  if (!ReadIsCurrentFor(c_, link_)) {
    op_.alert(ReadFirstMessage());
    return;
  }
  // The counter is advanced from the common block Read took; when that read
  // failed the buffer holds zeros, and the controller's counter would be
  // replaced by 1. No record is written until a Read has the block.
  if (c_.variant != 2 && !c_.commonBlockRead) {
    op_.alert(tr("Cannot set parameters. Check connection"));
    return;
  }
  // A change that cannot be recorded is not made: the journal must be
  // writable before the first frame (the password) goes.
  JournalWriteScope journal(c_, static_cast<uint16_t>(link_.port),
                            [this](const char* text) { op_.alert(text); });   // [journal]
  const bool journaling = somethingToWrite();
  if (journaling && !JournalOpenForWrite()) return;
  if ((c_.passwordState[0] & 0x02) && !sendPassword(journaling)) return;
  if (c_.nozzleCount == 0) return;

  const int rows = NozzleRecordsRead(c_);
  bool written = false;
  for (int n = 1; n <= rows; ++n) {
    const NozzleOutcome outcome = writeNozzle(n);
    if (outcome == NozzleOutcome::kStop) return;
    if (outcome == NozzleOutcome::kWritten) written = true;
  }
  if (!written) return;

  SleepMs(100);
  if (c_.variant != 2 && !advanceCounter()) return;
  SleepMs(50);
  op_.counterWritten();

  const uint8_t commit = kCommitByte;
  if (!JournalCommit(kJournalSending)) return;   // [journal]
  // The controller's answer to the commit changes nothing here, but it is on record.
  JournalCommit(writeMemory(kCommitAddress, kBank0, &commit, 1));   // [journal]

  if (c_.variant == 2) {
    SleepMs(2000);
    op_.readAgain();
  }
}

}  // namespace

const char* ReadFirstMessage() {
  return tr("Nothing written: read the controller first. The values shown were not "
            "read from the controller now connected.");
}

void WriteCalibration(Trk& link, ControllerState& state, WriteOperator& op) {
  Writer(link, state, op).run();
}

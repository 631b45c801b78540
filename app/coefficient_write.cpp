// Write: send the password when the controller wants one, write the record of
// every nozzle the operator changed, advance the calibration counter and date,
// and commit. What is sent here recalibrates the dispenser.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/alert.h"
#include "app/catalog.h"
#include "app/coefficient_entry.h"
#include "app/coefficient_math.h"
#include "app/controller_state.h"
#include "app/controller_view.h"
#include "app/main_form.h"
#include "app/poll.h"
#include "app/procedures.h"
#include "app/program_end.h"
#include "app/read_trust.h"
#include "app/write_journal.h"
#include "link/trk.h"
#include "util/parse_fixed.h"

namespace {

constexpr int kBank0 = 0;
constexpr int kBank2 = 2;
constexpr int kRefused = -3;

int WriteMemory(int address, int bank, const uint8_t* data, int size) {
  return PollUntilDone([&] { return AppLink->writeBlock(address, bank, data, size); });
}

struct LocalDate {
  uint8_t day, month, year;   // year modulo 100
};
LocalDate Today() {
  const std::time_t now = std::time(nullptr);
  const std::tm* t = std::localtime(&now);
  return {static_cast<uint8_t>(t->tm_mday), static_cast<uint8_t>(t->tm_mon + 1),
          static_cast<uint8_t>(t->tm_year % 100)};
}

// The controller refused the password: its error record says why. Returns
// the error code, or -1 when the record did not come.
int ExplainRefusal() {
  if (PollUntilDone([] { return AppLink->readErrorRecord(); }) != 1) return -1;
  switch (AppLink->lastError) {
    case 0x5B: ShowAlert(tr("Wrong password")); break;
    case 0x5C: ShowAlert(tr("Password entry locked")); break;
    case 0x58: ShowAlert(tr("Turn the configuration key on")); break;
    default: break;
  }
  return AppLink->lastError;
}

// 1 unless the controller refused the password (then the reason is shown).
// journaling: the journal is open for this Write (it is about to change
// something), so a refusal is recorded.
bool SendPassword(bool journaling) {
  const uint16_t password = static_cast<uint16_t>(std::atoi(MainForm->passwordInput->value()));
  uint8_t bytes[2];
  int result;
  if (Controller.variant == 2) {
    bytes[0] = static_cast<uint8_t>(password);
    bytes[1] = static_cast<uint8_t>(password >> 8);
    result = WriteMemory(kShortPasswordAddress, kBank2, bytes, 2);
  } else {
    // Two decimal halves: 1234 goes as 12 and 34.
    bytes[0] = static_cast<uint8_t>(password / 100);
    bytes[1] = static_cast<uint8_t>(password % 100);
    result = WriteMemory(kPasswordAddress, kBank0, bytes, 2);
  }
  if (result == kRefused) {
    const int code = ExplainRefusal();
    if (journaling) JournalPasswordRefused(code);   // [journal]
    return false;
  }
  return true;
}

enum class NozzleOutcome { kSkipped, kWritten, kStop };

// Shows what a failed record write means; the run stops either way.
NozzleOutcome RecordWriteFailed(int result) {
  ShowAlert(result == kRefused ? tr("Please turn on the settings key")
                               : tr("Cannot set parameters. Check connection"));
  return NozzleOutcome::kStop;
}

// Variants 0 and 1: the new record is built in a copy and kept only once the
// controller took it, so a failed write never leaves a coefficient in the
// state that the controller does not hold (a retry would apply it twice).
// Every byte sent is one Read took from the controller or one computed from
// those: on variant 1 the twentieth is the byte after the record, read with
// it and sent back as it was.
NozzleOutcome WriteCalibrationRecord(int i, long double x, const char* text) {
  ControllerState& c = Controller;
  const int size = CalibrationTransferSize(c.variant);
  uint8_t record[kVariantOneRecordSpan];
  std::memcpy(record, c.calibration[i], static_cast<size_t>(size));

  // A variant-1 record counted past 9998 is written back as it is.
  if (!(c.variant == 1 && CalibrationCount(record) > 9998)) {
    switch (RecalculateCoefficients(record, x)) {
      case Recalculation::kDone: break;
      case Recalculation::kNoResetDivisor:
        ShowAlert(tr("Cannot reset the coefficient: the reset divisor is 0"));
        return NozzleOutcome::kSkipped;
      case Recalculation::kOutOfRange:
        ShowAlert(tr("Wrong value entered"));
        return NozzleOutcome::kSkipped;
    }
  }
  if (!JournalRecord(i + 1, text, c.calibration[i], record, kJournalSending))   // [journal]
    return NozzleOutcome::kStop;
  const int result =
      WriteMemory(CalibrationRecordAddress(i, c.nozzleCount, c.groupIndex), kBank0, record, size);
  const bool journaled = JournalRecord(i + 1, text, c.calibration[i], record, result);  // [journal]
  if (result != 1) return RecordWriteFailed(result);

  std::memcpy(c.calibration[i], record, static_cast<size_t>(size));
  ShowCoefficient(i);
  if (c.variant == 1) ShowNozzleNumber(i);   // the count
  nozzleEdited[i] = 0;
  // Written, but its outcome is not on record: nothing more goes.
  return journaled ? NozzleOutcome::kWritten : NozzleOutcome::kStop;
}

// Variant 2: the controller computes the coefficient itself from the value
// with three decimals, sent with the nozzle number and the date.
NozzleOutcome WriteShortCalibration(int n, const char* text) {
  const uint16_t value = static_cast<uint16_t>(ParseFixed(text, 3));
  const LocalDate today = Today();
  const uint8_t message[6] = {static_cast<uint8_t>(n), static_cast<uint8_t>(value),
                              static_cast<uint8_t>(value >> 8), today.day, today.month,
                              today.year};
  if (!JournalShortMessage(n, text, message, kJournalSending)) return NozzleOutcome::kStop;  // [journal]
  const int result = WriteMemory(kShortCalibrationMessageAddress, kBank2, message, 6);
  const bool journaled = JournalShortMessage(n, text, message, result);   // [journal]
  if (result != 1) return RecordWriteFailed(result);
  return journaled ? NozzleOutcome::kWritten : NozzleOutcome::kStop;
}

NozzleOutcome WriteNozzle(int n) {
  const int i = n - 1;
  const char* text = nozzleCoefficientInputs[n]->value();
  const EntryDecision decision =
      DecideEntry(text, nozzleEdited[i] != 0, Controller.variant, LastVolume[i]);
  switch (decision.action) {
    case EntryAction::kSkip: return NozzleOutcome::kSkipped;
    case EntryAction::kNoVolume: ShowAlert(tr("Error!")); return NozzleOutcome::kSkipped;
    case EntryAction::kWrongValue:
      ShowAlert(tr("Wrong value entered"));
      return NozzleOutcome::kSkipped;
    case EntryAction::kWrite: break;
  }
  if (Controller.variant == 2) return WriteShortCalibration(n, text);
  // Typed over the "???" of a record that did not come: its buffer holds
  // zeros, and a coefficient computed from them would wipe the controller's.
  if (!Controller.recordRead[i]) {
    ShowAlert(tr("Cannot set parameters. Check connection"));
    return NozzleOutcome::kSkipped;
  }
  return WriteCalibrationRecord(i, decision.x, text);
}

// Advances the calibration counter (variant 1: with today's date) in the
// common block; a failed write takes the increment back.
bool AdvanceCounter() {
  ControllerState& c = Controller;
  const uint16_t counter = CommonCounter(c);
  SetCommonCounter(c, static_cast<uint16_t>(counter + 1));
  int size = 2;
  if (c.variant == 1) {
    const LocalDate today = Today();
    c.commonBlock[3] = today.day;
    c.commonBlock[4] = today.month;
    c.commonBlock[5] = today.year;
    size = 5;
  }
  const uint8_t* date = c.variant == 1 ? c.commonBlock + 3 : nullptr;
  if (!JournalCounter(counter, CommonCounter(c), date, kJournalSending)) {   // [journal]
    SetCommonCounter(c, counter);
    return false;
  }
  const int result = WriteMemory(CommonBlockAddress(c.groupIndex) + 1, kBank0, c.commonBlock + 1,
                                 size);
  const bool journaled = JournalCounter(counter, CommonCounter(c), date, result);   // [journal]
  if (result == 1) return journaled;
  const uint16_t advanced = CommonCounter(c);
  SetCommonCounter(c, advanced == 0 ? 9999 : static_cast<uint16_t>(advanced - 1));
  ShowAlert(tr("Error writing parameters block #2"));
  return false;
}

// Whether some nozzle's input asks for a write, decided silently as WriteNozzle
// will decide it: only then is the journal opened, so a Write that changes
// nothing leaves no trace in it.
bool SomethingToWrite() {
  const ControllerState& c = Controller;
  const int rows = c.nozzleCount < kControllerNozzles ? c.nozzleCount : kControllerNozzles;
  for (int i = 0; i < rows; ++i) {
    const EntryDecision decision = DecideEntry(nozzleCoefficientInputs[i + 1]->value(),
                                               nozzleEdited[i] != 0, c.variant, LastVolume[i]);
    if (decision.action == EntryAction::kWrite) return true;
  }
  return false;
}

}  // namespace

void WriteCoefficients() {
  if (TerminationRequested()) return;   // the program is ending: no Write begins
  const WriteUnderway underway;
  ControllerState& c = Controller;
  // Nothing, not even the password, reaches a controller whose data this
  // program has not read: what the buffers hold may be another controller's.
  if (!ReadIsCurrent()) {
    ShowAlert(tr("Nothing written: read the controller first. The values shown were not "
                 "read from the controller now connected."));
    return;
  }
  // The counter is advanced from the common block Read took; when that read
  // failed the buffer holds zeros, and the controller's counter would be
  // replaced by 1. No record is written until a Read has the block.
  if (c.variant != 2 && !c.commonBlockRead) {
    ShowAlert(tr("Cannot set parameters. Check connection"));
    return;
  }
  // A change that cannot be recorded is not made: the journal must be
  // writable before the first frame (the password) goes.
  JournalWriteScope journal;   // [journal]
  const bool journaling = SomethingToWrite();
  if (journaling && !JournalOpenForWrite()) return;
  if ((c.passwordState[0] & 0x02) && !SendPassword(journaling)) return;
  if (c.nozzleCount == 0) return;

  const int rows = c.nozzleCount < kControllerNozzles ? c.nozzleCount : kControllerNozzles;
  bool written = false;
  for (int n = 1; n <= rows; ++n) {
    const NozzleOutcome outcome = WriteNozzle(n);
    if (outcome == NozzleOutcome::kStop) return;
    if (outcome == NozzleOutcome::kWritten) written = true;
  }
  if (!written) return;

  SleepMs(100);
  if (c.variant != 2 && !AdvanceCounter()) return;
  SleepMs(50);
  ShowCommonCounter();

  const uint8_t commit = kCommitByte;
  if (!JournalCommit(kJournalSending)) return;   // [journal]
  // The controller's answer to the commit changes nothing here, but it is on record.
  JournalCommit(WriteMemory(kCommitAddress, kBank0, &commit, 1));   // [journal]

  if (c.variant == 2) {
    SleepMs(2000);
    ReadController();
  }
}

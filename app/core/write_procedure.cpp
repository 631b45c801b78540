// Write: send the password when the controller wants one, write the record of
// every nozzle the operator changed, advance the calibration counter and date,
// and commit. What is sent here recalibrates the dispenser.
#include "app/core/write_procedure.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "app/catalog/catalog.h"
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

// What the controller made of one write.
enum class Taken : uint8_t {
  kNotSent,     // not reached, or not sent
  kNo,          // refused: the controller kept what it had
  kYes,
  kUncertain,   // sent, but the answer was lost or garbled: it may hold it
};
Taken TakenBy(int result) {
  switch (result) {
    case kTrkDone: return Taken::kYes;
    case kTrkRefused:
    case kNotSentOtherConnection: return Taken::kNo;
    default: return Taken::kUncertain;
  }
}
// A write that went out and whose answer did not say whether it was taken
// (kJournalSending: it never went).
bool Uncertain(int result) {
  return result != kJournalSending && TakenBy(result) == Taken::kUncertain;
}

// One nozzle's write, decided and computed before the first frame goes.
struct PlannedWrite {
  int n;                  // 1-based
  const char* text;       // the entry, as the journal records it
  uint8_t bytes[kVariantOneRecordSpan];   // the record (variants 0, 1) or message (2)
  Taken taken;
};

// "1, 3, 4" of the planned writes whose outcome is taken.
std::string NozzleList(const PlannedWrite* writes, int count, Taken taken) {
  std::string list;
  for (int k = 0; k < count; ++k) {
    if (writes[k].taken != taken) continue;
    if (!list.empty()) list += ", ";
    list += std::to_string(writes[k].n);
  }
  return list;
}

std::string Formatted(const char* format, const char* field) {
  char text[256];
  std::snprintf(text, sizeof text, format, field);
  return text;
}

// One run of Write over one link.
class Writer {
 public:
  Writer(Trk& link, ControllerState& state, const int32_t (&lastVolume)[kControllerNozzles],
         WriteOperator& op)
      : link_(link), c_(state), lastVolume_(lastVolume), op_(op) {}
  void run();

 private:
  int writeMemory(int address, int bank, const uint8_t* data, int size);
  int explainRefusal();
  bool sendPassword(bool journaling);
  bool refuse(const char* format, int n);
  bool plan();
  bool planNozzle(int n);
  // The planned write's link result; kJournalSending when it could not be
  // put on record (then nothing more goes).
  int send(PlannedWrite& w);
  int advanceCounter();
  std::string summary(int counter, int commit) const;
  void abandon(const char* reason, int counter, int commit);

  Trk& link_;
  ControllerState& c_;
  const int32_t (&lastVolume_)[kControllerNozzles];
  WriteOperator& op_;
  WriteJournal* journal_ = nullptr;   // this Write's, while run() runs
  PlannedWrite writes_[kControllerNozzles];
  int planned_ = 0;
  bool journalBroken_ = false;
};

int Writer::writeMemory(int address, int bank, const uint8_t* data, int size) {
  // A TCP port whose peer went and came back (or was replaced) since Read may
  // now reach another controller: nothing more goes, and the write fails. The
  // link may wait for the line to settle before its first frame, and a peer
  // may connect meanwhile: asked again before each step that would begin the
  // write, and the link itself sends only over the connection read.
  link_.writeOnlyOver = c_.readConnection;
  const int result = PollUntilDone([&] {
    if (link_.blockState == Trk::kBlockIdle &&
        PortConnection(static_cast<uint16_t>(link_.port)) != c_.readConnection) {
      return kNotSentOtherConnection;
    }
    return link_.writeBlock(address, bank, data, size);
  }, link_.port);
  link_.writeOnlyOver.reset();
  return result;
}

// The controller refused the password: its error record says why. Returns
// the error code, or -1 when the record did not come.
int Writer::explainRefusal() {
  if (PollUntilDone([this] { return link_.readErrorRecord(); }, link_.port) != kTrkDone) return -1;
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
    if (journaling) journal_->passwordRefused(code);   // [journal]
    return false;
  }
  return true;
}

// Tells why nozzle n cannot be written; the Write then sends nothing.
bool Writer::refuse(const char* format, int n) {
  char text[512];
  std::snprintf(text, sizeof text, format, n);
  op_.alert(text);
  return false;
}

// Decides nozzle n's entry and computes what goes. An entry the operator did
// not mean as a value is told and skipped, as each run always did; a nozzle
// that cannot be written refuses the whole Write, so that no Write stops
// halfway on something known before it began.
bool Writer::planNozzle(int n) {
  const int i = n - 1;
  const char* text = op_.entryText(i);
  const EntryDecision decision = DecideEntry(text, op_.edited(i), c_.variant, lastVolume_[i]);
  switch (decision.action) {
    case EntryAction::kSkip: return true;
    case EntryAction::kNoVolume: op_.alert(tr("Error!")); return true;
    case EntryAction::kWrongValue: op_.alert(tr("Wrong value entered")); return true;
    case EntryAction::kWrite: break;
  }
  PlannedWrite& w = writes_[planned_];
  w = PlannedWrite{n, text, {}, Taken::kNotSent};
  if (c_.variant == 2) {
    // The controller computes the coefficient itself from the value with
    // three decimals, sent with the nozzle number and the date.
    const uint16_t value = static_cast<uint16_t>(ParseFixed(text, 3));
    const LocalDate today = Today();
    const uint8_t message[6] = {static_cast<uint8_t>(n), static_cast<uint8_t>(value),
                                static_cast<uint8_t>(value >> 8), today.day, today.month,
                                today.year};
    std::memcpy(w.bytes, message, sizeof message);
    ++planned_;
    return true;
  }
  // Typed over the "???" of a record that did not come: its buffer holds
  // zeros (or another read's late reply), and a coefficient computed from it
  // would wipe the controller's. On variant 1 the same read brought the
  // twentieth byte.
  if (!c_.recordRead[i]) {
    return refuse(tr("Nothing written: the calibration record of nozzle %d was not read. "
                     "Read the controller, then Write again."), n);
  }
  // Every byte sent is one Read took from the controller or one computed from
  // those: on variant 1 the twentieth is the byte after the record, read with
  // it and sent back as it was.
  std::memcpy(w.bytes, c_.calibration[i], static_cast<size_t>(CalibrationTransferSize(c_.variant)));
  // A variant-1 record counted past 9998 is written back as it is.
  if (!(c_.variant == 1 && CalibrationCount(w.bytes) > 9998)) {
    switch (RecalculateCoefficients(w.bytes, decision.x)) {
      case Recalculation::kDone: break;
      case Recalculation::kNoResetDivisor:
        return refuse(tr("Nothing written: the coefficient of nozzle %d cannot be reset, its "
                         "reset divisor is 0."), n);
      case Recalculation::kOutOfRange:
        return refuse(tr("Nothing written: the coefficient computed for nozzle %d does not fit "
                         "its record."), n);
    }
  }
  ++planned_;
  return true;
}

// Every nozzle's write, or false (after saying why) when one cannot be made.
bool Writer::plan() {
  if (c_.nozzleCount == 0) return true;
  const int rows = NozzleRecordsRead(c_);
  for (int n = 1; n <= rows; ++n) {
    if (!planNozzle(n)) return false;
  }
  // The counter is advanced from the common block Read took; when that read
  // failed the buffer holds zeros, and the controller's counter would be
  // replaced by 1.
  if (planned_ > 0 && c_.variant != 2 && !c_.commonBlockRead) {
    op_.alert(tr("Nothing written: the calibration counter was not read. Read the controller, "
                 "then Write again."));
    return false;
  }
  return true;
}

int Writer::send(PlannedWrite& w) {
  const int i = w.n - 1;
  if (c_.variant == 2) {
    if (!journal_->shortMessage(w.n, w.text, w.bytes, kJournalSending)) {   // [journal]
      journalBroken_ = true;
      return kJournalSending;
    }
    const int result = writeMemory(kShortCalibrationMessageAddress, kBank2, w.bytes, 6);
    w.taken = TakenBy(result);
    if (!journal_->shortMessage(w.n, w.text, w.bytes, result)) journalBroken_ = true;  // [journal]
    return result;
  }
  if (!journal_->record(w.n, w.text, c_.calibration[i], w.bytes, kJournalSending)) {   // [journal]
    journalBroken_ = true;
    return kJournalSending;
  }
  const int result = writeMemory(CalibrationRecordAddress(i, c_.nozzleCount, c_.groupIndex),
                                 kBank0, w.bytes, CalibrationTransferSize(c_.variant));
  w.taken = TakenBy(result);
  if (!journal_->record(w.n, w.text, c_.calibration[i], w.bytes, result)) journalBroken_ = true;
  // The state takes a record only once the controller took it, so a failed
  // write never leaves a coefficient there that the controller does not hold
  // (a retry would apply it twice).
  if (result == kTrkDone) {
    std::memcpy(c_.calibration[i], w.bytes, static_cast<size_t>(CalibrationTransferSize(c_.variant)));
    op_.recordWritten(i);
  }
  return result;
}

// Advances the calibration counter (variant 1: with today's date) in the
// common block; a failed write takes the increment back. Returns the link's
// result, or kJournalSending when the journal could not record it.
int Writer::advanceCounter() {
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
  if (!journal_->counter(counter, CommonCounter(c_), date, kJournalSending)) {   // [journal]
    SetCommonCounter(c_, counter);
    journalBroken_ = true;
    return kJournalSending;
  }
  const int result =
      writeMemory(CommonBlockAddress(c_.groupIndex) + 1, kBank0, c_.commonBlock + 1, size);
  if (!journal_->counter(counter, CommonCounter(c_), date, result)) journalBroken_ = true;
  if (result != kTrkDone) {
    const uint16_t advanced = CommonCounter(c_);
    SetCommonCounter(c_, advanced == 0 ? 9999 : static_cast<uint16_t>(advanced - 1));
  }
  return result;
}

// What a Write that stopped left behind, for the operator: counter and commit
// are the results of their writes (kJournalSending: not sent).
std::string Writer::summary(int counter, int commit) const {
  std::string text;
  const std::string written = NozzleList(writes_, planned_, Taken::kYes);
  const std::string uncertain = NozzleList(writes_, planned_, Taken::kUncertain);
  std::string notWritten = NozzleList(writes_, planned_, Taken::kNo);
  const std::string notSent = NozzleList(writes_, planned_, Taken::kNotSent);
  if (!notSent.empty()) notWritten += (notWritten.empty() ? "" : ", ") + notSent;
  if (!written.empty()) text += Formatted(tr("Nozzles written: %s."), written.c_str()) + "\n";
  if (!uncertain.empty())
    text += Formatted(tr("Nozzles whose answer was lost (they may be written): %s."),
                      uncertain.c_str()) + "\n";
  if (!notWritten.empty())
    text += Formatted(tr("Nozzles not written: %s."), notWritten.c_str()) + "\n";
  const bool committed = commit == kTrkDone;
  const char* end;
  if (c_.variant == 2) {
    end = committed ? tr("The change was committed.")
                    : commit == kJournalSending ? tr("Nothing was committed.")
                                                : tr("The commit was not confirmed.");
  } else if (counter == kTrkDone) {
    end = committed ? tr("The calibration counter was stepped and the change committed.")
                    : commit == kJournalSending
                          ? tr("The calibration counter was stepped; nothing was committed.")
                          : tr("The calibration counter was stepped; the commit was not "
                               "confirmed.");
  } else if (Uncertain(counter)) {
    end = tr("The calibration counter may have been stepped (its answer was lost); nothing "
             "was committed.");
  } else {
    end = tr("The calibration counter was not stepped and nothing was committed.");
  }
  text += end;
  text += "\n";
  text += tr("Read the controller and Write again.");
  return text;
}

// The Write stopped after frames went out: the journal ends it with what was
// done, the operator is told the same, and what Read took is no longer
// trusted when an answer was lost.
void Writer::abandon(const char* reason, int counter, int commit) {
  bool uncertain = Uncertain(counter);
  std::string record = "abandoned:";
  const struct { Taken taken; const char* label; } kinds[] = {
      {Taken::kYes, " written "}, {Taken::kUncertain, " uncertain "},
      {Taken::kNo, " refused "}, {Taken::kNotSent, " not sent "}};
  for (const auto& kind : kinds) {
    const std::string list = NozzleList(writes_, planned_, kind.taken);
    if (list.empty()) continue;
    if (kind.taken == Taken::kUncertain) uncertain = true;
    record += std::string(kind.label) + list + ";";
  }
  if (c_.variant != 2) {
    record += counter == kTrkDone    ? " counter stepped;"
              : Uncertain(counter) ? " counter uncertain;"
                                   : " counter not stepped;";
  }
  record += commit == kTrkDone ? " committed" : commit == kJournalSending ? " nothing committed"
                                                                          : " commit not confirmed";
  if (!journalBroken_) journal_->abandoned(record.c_str());   // [journal]
  if (uncertain) {
    c_.readCurrent = false;
    op_.readNoLongerCurrent();
  }
  // Nothing reached the controller, or it refused all: it holds what it held,
  // and the reason alone says what to do.
  if (reason && !uncertain && NozzleList(writes_, planned_, Taken::kYes).empty()) {
    op_.alert(reason);
    return;
  }
  const std::string told = summary(counter, commit);
  op_.alert(reason ? (std::string(reason) + "\n\n" + told).c_str() : told.c_str());
}

void Writer::run() {
  // Nothing, not even the password, reaches a controller whose data this
  // program has not read: what the buffers hold may be another controller's.
  if (!ReadIsCurrentFor(c_, link_)) {
    op_.alert(ReadFirstMessage());
    return;
  }
  WriteJournal journal(c_, static_cast<uint16_t>(link_.port),
                       [this](const char* text) { op_.alert(text); });   // [journal]
  journal_ = &journal;
  if (!plan()) return;
  // A change that cannot be recorded is not made: the journal must be
  // writable before the first frame (the password) goes.
  const bool journaling = planned_ > 0;
  if (journaling && !journal.openForWrite()) return;
  if ((c_.passwordState[0] & 0x02) && !sendPassword(journaling)) return;
  if (planned_ == 0) return;

  const char* reason = nullptr;
  bool taken = false;
  for (int k = 0; k < planned_ && !reason && !journalBroken_; ++k) {
    const int result = send(writes_[k]);
    if (result == kTrkDone) taken = true;
    else if (result == kTrkRefused) reason = tr("Please turn on the settings key");
    else if (result != kJournalSending) reason = tr("Cannot set parameters. Check connection");
  }
  const bool stopped = reason || journalBroken_;
  // A record the controller took is a calibration change, and the counter
  // counts such changes: it is stepped once for this Write and the change
  // committed even when a later record failed, as far as the line allows.
  // A record whose answer was lost is not counted on its own (the request
  // itself may have been lost): it is named as uncertain, and a new Read
  // shows what the controller holds.
  int counter = kJournalSending;
  int commit = kJournalSending;
  if (taken && !journalBroken_) {
    SleepMs(100);
    counter = c_.variant == 2 ? kTrkDone : advanceCounter();
  }
  if (counter == kTrkDone && !journalBroken_) {
    SleepMs(50);
    op_.counterWritten();
    const uint8_t commitByte = kCommitByte;
    if (journal_->commit(kJournalSending)) {   // [journal]
      commit = writeMemory(kCommitAddress, kBank0, &commitByte, 1);
      // The controller's answer to the commit changes nothing in a whole
      // Write, but it is on record.
      if (!journal_->commit(commit)) journalBroken_ = true;   // [journal]
    } else {
      journalBroken_ = true;
    }
  }
  if (!stopped && counter != kTrkDone) {
    reason = journalBroken_ ? nullptr : tr("Error writing parameters block #2");
  }
  if (stopped || counter != kTrkDone) {
    abandon(reason, c_.variant == 2 ? kJournalSending : counter, commit);
    return;
  }
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

void WriteCalibration(Trk& link, ControllerState& state,
                      const int32_t (&lastVolume)[kControllerNozzles], WriteOperator& op) {
  Writer(link, state, lastVolume, op).run();
}

// Write: send the password when the controller wants one, write the record of
// every nozzle the operator changed, advance the calibration counter and date,
// and commit. What is sent here recalibrates the dispenser.
#pragma once
#include <cstdint>

#include "app/core/controller_state.h"

class Trk;

// What Write asks of whoever runs it, at the moment it needs it: the
// operator's entries, and where to show what happens. The window answers
// from its inputs; the messages are shown as they arise, between writes.
class WriteOperator {
 public:
  virtual ~WriteOperator() = default;
  // The Password input's text.
  virtual const char* passwordText() = 0;
  // Nozzle i's (0-based) coefficient text and whether the operator edited it
  // since the last Read.
  virtual const char* entryText(int i) = 0;
  virtual bool edited(int i) = 0;
  // A message for the operator (already translated).
  virtual void alert(const char* text) = 0;
  // Nozzle i's record now holds what the controller took (variants 0 and 1).
  virtual void recordWritten(int i) = 0;
  // The common block holds the counter as the controller now has it.
  virtual void counterWritten() = 0;
  // Variant 2, after the commit: the controller recomputed its records, so
  // Read runs again.
  virtual void readAgain() = 0;
  // A write's answer was lost: what the controller now holds is not known,
  // and what Read took no longer stands for it.
  virtual void readNoLongerCurrent() = 0;
};

// Write's refusal when what was read is not the connected controller's.
const char* ReadFirstMessage();

// Runs Write over link from state (filled by the last Read) with the
// operator's entries and each nozzle's last test-fill volume in millilitres
// (0: none; a "..." entry needs one); state takes every record and counter
// the controller took. Refuses (ReadFirstMessage) unless the last Read of state got through
// over link as it is now. Every nozzle to be written is looked at before the
// first frame: when one of them cannot be written, nothing is sent. A Write
// that stops after frames went out says which nozzles were written, which
// were not and which are uncertain, in the journal and to the operator.
void WriteCalibration(Trk& link, ControllerState& state,
                      const int32_t (&lastVolume)[kControllerNozzles], WriteOperator& op);

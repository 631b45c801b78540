// Write as the window runs it: the entries come from the nozzle inputs and the
// Password input, messages are alert boxes, and each record the controller
// took is shown at once.
#include "app/window/alert.h"
#include "app/window/controller_view.h"
#include "app/core/controller_state.h"
#include "app/core/write_procedure.h"
#include "app/window/main_form.h"
#include "app/window/procedures.h"
#include "app/window/program_end.h"
#include "app/window/read_trust.h"

namespace {

class WindowWriteOperator : public WriteOperator {
 public:
  const char* passwordText() override { return MainForm->passwordInput->value(); }
  const char* entryText(int i) override { return nozzleCoefficientInputs[i + 1]->value(); }
  bool edited(int i) override { return nozzleEdited[i] != 0; }
  void alert(const char* text) override { ShowAlert(text); }
  void recordWritten(int i) override {
    ShowCoefficient(i);
    if (Controller.variant == 1) ShowNozzleNumber(i);   // the count
    nozzleEdited[i] = 0;
  }
  void counterWritten() override { ShowCommonCounter(); }
  void readAgain() override { ReadController(); }
  void readNoLongerCurrent() override { DistrustRead(); }
};

}  // namespace

void WriteCoefficients() {
  if (TerminationRequested()) return;   // the program is ending: no Write begins
  const WriteUnderway underway;
  // Another port chosen or another Address typed since the Read: the values
  // shown may be another controller's.
  if (!ReadIsCurrent()) {
    ShowAlert(ReadFirstMessage());
    return;
  }
  WindowWriteOperator op;
  WriteCalibration(*AppLink, Controller, op);
}

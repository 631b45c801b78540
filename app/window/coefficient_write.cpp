// Write as the window runs it: the entries come from the nozzle inputs and the
// Password input, messages are alert boxes, and each record the controller
// took is shown at once.
#include "app/window/alert.h"
#include "app/core/app_state.h"
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
  explicit WindowWriteOperator(xMainForm& form) : form_(form) {}
  const char* passwordText() override { return form_.passwordInput->value(); }
  const char* entryText(int i) override { return form_.nozzleCoefficientInputs[i + 1]->value(); }
  bool edited(int i) override { return form_.nozzleEdited[i] != 0; }
  void alert(const char* text) override { ShowAlert(text); }
  void recordWritten(int i) override {
    ShowCoefficient(form_, i);
    if (form_.state.controller.variant == 1) ShowNozzleNumber(form_, i);   // the count
    form_.nozzleEdited[i] = 0;
  }
  void counterWritten() override { ShowCommonCounter(form_); }
  void readAgain() override { ReadController(form_); }
  void readNoLongerCurrent() override { DistrustRead(form_); }

 private:
  xMainForm& form_;
};

}  // namespace

void WriteCoefficients(xMainForm& form) {
  if (TerminationRequested()) return;   // the program is ending: no Write begins
  const WriteUnderway underway;
  // Another port chosen or another Address typed since the Read: the values
  // shown may be another controller's.
  if (!ReadIsCurrent(form)) {
    ShowAlert(ReadFirstMessage());
    return;
  }
  WindowWriteOperator op(form);
  AppState& state = form.state;
  WriteCalibration(*state.link, state.controller, state.lastVolume, op);
}

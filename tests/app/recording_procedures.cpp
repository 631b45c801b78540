#include "tests/app/recording_procedures.h"

#include "app/window/procedures.h"

ProcedureCalls Calls;

void OpenClosePort(xMainForm& form) {
  Calls.openClose++;
  Calls.form = &form;
}
void AddressEdited(xMainForm& form) {
  Calls.addressEdits++;
  Calls.form = &form;
}
void ReadController(xMainForm& form) {
  Calls.read++;
  Calls.form = &form;
}
void WriteCoefficients(xMainForm& form) {
  Calls.write++;
  Calls.form = &form;
}
void LoadNozzle(xMainForm& form, int i) {
  Calls.loads.push_back(i);
  Calls.form = &form;
}
void AboutCallback(Fl_Widget*, void*) { Calls.about++; }

#include "tests/app/recording_procedures.h"

#include <cstdint>

#include "app/window/procedures.h"

ProcedureCalls Calls;

void OpenClosePort() { Calls.openClose++; }
void AddressEdited() { Calls.addressEdits++; }
void ReadController() { Calls.read++; }
void WriteCoefficients() { Calls.write++; }
void LoadNozzleCallback(Fl_Widget*, void* nozzleIndex) {
  Calls.loads.push_back(static_cast<long>(reinterpret_cast<intptr_t>(nozzleIndex)));
}
void AboutCallback(Fl_Widget*, void*) { Calls.about++; }

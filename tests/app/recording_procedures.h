// Stand-ins for the operator procedures that only count their calls, so the
// window tests see exactly which widget reached which procedure and with
// what user data. The procedures themselves are tested against the simulated
// controller with their own tests.
#pragma once
#include <vector>

class xMainForm;

struct ProcedureCalls {
  int openClose = 0;
  int addressEdits = 0;
  int read = 0;
  int write = 0;
  int about = 0;
  std::vector<long> loads;   // nozzle index of each Load call
  xMainForm* form = nullptr;  // the window the last procedure was given
};
extern ProcedureCalls Calls;

// TEMPORARY: empty procedures so the window links before the operator
// procedures land. Delete this file when app/procedures.cpp arrives.
#include "app/procedures.h"

void OpenClosePort() {}
void ReadController() {}
void WriteCoefficients() {}
void LoadNozzleCallback(Fl_Widget*, void*) {}
void AboutCallback(Fl_Widget*, void*) {}

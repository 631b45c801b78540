// The program-wide state the window shares with the operator procedures.
#include "app/window/main_form.h"

Fl_Input* nozzleCoefficientInputs[kNozzleRows + 1];
Fl_Button* nozzleLoadButtons[kNozzleRows + 1];
Fl_Input* nozzleNumberFields[kNozzleRows + 1];
int nozzleEdited[kNozzleRows];

xMainForm* MainForm;
Trk* AppLink;
uint16_t OpenPortHandle;
char RememberedPort[100];

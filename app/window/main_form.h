// The tool's one window and the program-wide state its procedures share.
#pragma once
#include <cstdint>

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Int_Input.H>
#include <FL/Fl_Multiline_Input.H>

class Trk;

constexpr int kNozzleRows = 8;

// The port list, discovered afresh each time the operator opens it, so an
// adapter plugged in, or back under a new name, is offered without a restart.
class xPortChoice : public Fl_Choice {
 public:
  xPortChoice(int x, int y, int w, int h) : Fl_Choice(x, y, w, h) {}
  int handle(int event) override;
};

class xMainForm : public Fl_Double_Window {
 public:
  xMainForm(int width, int height, const char* title);
  ~xMainForm() override;

  // Owned widgets, in the order they are declared by the window's design.
  Fl_Choice* portChoice;
  Fl_Button* openCloseButton;
  Fl_Button* readButton;
  Fl_Input* addressInput;
  Fl_Button* writeButton;
  Fl_Button* aboutButton;
  Fl_Box* stateBox;
  Fl_Box* coefficientsHeading;
  Fl_Box* noticeBox;
  Fl_Box* logoBox;
  Fl_Int_Input* passwordInput;
  Fl_Int_Input* commonCounterInput;
  Fl_Box* nozzleCountersHeading;
  Fl_Check_Button* fullTankCheck;
  Fl_Multiline_Input* cngDiagsOutput;
};

// Nozzle rows; index 1..8 is nozzle 1..8 (index 0 unused).
extern Fl_Input* nozzleCoefficientInputs[kNozzleRows + 1];
extern Fl_Button* nozzleLoadButtons[kNozzleRows + 1];
extern Fl_Input* nozzleNumberFields[kNozzleRows + 1];
// Which coefficient inputs the operator changed since the last read; index
// 0..7 is nozzle 1..8 (the inputs' user data).
extern int nozzleEdited[kNozzleRows];

// Discovers the ports again and refills the port list, keeping the chosen
// name chosen while it is still offered (nothing is chosen when it is gone).
// Does nothing while a port is open.
void RefreshPortChoice();

// Program-wide state of the procedures.
extern xMainForm* MainForm;
extern Trk* AppLink;               // the one link, also linkTable[0]
extern uint16_t OpenPortHandle;    // 0 = no port open
extern char RememberedPort[100];   // port name read from tarvo_6.ini

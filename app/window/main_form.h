// The tool's one window: its widgets, and the state of the procedures it runs,
// which it is given.
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

struct AppState;
class xMainForm;

constexpr int kNozzleRows = 8;

// The port list, discovered afresh each time the operator opens it, so an
// adapter plugged in, or back under a new name, is offered without a restart.
class xPortChoice : public Fl_Choice {
 public:
  xPortChoice(xMainForm& form, int x, int y, int w, int h) : Fl_Choice(x, y, w, h), form_(form) {}
  int handle(int event) override;

 private:
  xMainForm& form_;
};

class xMainForm : public Fl_Double_Window {
 public:
  // Builds the widgets only: the port choice offers PortNameList as it is
  // (discovered by the start-up) with rememberedPort chosen when it is listed,
  // the first name otherwise. state (its link made by the start-up) outlives
  // the window.
  xMainForm(int width, int height, const char* title, AppState& state,
            const char* rememberedPort = "");
  ~xMainForm() override;

  // Discovers the ports again and refills the port list, keeping the chosen
  // name chosen while it is still offered (nothing is chosen when it is
  // gone). Does nothing while a port is open.
  void refreshPortChoice();

  // What the procedures work with: the link, the open port, what Read found,
  // the test fill followed.
  AppState& state;

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

  // Nozzle rows; index 1..8 is nozzle 1..8 (index 0 unused).
  Fl_Input* nozzleCoefficientInputs[kNozzleRows + 1] = {};
  Fl_Button* nozzleLoadButtons[kNozzleRows + 1] = {};
  Fl_Input* nozzleNumberFields[kNozzleRows + 1] = {};
  // Which coefficient inputs the operator changed since the last read; index
  // 0..7 is nozzle 1..8 (the inputs' user data).
  int nozzleEdited[kNozzleRows] = {};
};

// The window a widget of it belongs to.
xMainForm& FormOf(Fl_Widget* widget);

#include "tests/app/procedure_fixture.h"

#include <FL/Fl.H>
#include <FL/Fl_Menu_Item.H>

#include <cstdio>
#include <cstring>

#include "app/window/alert.h"
#include "app/core/app_state.h"
#include "app/core/application_link.h"
#include "app/core/controller_state.h"
#include "app/window/main_form.h"
#include "app/window/procedures.h"
#include "app/window/fill_buttons.h"
#include "clock/tick.h"
#include "link/trk.h"
#include "port/discovery.h"
#include "port/port.h"
#include "tests/app/private_display.h"
#include "tests/support/scratch_dir.h"

std::vector<std::string> ProcedureTest::alerts;

namespace {

PrivateDisplay* Display;
ScratchDir* Scratch;
AppState* TheState;
xMainForm* TheForm;

void CaptureAlert(const char* text) { ProcedureTest::alerts.emplace_back(text); }

// The port choice offers exactly the simulator's pseudo-terminal.
void OfferPort(const std::string& path) {
  static Fl_Menu_Item items[2];
  std::snprintf(PortNameList.names[0], sizeof PortNameList.names[0], "%s", path.c_str());
  PortNameList.count = 1;
  items[0] = Fl_Menu_Item{};
  items[0].text = PortNameList.names[0];
  items[1] = Fl_Menu_Item{};
  TheForm->portChoice->copy(items);
  TheForm->portChoice->value(0);
}

}  // namespace

// Once per process, as main() does it: the window lives as long as the
// program, and the tick service and the port layer stop at its end.
class ProgramEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    Display = new PrivateDisplay();
    Scratch = new ScratchDir();   // port.out lands here
    tickStart();
    PortLayerStart();
    // What the start-up does before it builds the window.
    UsbBind();
    DiscoverPorts();
    TheState = new AppState();
    TheState->link = CreateApplicationLink(TheState->station);
    TheForm = new xMainForm(302, 339, "tarvo_6", *TheState);
    TheForm->resize(302, 339, 519, 295);
    TheForm->show();
    Fl::check();
    SetAlertSink(CaptureAlert);
  }
  void TearDown() override {
    PortLayerStop();
    tickStop();
    delete Scratch;
    delete Display;
  }
};
const ::testing::Environment* const kProgram =
    ::testing::AddGlobalTestEnvironment(new ProgramEnvironment);

xMainForm& Form() { return *TheForm; }
AppState& State() { return *TheState; }

void ProcedureTest::SetUp() {
  ASSERT_TRUE(Display && Display->ok()) << "Xvfb did not start";
  alerts.clear();
  // What the link learnt of the nozzles in an earlier test is not this one's.
  std::memset(NozzleTable, 0, sizeof NozzleTable);
  ControllerTest::SetUp();
}

void ProcedureTest::TearDown() {
  Fl::remove_timeout(FillTimer);
  State().activeNozzle = 0;
  for (int& v : State().lastVolume) v = 0;
  for (int& e : Form().nozzleEdited) e = 0;
  Form().fullTankCheck->value(0);
  if (State().openPort != 0) OpenClosePort(Form());
  ControllerTest::TearDown();
}

void ProcedureTest::Connect(const std::vector<std::string>& args) {
  StartController(args);
  if (!HasFatalFailure()) OpenThePort();
}

void ProcedureTest::Connect(const MemoryImage& image, const std::vector<std::string>& args) {
  StartController(image, args);
  if (!HasFatalFailure()) OpenThePort();
}

void ProcedureTest::OpenThePort() {
  OfferPort(sim->announce());
  OpenClosePort(Form());
  ASSERT_NE(State().openPort, 0) << alerts.size();
}

void ProcedureTest::Read(const char* address) {
  Form().addressInput->value(address);
  ReadController(Form());
}

void ProcedureTest::Type(int n, const char* text) {
  Fl_Input* input = Form().nozzleCoefficientInputs[n];
  input->value(text);
  input->do_callback();   // what typing does: the input's callback marks it edited
}

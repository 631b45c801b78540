// The main window: its widgets in the order they are built and the port list.
#include "app/window/main_form.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <FL/Fl_Menu_Item.H>

#include "app/catalog/catalog.h"
#include "app/core/app_state.h"
#include "app/window/logo_image.h"
#include "app/window/procedures.h"
#include "port/discovery.h"

namespace {

constexpr int kTextSize = 12;
constexpr Fl_Align kAboveLeft = FL_ALIGN_TOP | FL_ALIGN_LEFT;
constexpr Fl_Align kInsideLeft = FL_ALIGN_LEFT | FL_ALIGN_INSIDE;

// Open/Close, Read and Write act on the left button only (or the keyboard);
// FLTK would also call back when another mouse button is released.
bool ReleasedByOtherMouseButton() {
  return Fl::event() == FL_RELEASE && Fl::event_button() != FL_LEFT_MOUSE;
}

// A procedure changes labels, values, places and visibility of many widgets.
// A widget's own redraw leaves its outside label and the place it moved from
// to whoever overlaps them, which showed a nozzle label cut in half: after a
// procedure the whole window is drawn again.
void RunProcedure(Fl_Widget* widget, void (*procedure)(xMainForm&)) {
  xMainForm& form = FormOf(widget);
  procedure(form);
  form.redraw();
}

void OpenCloseClicked(Fl_Widget* widget, void*) {
  if (!ReleasedByOtherMouseButton()) RunProcedure(widget, OpenClosePort);
}
void ReadClicked(Fl_Widget* widget, void*) {
  if (!ReleasedByOtherMouseButton()) RunProcedure(widget, ReadController);
}
void WriteClicked(Fl_Widget* widget, void*) {
  if (!ReleasedByOtherMouseButton()) RunProcedure(widget, WriteCoefficients);
}

int NozzleIndexOf(void* data) { return static_cast<int>(reinterpret_cast<intptr_t>(data)); }
void* NozzleIndexData(int index) {
  return reinterpret_cast<void*>(static_cast<intptr_t>(index));
}

void LoadClicked(Fl_Widget* widget, void* nozzleIndex) {
  xMainForm& form = FormOf(widget);
  LoadNozzle(form, NozzleIndexOf(nozzleIndex));
  form.redraw();
}

// Another Address may name another controller: what was read is not its.
void AddressChanged(Fl_Widget* widget, void*) { AddressEdited(FormOf(widget)); }

// The Write procedure writes only the nozzles the operator has touched.
void CoefficientEdited(Fl_Widget* widget, void* nozzleIndex) {
  FormOf(widget).nozzleEdited[NozzleIndexOf(nozzleIndex)] = 1;
}

// The menu's items point at the names of the port list, which lives as long
// as the program. Items are set directly rather than through add(), which
// would read the '/' of "/dev/pts/3" as a submenu and merge equal names, and
// so break the rule that item i is list entry i.
void FillPortChoice(Fl_Choice* choice) {
  Fl_Menu_Item items[kPortNameListSize + 1];   // copied by the choice
  const int count = PortNameList.count < kPortNameListSize ? PortNameList.count : kPortNameListSize;
  if (count <= 0) {   // an empty menu would still report item 0 selected
    choice->clear();
    return;
  }
  for (int i = 0; i < count; i++) {
    items[i] = Fl_Menu_Item{};
    items[i].text = PortNameList.names[i];
  }
  items[count] = Fl_Menu_Item{};
  choice->copy(items);
  choice->value(0);
}

// A missing or unreadable qv.bmp leaves the box empty.
void LoadLogo(Fl_Box* logoBox) {
  static Fl_Image* logo;   // shown for the life of the program
  if (logo == nullptr) logo = LoadLogoImage("qv.bmp");
  logoBox->image(logo);
}

// Row n (1..8): coefficient input, its Load button, its number field.
void BuildNozzleRow(xMainForm& form, int n) {
  const int y = 16 + 25 * (n - 1);
  char label[64];
  snprintf(label, sizeof label, tr("Nozzle %d"), n);

  Fl_Input* coefficient = new Fl_Input(276, y, 101, 25);
  coefficient->type(FL_FLOAT_INPUT);
  coefficient->copy_label(label);
  coefficient->when(FL_WHEN_CHANGED);
  coefficient->callback(CoefficientEdited, NozzleIndexData(n - 1));
  form.nozzleCoefficientInputs[n] = coefficient;

  Fl_Button* load = new Fl_Button(384, y, 78, 25, tr("Load 10l"));
  load->callback(LoadClicked, NozzleIndexData(n - 1));
  form.nozzleLoadButtons[n] = load;

  form.nozzleNumberFields[n] = new Fl_Input(467, y, 49, 25);
}

// Where name stands in the port list; -1 when it is not listed (or empty).
int ListedIndexOf(const char* name) {
  if (name == nullptr || name[0] == '\0') return -1;
  for (int i = 0; i < PortNameList.count && i < kPortNameListSize; i++) {
    if (std::strcmp(name, PortNameList.names[i]) == 0) return i;
  }
  return -1;
}

}  // namespace

xMainForm& FormOf(Fl_Widget* widget) { return *static_cast<xMainForm*>(widget->top_window()); }

xMainForm::xMainForm(int width, int height, const char* title, AppState& appState,
                     const char* rememberedPort)
    : Fl_Double_Window(width, height, title), state(appState) {
  portChoice = new xPortChoice(*this, 8, 8, 180, 24);

  openCloseButton = new Fl_Button(8, 40, 96, 24, tr("Open Port"));
  openCloseButton->labelsize(kTextSize);
  openCloseButton->callback(OpenCloseClicked);

  readButton = new Fl_Button(112, 88, 96, 24, tr("Read.."));
  readButton->labelsize(kTextSize);
  readButton->callback(ReadClicked);

  addressInput = new Fl_Input(8, 88, 96, 24, tr("Address"));
  addressInput->labelsize(kTextSize);
  addressInput->textsize(kTextSize);
  addressInput->align(kAboveLeft);
  addressInput->value(tr("1"));
  addressInput->when(FL_WHEN_CHANGED);
  addressInput->callback(AddressChanged);

  writeButton = new Fl_Button(104, 256, 96, 24, tr("Write"));
  writeButton->labelsize(kTextSize);
  writeButton->labelfont(FL_TIMES_BOLD);
  writeButton->callback(WriteClicked);

  stateBox = new Fl_Box(112, 72, 96, 8, tr("Connection state"));
  stateBox->labelsize(kTextSize);
  stateBox->align(kInsideLeft);

  coefficientsHeading = new Fl_Box(216, 0, 96, 16, tr("Coefficients"));
  coefficientsHeading->labelsize(kTextSize);
  coefficientsHeading->align(kInsideLeft);

  noticeBox = new Fl_Box(102, 120, 96, 32, tr("CNG dispenser\nservice tool"));
  noticeBox->labelsize(kTextSize);

  logoBox = new Fl_Box(16, 120, 64, 64);
  logoBox->labelsize(kTextSize);

  passwordInput = new Fl_Int_Input(8, 208, 96, 24, tr("Password"));
  passwordInput->labelsize(kTextSize);
  passwordInput->textsize(kTextSize);
  passwordInput->align(kAboveLeft);
  passwordInput->value(tr("5185"));

  commonCounterInput = new Fl_Int_Input(100, 208, 96, 24, tr("Common counter"));
  commonCounterInput->labelsize(kTextSize);
  commonCounterInput->textsize(kTextSize);
  commonCounterInput->align(kAboveLeft);
  commonCounterInput->value("0000");   // until the first Read

  aboutButton = new Fl_Button(8, 256, 88, 24, tr("About.."));
  aboutButton->labelsize(kTextSize);

  nozzleCountersHeading = new Fl_Box(400, 0, 96, 16, tr("Nozzle counters"));
  nozzleCountersHeading->labelsize(kTextSize);
  nozzleCountersHeading->align(kInsideLeft);

  fullTankCheck = new Fl_Check_Button(328, 48, 128, 24, tr("Fulltank load"));
  fullTankCheck->labelsize(kTextSize);
  fullTankCheck->align(kInsideLeft);
  fullTankCheck->hide();   // Read shows it under the last nozzle row

  cngDiagsOutput = new Fl_Multiline_Input(224, 208, 184, 72, tr("CNG diags"));
  cngDiagsOutput->labelsize(kTextSize);
  cngDiagsOutput->textsize(kTextSize);
  cngDiagsOutput->align(kAboveLeft);
  cngDiagsOutput->hide();   // Read shows it on controllers with CNG diagnostics
  end();

  FillPortChoice(portChoice);

  begin();
  LoadLogo(logoBox);
  for (int n = 1; n <= kNozzleRows; n++) BuildNozzleRow(*this, n);
  aboutButton->callback(AboutCallback);
  end();

  // A remembered port that is not listed leaves the first name chosen.
  const int remembered = ListedIndexOf(rememberedPort);
  if (remembered >= 0) portChoice->value(remembered);
}

xMainForm::~xMainForm() {}

int xPortChoice::handle(int event) {
  if (event == FL_PUSH || (event == FL_KEYBOARD && Fl::focus() == this &&
                           (Fl::event_key() == ' ' || Fl::event_key() == FL_Down))) {
    form_.refreshPortChoice();
  }
  return Fl_Choice::handle(event);
}

void xMainForm::refreshPortChoice() {
  // While a port is open the list is not in use (Close Port needs no name),
  // and a USB scan is not run past a channel that is in use.
  if (state.openPort != 0) return;
  Fl_Choice* choice = portChoice;
  char selected[kListedNameSize] = "";
  const int index = choice->value();
  if (index >= 0 && index < PortNameList.count) {
    std::memcpy(selected, PortNameList.names[index], kListedNameSize);
  }
  DiscoverPorts();
  FillPortChoice(choice);
  // A port that is gone leaves nothing chosen rather than its neighbour.
  choice->value(ListedIndexOf(selected));
  choice->redraw();
}

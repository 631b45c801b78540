// Open/Close Port and Read: connect to the controller at the typed address,
// identify its variant, check its main settings and read everything Write and
// the test fills need into the controller state.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "app/alert.h"
#include "app/catalog.h"
#include "app/controller_state.h"
#include "app/controller_view.h"
#include "app/main_form.h"
#include "app/poll.h"
#include "app/port_open_error.h"
#include "app/procedures.h"
#include "app/read_trust.h"
#include "app/test_fill.h"
#include "link/frame.h"
#include "link/trk.h"
#include "port/discovery.h"
#include "port/port.h"
#include "util/all_bytes_equal.h"

namespace {

constexpr Fl_Color kRed = 88;
constexpr Fl_Color kBlack = 56;
constexpr int kBank0 = 0;
constexpr int kBank2 = 2;

// Set once a read of the current Read got no reply in time. Replies carry no
// address: that reply may still come, after the next request has cleared the
// line, and be taken as the next read's reply, whole and with a good
// checksum. Whatever Read takes after such a time-out is shown, but Write
// computes nothing from it (see ControllerState).
bool replyMayBeLate = false;

int ReadMemory(int address, int bank, int count, uint8_t* dest) {
  const int result =
      PollUntilDone([&] { return AppLink->readBlock(address, bank, count, dest); });
  if (result == -6) replyMayBeLate = true;
  return result;
}

// A read that Write may compute from: it came, and no earlier read of this
// Read is still owed a reply.
bool ReadForWrite(int address, int bank, int count, uint8_t* dest, bool* trusted) {
  const bool clean = !replyMayBeLate;
  const bool done = ReadMemory(address, bank, count, dest) == 1;
  *trusted = done && clean;
  return done;
}

// Where the nozzle count, group count and group 0's address sit in the main
// settings of each variant.
struct SettingsLayout {
  int nozzleCount, groupCount, group0Address;
};
constexpr SettingsLayout kLayouts[3] = {{5, 6, 1}, {4, 5, 2}, {10, 9, 3}};

int FindGroupIndex() {
  const ControllerState& c = Controller;
  const int address = c.address;
  if (address == 0xF0) return 0;
  const uint8_t* s = c.mainSettings;
  if (c.variant == 0) {
    if (c.groupCount == 0 || address == s[1]) return 0;
    for (int k = 1; k < c.groupCount; ++k) {
      if (address == s[1 + k]) return k;
    }
    return 0;
  }
  if (c.groupCount == 1) return 0;
  return address == s[kLayouts[c.variant].group0Address] ? 0 : 1;
}

// Variant-2 controllers that report CNG diagnostics ('$' in their error
// record) answer the identification probe with a text holding "HIA".
void ProbeCngController() {
  Fl_Multiline_Input* output = MainForm->cngDiagsOutput;
  std::memset(AppLink->errorRecord, 0, sizeof AppLink->errorRecord);
  PollUntilDone([] { return AppLink->readErrorRecord(); });
  if (AppLink->errorRecord[12] != '$') {
    output->hide();
    return;
  }
  output->show();
  const uint16_t port = static_cast<uint16_t>(AppLink->port);
  sendSelect(port, AppLink->address, 0);
  PortWriteByte(port, '1');
  SleepMs(250);
  char text[512] = "";
  const int waiting = std::min(PortAvailable(port), static_cast<int>(sizeof text) - 1);
  if (waiting > 0 && PortRead(port, reinterpret_cast<uint8_t*>(text), waiting) == 1) {
    text[waiting] = '\0';
  }
  char* hia = std::strstr(text, "HIA");
  if (hia) {
    if (std::strlen(hia) > 9) hia[9] = '\0';
    output->value(text);
  } else {
    output->value("");
  }
}

// Rows 1..N visible, the rest hidden; the Common counter input and the
// full-tank check go under the last visible row.
void ArrangeNozzleRows(int rows) {
  for (int n = 1; n <= kNozzleRows; ++n) {
    Fl_Widget* row[3] = {nozzleCoefficientInputs[n], nozzleLoadButtons[n], nozzleNumberFields[n]};
    for (Fl_Widget* w : row) {
      if (n <= rows) w->show(); else w->hide();
    }
  }
  const int last = std::max(rows, 1);
  Fl_Input* first = nozzleCoefficientInputs[1];
  MainForm->commonCounterInput->resize(first->x(), nozzleCoefficientInputs[last]->y() + 42,
                                       first->w(), first->h());
  Fl_Check_Button* check = MainForm->fullTankCheck;
  check->resize(nozzleLoadButtons[1]->x(), nozzleLoadButtons[last]->y() + 34, check->w(),
                check->h());
  check->show();
}

void ReadNozzleRecords(int rows) {
  ControllerState& c = Controller;
  for (int i = 0; i < rows; ++i) {
    bool done;
    if (c.variant == 2) {
      done = ReadForWrite(ShortRecordAddress(i, c.groupIndex), kBank0, kShortRecordSize,
                          c.shortCalibration[i], &c.recordRead[i]);
    } else {
      done = ReadForWrite(CalibrationRecordAddress(i, c.nozzleCount, c.groupIndex), kBank0,
                          CalibrationTransferSize(c.variant), c.calibration[i], &c.recordRead[i]);
    }
    if (done) {
      ShowCoefficient(i);
      ShowNozzleNumber(i);
    } else {
      nozzleCoefficientInputs[i + 1]->value("???");
      nozzleNumberFields[i + 1]->value("?");
    }
    nozzleEdited[i] = 0;
  }
}

}  // namespace

void OpenClosePort() {
  xMainForm* form = MainForm;
  if (OpenPortHandle != 0) {
    EndFollowedFill();
    ForgetConnectedController();
    PortClose(OpenPortHandle);
    form->openCloseButton->label(tr("Open Port"));
    OpenPortHandle = 0;
    form->readButton->deactivate();
    form->writeButton->deactivate();
    return;
  }
  const int selected = form->portChoice->value();
  uint16_t handle = 0;
  if (selected < 0 || selected >= PortNameList.count) {
    ShowPortOpenError(tr("No port is selected"));
    return;
  }
  if (PortOpen(&handle, PortNameList.names[selected]) != 0) {
    ShowPortOpenError(PortOpenFailureText(PortLastOpenFailure()));
    return;
  }
  ForgetConnectedController();
  OpenPortHandle = handle;
  form->openCloseButton->label(tr("Close Port"));
  form->readButton->activate();
  form->writeButton->activate();
  AppLink->port = handle;
}

void AddressEdited() { ForgetConnectedController(); }

void ReadController() {
  xMainForm* form = MainForm;
  ControllerState& c = Controller;

  // From here on the buffers are being replaced: until this Read gets through,
  // nothing in them is the connected controller's as a whole.
  DistrustRead();
  c.address = TypedAddress();
  AppLink->address = c.address;
  replyMayBeLate = false;

  if (ReadMemory(kStatusByteAddress, kBank2, 1, &c.statusByte) != 1) {
    form->stateBox->labelcolor(kRed);
    form->stateBox->label(tr("No connection"));
    form->redraw();
    return;
  }
  form->stateBox->label(tr("Connected"));
  form->stateBox->labelcolor(kBlack);
  form->redraw();

  if (c.statusByte & 0x20) {
    c.variant = 2;
    ProbeCngController();
  } else {
    c.variant = (c.statusByte & 0x80) ? 1 : 0;
  }

  std::memset(c.mainSettings, 0, sizeof c.mainSettings);
  SleepMs(20);
  if (ReadMemory(kMainSettingsLengthAddress, kBank0, 1, &c.statusByte) != 1) {
    ShowAlert(tr("Error loading main settings"));
    return;
  }
  const int length = c.statusByte;
  if (length == 0) {
    ShowAlert(tr("Wrong data length!"));
    return;
  }
  SleepMs(20);
  if (ReadMemory(kMainSettingsAddress, kBank0, length, c.mainSettings) != 1) {
    ShowAlert(tr("Error loading main settings"));
    return;
  }
  if (c.variant != 2 &&
      (frameChecksum(c.mainSettings, length - 1) & 0xFF) != c.mainSettings[length - 1]) {
    ShowAlert(tr("Warning! Wrong CRC in main settings"));
    return;
  }

  const SettingsLayout& layout = kLayouts[c.variant];
  c.nozzleCount = c.mainSettings[layout.nozzleCount];
  c.groupCount = c.mainSettings[layout.groupCount];
  c.groupIndex = static_cast<uint8_t>(FindGroupIndex());

  // The window has eight rows and the state eight records: a larger count
  // still places the records of other groups, but only eight are handled.
  int rows = std::min<int>(c.nozzleCount, kControllerNozzles);
  ArrangeNozzleRows(rows);
  if (c.nozzleCount == 0) {
    c.nozzleCount = 1;
    rows = 1;
  }

  std::memset(c.commonBlock, 0, sizeof c.commonBlock);
  std::memset(c.calibration, 0, sizeof c.calibration);
  std::memset(c.shortCalibration, 0, sizeof c.shortCalibration);
  std::fill(std::begin(c.recordRead), std::end(c.recordRead), false);
  if (ReadForWrite(CommonBlockAddress(c.groupIndex), kBank0, kCommonBlockSize, c.commonBlock,
                   &c.commonBlockRead)) {
    ShowCommonCounter();
  } else {
    form->commonCounterInput->value(tr("?????????"));
  }

  ReadNozzleRecords(rows);

  // Nothing of an earlier controller's password state survives a read that fails.
  std::memset(c.passwordState, 0, sizeof c.passwordState);
  if (c.variant == 2) {
    ReadMemory(kShortPasswordStateAddress, kBank2, kPasswordStateSize, c.passwordState);
  } else {
    ReadMemory(kPasswordStateAddress, kBank0, kPasswordStateSize, c.passwordState);
  }
  if (AllBytesEqual(c.passwordState, kPasswordStateSize, 0x11)) {
    c.passwordState[0] = 0;
    c.passwordState[1] = 0;
    form->passwordInput->deactivate();
  } else {
    form->passwordInput->activate();
  }
  TrustRead(static_cast<uint16_t>(AppLink->port));
  form->redraw();
}

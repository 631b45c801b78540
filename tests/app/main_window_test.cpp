// The real main window, started exactly as main() starts it, on a private X
// server: every widget as designed, the port list and the remembered port,
// the link set-up, and which procedure each widget reaches (clicked and typed
// at through the window system, as an operator would).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/fl_ask.H>
#include <FL/x.H>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

#include "app/window/alert.h"
#include "app/catalog/catalog.h"
#include "app/core/app_state.h"
#include "app/core/application_link.h"
#include "app/core/system_error_text.h"
#include "app/window/logo_image.h"
#include "app/window/main_form.h"
#include "app/startup.h"
#include "link/station_config.h"
#include "link/trk.h"
#include "port/discovery.h"
#include "tests/app/display_environment.h"
#include "tests/app/private_display.h"
#include "tests/app/pump_until.h"
#include "tests/app/recording_procedures.h"
#include "tests/app/window_test_platform.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

namespace fs = std::filesystem;

namespace {

DisplayEnvironment* const Display = DisplayEnvironment::Register();

// The remembered port's section and key as the tool stores them (UTF-8), and
// the same Russian words as Windows-1251 bytes, which the tool does not know.
const char kSectionUtf8[] = "\xC3\x8E\xC3\xA1\xC3\xB9\xC3\xA8\xC3\xA5";
const char kKeyUtf8[] = "\xC3\x8F\xC3\xAE\xC3\xB0\xC3\xB2";
const char kSection1251[] = "\xCE\xE1\xF9\xE8\xE5";
const char kKey1251[] = "\xCF\xEE\xF0\xF2";

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Runs FLTK until condition() holds or the deadline passes.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Display->ok()) << "Xvfb did not start";
    ASSERT_TRUE(scratch_.ok());
    // No serial device of this machine and no USB library: the list holds
    // exactly what a test offers through TARVO6_PORTS.
    HideMachinePorts(scratch_.path());
    UnsetTestEnv("TARVO6_PORTS");
    Calls = ProcedureCalls();
  }

  void TearDown() override {
    if (window_ == nullptr) return;
    window_->hide();
    Fl::check();
    CloseDown(state_);
    delete window_;
    DestroyApplicationLink(state_.link);
    state_.link = nullptr;
    CatalogFree();
  }

  void InstallCatalog() {
    fs::create_directories("ru");
    fs::copy_file(TARVO_CATALOG_FILE, "ru/tarvo_6.mo");
  }
  void InstallLogo() { fs::copy_file(TARVO_LOGO_FILE, "qv.bmp"); }
  void RememberPort(const char* section, const char* key, const std::string& value) {
    WriteFile("tarvo_6.ini", std::string("[") + section + "]\r\n" + key + "=" + value + "\r\n");
  }

  // Starts the window as main() does and waits until the X server shows it.
  void Start() {
    char program[] = "tarvo_6";
    char* argv[] = {program, nullptr};
    window_ = OpenMainWindow(state_, 1, argv);
    ASSERT_TRUE(PumpUntil([&] { return window_->shown() && window_->visible_r(); }));
    Fl::flush();
  }

  std::vector<std::string> PortItems() const {
    std::vector<std::string> items;
    const Fl_Menu_Item* menu = window_->portChoice->menu();
    for (int i = 0; menu != nullptr && menu[i].text != nullptr; i++) items.push_back(menu[i].text);
    return items;
  }

  // A click with mouse button `button` in the middle of widget w.
  void Click(Fl_Widget* w, int button = 1) {
    ASSERT_TRUE(ClickAt(window_, w->x() + w->w() / 2, w->y() + w->h() / 2, button));
  }
  // Activates the About button and waits for it: everything sent before it
  // has then been handled too.
  void SyncWithAbout() {
    int before = Calls.about;
    Click(window_->aboutButton);
    ASSERT_TRUE(PumpUntil([&] { return Calls.about == before + 1; }));
  }

  ScratchDir scratch_;
  AppState state_;
  xMainForm* window_ = nullptr;
};

struct WidgetDesign {
  const char* what;
  Fl_Widget* (*get)(xMainForm*);
  const std::type_info* type;
  const char* id;   // message id of the label, or nullptr for none
  Fl_Align align;
  int labelSize;
  int textSize;     // 0: not a text widget
  bool visible;
  bool active;
};

#define W(member) [](xMainForm* f) -> Fl_Widget* { return f->member; }
const Fl_Align kAboveLeft = FL_ALIGN_TOP | FL_ALIGN_LEFT;
const Fl_Align kInsideLeft = FL_ALIGN_LEFT | FL_ALIGN_INSIDE;

// In the order the window builds them.
const WidgetDesign kDesign[] = {
    {"port choice", W(portChoice), &typeid(xPortChoice), nullptr, FL_ALIGN_LEFT, 14, 0, true, true},
    {"open/close", W(openCloseButton), &typeid(Fl_Button), "Open Port", FL_ALIGN_CENTER, 12, 0, true, true},
    {"read", W(readButton), &typeid(Fl_Button), "Read..", FL_ALIGN_CENTER, 12, 0, true, false},
    {"address", W(addressInput), &typeid(Fl_Input), "Address", kAboveLeft, 12, 12, true, true},
    {"write", W(writeButton), &typeid(Fl_Button), "Write", FL_ALIGN_CENTER, 12, 0, true, false},
    {"state", W(stateBox), &typeid(Fl_Box), "Connection state", kInsideLeft, 12, 0, true, true},
    {"coefficients", W(coefficientsHeading), &typeid(Fl_Box), "Coefficients", kInsideLeft, 12, 0, true, true},
    {"notice", W(noticeBox), &typeid(Fl_Box), "CNG dispenser\nservice tool", FL_ALIGN_CENTER, 12, 0, true, true},
    {"logo", W(logoBox), &typeid(Fl_Box), nullptr, FL_ALIGN_CENTER, 12, 0, true, true},
    {"password", W(passwordInput), &typeid(Fl_Int_Input), "Password", kAboveLeft, 12, 12, true, true},
    {"common counter", W(commonCounterInput), &typeid(Fl_Int_Input), "Common counter", kAboveLeft, 12, 12, true, true},
    {"about", W(aboutButton), &typeid(Fl_Button), "About..", FL_ALIGN_CENTER, 12, 0, true, true},
    {"nozzle counters", W(nozzleCountersHeading), &typeid(Fl_Box), "Nozzle counters", kInsideLeft, 12, 0, true, true},
    {"full tank", W(fullTankCheck), &typeid(Fl_Check_Button), "Fulltank load", kInsideLeft, 12, 0, false, true},
    {"CNG diags", W(cngDiagsOutput), &typeid(Fl_Multiline_Input), "CNG diags", kAboveLeft, 12, 12, false, true},
};
#undef W

class WindowDesignTest : public MainWindowTest, public ::testing::WithParamInterface<bool> {};

// With the catalog every label is its Russian translation, without it the
// English id; everything else is the same either way.
TEST_P(WindowDesignTest, EveryWidgetHasItsClassLabelAndInitialState) {
  const bool russian = GetParam();
  if (russian) InstallCatalog();
  Start();

  EXPECT_EQ(&state_, &window_->state);
  EXPECT_EQ(302, window_->x());
  EXPECT_EQ(339, window_->y());
  EXPECT_EQ(519, window_->w());
  EXPECT_EQ(295, window_->h());
  EXPECT_EQ(window_, window_->resizable());
  EXPECT_STREQ("tarvo_6", window_->label());   // a name: the same in Russian
  EXPECT_STREQ(russian ? "Закрыть" : "Close", fl_close) << "the alert box's button";

  ASSERT_EQ(15 + 3 * kNozzleRows, window_->children());
  int index = 0;
  for (const WidgetDesign& d : kDesign) {
    SCOPED_TRACE(d.what);
    Fl_Widget* w = d.get(window_);
    ASSERT_NE(nullptr, w);
    EXPECT_EQ(w, window_->child(index++)) << "built out of order";
    EXPECT_TRUE(typeid(*w) == *d.type) << typeid(*w).name();
    if (d.id == nullptr) {
      EXPECT_EQ(nullptr, w->label());
    } else if (russian) {
      EXPECT_STREQ(tr(d.id), w->label());
      EXPECT_STRNE(d.id, w->label()) << "not translated";
    } else {
      EXPECT_STREQ(d.id, w->label());
    }
    EXPECT_EQ(d.align, w->align());
    EXPECT_EQ(d.labelSize, w->labelsize());
    if (d.textSize != 0) {
      EXPECT_EQ(d.textSize, static_cast<Fl_Input_*>(w)->textsize());
    }
    EXPECT_EQ(d.visible, w->visible() != 0);
    EXPECT_EQ(d.active, w->active() != 0);
  }
  EXPECT_EQ(FL_TIMES_BOLD, window_->writeButton->labelfont());
  EXPECT_STREQ("1", window_->addressInput->value());
  EXPECT_STREQ("5185", window_->passwordInput->value());
  EXPECT_EQ(4u, strlen(window_->commonCounterInput->value()));

  // The nozzle rows follow, row by row, all visible until a Read.
  for (int n = 1; n <= kNozzleRows; n++) {
    SCOPED_TRACE("nozzle " + std::to_string(n));
    Fl_Input* coefficient = window_->nozzleCoefficientInputs[n];
    Fl_Button* load = window_->nozzleLoadButtons[n];
    Fl_Input* number = window_->nozzleNumberFields[n];
    EXPECT_EQ(coefficient, window_->child(index++));
    EXPECT_EQ(load, window_->child(index++));
    EXPECT_EQ(number, window_->child(index++));

    EXPECT_TRUE(typeid(*coefficient) == typeid(Fl_Input));
    EXPECT_EQ(FL_FLOAT_INPUT, coefficient->type());
    const std::string expected = (russian ? "Пистолет " : "Nozzle ") + std::to_string(n);
    EXPECT_EQ(expected, coefficient->label());
    EXPECT_EQ(FL_WHEN_CHANGED, coefficient->when());
    EXPECT_EQ(n - 1, reinterpret_cast<intptr_t>(coefficient->user_data()));

    EXPECT_TRUE(typeid(*load) == typeid(Fl_Button));
    EXPECT_STREQ(russian ? "Налив 10л" : "Load 10l", load->label());
    EXPECT_EQ(n - 1, reinterpret_cast<intptr_t>(load->user_data()));

    EXPECT_TRUE(typeid(*number) == typeid(Fl_Input));
    EXPECT_EQ(FL_NORMAL_INPUT, number->type());
    EXPECT_EQ(nullptr, number->label());

    for (Fl_Widget* w : {static_cast<Fl_Widget*>(coefficient), static_cast<Fl_Widget*>(load),
                         static_cast<Fl_Widget*>(number)}) {
      EXPECT_EQ(FL_NORMAL_SIZE, w->labelsize());
      EXPECT_TRUE(w->visible());
      EXPECT_TRUE(w->active());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Catalog, WindowDesignTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? std::string("Russian") : std::string("English");
                         });

// Everything the operator works with lies inside the 519x295 window and is
// not covered by another widget; the nozzle rows run from nozzle 1 at the top.
// The one exception is the historical layout's: the password and common
// counter inputs share 4 pixels of their frames.
TEST_F(MainWindowTest, EveryWidgetFitsTheWindowAndNoneCoversAnother) {
  Start();
  ASSERT_EQ(519, window_->w());
  ASSERT_EQ(295, window_->h());
  std::vector<Fl_Widget*> shown;
  for (int i = 0; i < window_->children(); i++) {
    Fl_Widget* w = window_->child(i);
    if (!w->visible()) continue;
    EXPECT_GE(w->x(), 0) << i;
    EXPECT_GE(w->y(), 0) << i;
    EXPECT_LE(w->x() + w->w(), window_->w()) << i;
    EXPECT_LE(w->y() + w->h(), window_->h()) << i;
    shown.push_back(w);
  }
  EXPECT_EQ(window_->children() - 2, static_cast<int>(shown.size())) << "hidden until a Read: 2";
  for (size_t i = 0; i < shown.size(); i++) {
    for (size_t j = i + 1; j < shown.size(); j++) {
      Fl_Widget* a = shown[i];
      Fl_Widget* b = shown[j];
      const bool overlap = a->x() < b->x() + b->w() && b->x() < a->x() + a->w() &&
                           a->y() < b->y() + b->h() && b->y() < a->y() + a->h();
      const bool historical = (a == window_->passwordInput && b == window_->commonCounterInput) ||
                              (b == window_->passwordInput && a == window_->commonCounterInput);
      EXPECT_EQ(historical, overlap) << "children " << window_->find(a) << " and " << window_->find(b);
    }
  }
  for (int n = 2; n <= kNozzleRows; n++) {
    EXPECT_GE(window_->nozzleCoefficientInputs[n]->y(),
              window_->nozzleCoefficientInputs[n - 1]->y() + window_->nozzleCoefficientInputs[n - 1]->h()) << n;
  }
}

// A window made twice as large scales every widget with it.
TEST_F(MainWindowTest, ResizingTheWindowScalesEveryWidget) {
  Start();
  struct Frame { int x, y, w, h; };
  std::vector<Frame> before;
  for (int i = 0; i < window_->children(); i++) {
    const Fl_Widget* w = window_->child(i);
    before.push_back({w->x(), w->y(), w->w(), w->h()});
  }
  ASSERT_TRUE(ResizeClientArea(window_, 1038, 590));
  ASSERT_TRUE(PumpUntil([&] { return window_->w() == 1038 && window_->h() == 590; }));
  for (int i = 0; i < window_->children(); i++) {
    SCOPED_TRACE("child " + std::to_string(i));
    const Fl_Widget* w = window_->child(i);
    EXPECT_EQ(2 * before[i].x, w->x());
    EXPECT_EQ(2 * before[i].y, w->y());
    EXPECT_EQ(2 * before[i].w, w->w());
    EXPECT_EQ(2 * before[i].h, w->h());
  }
}

TEST_F(MainWindowTest, TheOneLinkIsDispenserZeroAtAddressOneWithFourNozzles) {
  Start();
  Trk* const link = state_.link;
  ASSERT_NE(nullptr, link);
  EXPECT_EQ(link, linkTable[0]);
  for (int d = 1; d < kDispenserCount; d++) EXPECT_EQ(nullptr, linkTable[d]);
  EXPECT_EQ(0, link->dispenser);
  EXPECT_EQ(1, link->address);
  EXPECT_EQ(0, link->port);
  EXPECT_EQ(0, link->side);
  EXPECT_EQ(18, link->type);
  EXPECT_EQ(4, link->nozzleCount);
  EXPECT_EQ(1, link->sideCount);
  EXPECT_EQ(0, link->firstPosition);
  for (int p = 0; p < 8; p++) EXPECT_EQ(p + 1, link->nozzleCodes[p]);
  EXPECT_EQ(4, link->statusTimeoutFactor);
  EXPECT_EQ(1, link->statusErrorTolerance);
  EXPECT_EQ(0, state_.openPort);

  const DispenserEntry& entry = state_.station.dispensers[0];
  for (int p = 0; p < 8; p++) EXPECT_EQ(1, entry.grades[p]);
  EXPECT_EQ(0, entry.flags);
  EXPECT_EQ(0, entry.controllerType);
  EXPECT_EQ(1, entry.spareByte);
  EXPECT_EQ(0, entry.spareWord);
}

TEST_F(MainWindowTest, WithNoPortTheChoiceIsEmptyAndNothingSelected) {
  Start();
  EXPECT_EQ(0, PortNameList.count);
  EXPECT_TRUE(PortItems().empty());
  EXPECT_EQ(-1, window_->portChoice->value());
  EXPECT_EQ(nullptr, window_->portChoice->mvalue());
}

// Names are shown as they are, also with a '/' (FLTK's submenu separator)
// and twice the same name: item i is always list entry i.
TEST_F(MainWindowTest, PortChoiceListsEveryDiscoveredNameAndSelectsTheFirst) {
  SetTestEnv("TARVO6_PORTS", "STUB /dev/pts/97 TCPC_127.0.0.1:4001 STUB");
  Start();
  std::vector<std::string> listed;
  for (int i = 0; i < PortNameList.count; i++) listed.push_back(PortNameList.names[i]);
  EXPECT_EQ(listed, PortItems());
  EXPECT_EQ(4u, listed.size());
  EXPECT_EQ(0, window_->portChoice->value());
  EXPECT_EQ("", ReadRememberedPort()) << "no tarvo_6.ini";
}

#ifdef TARVO_6_PROGRAM   // the Linux build: the program runs beside the test
// tarvo_6 --list-ports runs the same discovery: the same names in the same
// order as the choice, with a serial device of sysfs among the offered ones.
TEST_F(MainWindowTest, TheCommandLineListsWhatThePortChoiceOffers) {
  fs::create_directories("no_sysfs/class/tty/ttyUSB3");
  fs::create_directory_symlink("/", "no_sysfs/class/tty/ttyUSB3/device");
  setenv("TARVO6_PORTS", "TCPS_5000 STUB /dev/pts/97 TCPC_127.0.0.1:4001 U_12_2", 1);
  Start();
  std::string out;
  ASSERT_EQ(0, RunProgram({TARVO_6_PROGRAM, "--list-ports"}, 10000, &out));
  std::vector<std::string> listed;
  std::istringstream lines(out);
  std::string name;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream(line) >> name;
    listed.push_back(name);
  }
  EXPECT_EQ(6u, listed.size());
  EXPECT_EQ(PortItems(), listed);
}
#endif

// Opening the list discovers the ports again: a name that came is offered,
// the chosen one stays chosen while it is there, and one that went leaves
// nothing chosen rather than its neighbour. An open port freezes the list.
TEST_F(MainWindowTest, ThePortListIsDiscoveredAgainKeepingTheChoiceWhileItExists) {
  SetTestEnv("TARVO6_PORTS", "STUB TCPC_127.0.0.1:4001");
  Start();
  window_->portChoice->value(1);
  SetTestEnv("TARVO6_PORTS", "/dev/pts/96 STUB TCPC_127.0.0.1:4001 TCPC_127.0.0.1:65535");
  window_->refreshPortChoice();
  EXPECT_EQ((std::vector<std::string>{"/dev/pts/96", "STUB", "TCPC_127.0.0.1:4001",
                                      "TCPC_127.0.0.1:65535"}),
            PortItems());
  EXPECT_STREQ("TCPC_127.0.0.1:4001", window_->portChoice->text());

  SetTestEnv("TARVO6_PORTS", "/dev/pts/96 STUB");
  window_->refreshPortChoice();
  EXPECT_EQ(2, PortNameList.count);
  EXPECT_EQ(-1, window_->portChoice->value());

  window_->portChoice->value(1);
  state_.openPort = 7;   // as if a port were open
  SetTestEnv("TARVO6_PORTS", "STUB");
  window_->refreshPortChoice();
  state_.openPort = 0;
  EXPECT_EQ(2, PortNameList.count);
  EXPECT_STREQ("STUB", window_->portChoice->text());
}

TEST_F(MainWindowTest, TheRememberedPortIsSelectedWhenListed) {
  SetTestEnv("TARVO6_PORTS", "STUB /dev/pts/97 TCPC_127.0.0.1:4001 /dev/pts/98");
  RememberPort(kSectionUtf8, kKeyUtf8, "/dev/pts/98");
  Start();
  EXPECT_EQ("/dev/pts/98", ReadRememberedPort());
  ASSERT_EQ(4, PortNameList.count);
  EXPECT_STREQ("/dev/pts/98", PortNameList.names[window_->portChoice->value()]);
  EXPECT_STREQ("/dev/pts/98", window_->portChoice->text());
}

TEST_F(MainWindowTest, ARememberedPortNotListedLeavesTheFirstSelected) {
  SetTestEnv("TARVO6_PORTS", "STUB /dev/pts/97");
  RememberPort(kSectionUtf8, kKeyUtf8, "/dev/pts/9");   // a prefix is no match
  Start();
  EXPECT_EQ("/dev/pts/9", ReadRememberedPort());
  EXPECT_EQ(0, window_->portChoice->value());
}

TEST_F(MainWindowTest, AnIniInWindows1251BytesIsNotRecognised) {
  SetTestEnv("TARVO6_PORTS", "STUB /dev/pts/97");
  RememberPort(kSection1251, kKey1251, "/dev/pts/97");
  Start();
  EXPECT_EQ("", ReadRememberedPort());
  EXPECT_EQ(0, window_->portChoice->value());
}

// A stored value longer than the 100-byte buffer is cut to 99 bytes; even
// when it starts with a listed name it matches nothing.
TEST_F(MainWindowTest, AnOverlongRememberedPortIsCutAndMatchesNothing) {
  SetTestEnv("TARVO6_PORTS", "STUB TCPC_127.0.0.1:4001");
  const std::string stored = "TCPC_127.0.0.1:4001" + std::string(300, '7');
  RememberPort(kSectionUtf8, kKeyUtf8, stored);
  Start();
  EXPECT_EQ(stored.substr(0, 99), ReadRememberedPort());
  EXPECT_EQ(0, window_->portChoice->value());
}

// The window only builds widgets: the ports, the remembered port and the link
// are the start-up's. Built alone, it offers the list as it stands and chooses
// the name it is given, neither discovering, nor reading tarvo_6.ini, nor
// making a link.
TEST_F(MainWindowTest, TheWindowAloneDiscoversNothingReadsNoIniAndMakesNoLink) {
  SetTestEnv("TARVO6_PORTS", "STUB /dev/pts/97");
  RememberPort(kSectionUtf8, kKeyUtf8, "STUB");
  std::snprintf(PortNameList.names[0], kListedNameSize, "%s", "/dev/pts/5");
  std::snprintf(PortNameList.names[1], kListedNameSize, "%s", "/dev/pts/6");
  PortNameList.count = 2;
  std::unique_ptr<xMainForm> window(new xMainForm(302, 339, "tarvo_6", state_, "/dev/pts/6"));
  EXPECT_EQ(&state_, &window->state);
  EXPECT_EQ(2, PortNameList.count);
  ASSERT_NE(nullptr, window->portChoice->menu());
  EXPECT_STREQ("/dev/pts/5", window->portChoice->menu()[0].text);
  EXPECT_STREQ("/dev/pts/6", window->portChoice->text());
  EXPECT_EQ(nullptr, state_.link);
  EXPECT_EQ(nullptr, linkTable[0]);
}

TEST_F(MainWindowTest, TheLogoComesFromQvBmpInTheWorkingDirectory) {
  InstallLogo();
  Start();
  Fl_Image* logo = window_->logoBox->image();
  ASSERT_NE(nullptr, logo);
  EXPECT_EQ(64, logo->w());
  EXPECT_EQ(64, logo->h());
}

TEST_F(MainWindowTest, AMissingLogoLeavesTheBoxEmpty) {
  Start();
  EXPECT_EQ(nullptr, window_->logoBox->image());
  EXPECT_TRUE(window_->visible());
}

// A damaged logo claiming a huge picture is refused at once instead of
// keeping start-up busy allocating and reading for it.
TEST(LogoImageTest, DamagedOrTruncatedFilesGiveNoImage) {
  ScratchDir scratch;
  std::string header(54, '\0');
  header[0] = 'B';
  header[1] = 'M';
  header[14] = 40;
  auto withSides = [&](uint32_t width, uint32_t height) {
    std::string h = header;
    for (int i = 0; i < 4; i++) {
      h[18 + i] = static_cast<char>(width >> (8 * i));
      h[22 + i] = static_cast<char>(height >> (8 * i));
    }
    return h;
  };
  WriteFile("text.bmp", "BM this is not a bitmap");
  WriteFile("huge.bmp", withSides(1000000, 1000000));
  WriteFile("empty.bmp", withSides(0, 64));
  WriteFile("short.bmp", "BM");
  for (const char* name : {"text.bmp", "huge.bmp", "empty.bmp", "short.bmp", "missing.bmp"}) {
    EXPECT_EQ(nullptr, LoadLogoImage(name)) << name;
  }
  fs::copy_file(TARVO_LOGO_FILE, "qv.bmp");
  std::unique_ptr<Fl_Image> logo(LoadLogoImage("qv.bmp"));
  ASSERT_NE(nullptr, logo);
  EXPECT_EQ(64, logo->w());
  // Top-down rows (negative height) are a valid bitmap too.
  std::string topDown = withSides(64, static_cast<uint32_t>(-64));
  std::ifstream original("qv.bmp", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(original)), std::istreambuf_iterator<char>());
  WriteFile("top_down.bmp", topDown.substr(0, 26) + bytes.substr(26));
  std::unique_ptr<Fl_Image> flipped(LoadLogoImage("top_down.bmp"));
  ASSERT_NE(nullptr, flipped);
  EXPECT_EQ(64, flipped->h());
}

// Open/Close, Read and Write act on the left button's release or the
// keyboard; the other buttons hand their user data to their procedure.
TEST_F(MainWindowTest, EachButtonReachesItsProcedure) {
  Start();
  Click(window_->openCloseButton);
  ASSERT_TRUE(PumpUntil([] { return Calls.openClose == 1; }));

  // Inactive at start: clicks on Read and Write reach nothing.
  Click(window_->readButton);
  Click(window_->writeButton);
  SyncWithAbout();
  EXPECT_EQ(0, Calls.read);
  EXPECT_EQ(0, Calls.write);

  window_->readButton->activate();   // as Open Port does
  window_->writeButton->activate();
  Click(window_->readButton);
  ASSERT_TRUE(PumpUntil([] { return Calls.read == 1; }));
  Click(window_->writeButton);
  ASSERT_TRUE(PumpUntil([] { return Calls.write == 1; }));

  Click(window_->nozzleLoadButtons[3]);
  Click(window_->nozzleLoadButtons[8]);
  ASSERT_TRUE(PumpUntil([] { return Calls.loads.size() == 2; }));
  EXPECT_EQ(std::vector<long>({2, 7}), Calls.loads);
  EXPECT_EQ(1, Calls.openClose);
  EXPECT_EQ(window_, Calls.form);
}

TEST_F(MainWindowTest, RightOrMiddleButtonDoesNotOpenReadOrWrite) {
  Start();
  window_->readButton->activate();
  window_->writeButton->activate();
  for (Fl_Widget* w : {static_cast<Fl_Widget*>(window_->openCloseButton),
                       static_cast<Fl_Widget*>(window_->readButton),
                       static_cast<Fl_Widget*>(window_->writeButton)}) {
    Click(w, 3);
    Click(w, 2);
  }
  SyncWithAbout();
  EXPECT_EQ(0, Calls.openClose);
  EXPECT_EQ(0, Calls.read);
  EXPECT_EQ(0, Calls.write);
}

TEST_F(MainWindowTest, TheSpaceKeyActivatesTheFocusedButton) {
  Start();
  window_->readButton->activate();
  ASSERT_TRUE(FocusWindow(window_));
  window_->readButton->take_focus();
  ASSERT_TRUE(PressSpace());
  ASSERT_TRUE(PumpUntil([] { return Calls.read == 1; }));
  window_->openCloseButton->take_focus();
  ASSERT_TRUE(PressSpace());
  ASSERT_TRUE(PumpUntil([] { return Calls.openClose == 1; }));
}

TEST_F(MainWindowTest, TypingInACoefficientMarksOnlyThatNozzleEdited) {
  Start();
  Click(window_->nozzleCoefficientInputs[5]);
  ASSERT_TRUE(TypeText("10.5"));
  ASSERT_TRUE(PumpUntil([&] { return strcmp(window_->nozzleCoefficientInputs[5]->value(), "10.5") == 0; }));
  for (int i = 0; i < kNozzleRows; i++) EXPECT_EQ(i == 4 ? 1 : 0, window_->nozzleEdited[i]) << i;
}

TEST_F(MainWindowTest, StartUpAppendsTheEntryLineToPortOut) {
  WriteFile("port.out", "earlier run.\r\n");
  Start();
  EXPECT_EQ(14u + 20u, fs::file_size("port.out"));
}

// What an alert box showed: its right edge, its Close button's, its text.
struct AlertSeen {
  int right = -1, buttonRight = -1;
  std::string text;
};

void LookAtTheAlert(void* data) {
  AlertSeen& seen = *static_cast<AlertSeen*>(data);
  Fl_Window* alert = Fl::modal();
  if (alert == nullptr || !alert->shown()) return Fl::repeat_timeout(0.05, LookAtTheAlert, data);
  seen.right = alert->x() + alert->w();
  for (int i = 0; i < alert->children(); ++i) {
    Fl_Widget* child = alert->child(i);
    if (child->visible() && dynamic_cast<Fl_Button*>(child))
      seen.buttonRight = std::max(seen.buttonRight, alert->x() + child->x() + child->w());
    else if (child->label() && std::strlen(child->label()) > seen.text.size())
      seen.text = child->label();
  }
  alert->hide();
}

// The longest reason the tool gives, in Russian, after a long path: far wider
// than the screen on one line. The alert wraps it, keeps every word, and
// stays on the screen with its Close button.
TEST_F(MainWindowTest, AnAlertWithTheLongestReasonFitsTheScreen) {
  InstallCatalog();
  Start();
  std::string longest;
  for (int code = -2; code < 160; ++code)
    if (std::strlen(SystemErrorText(code)) > longest.size()) longest = SystemErrorText(code);
  const std::string path = "/home/operator/" + std::string(120, 'x') + "/calibration-journal.csv";
  char text[1024];
  std::snprintf(text, sizeof text,
                tr("Cannot write the calibration journal %s (%s): nothing more is sent to the "
                   "controller"),
                path.c_str(), longest.c_str());
  AlertSeen seen;
  Fl::add_timeout(0.05, LookAtTheAlert, &seen);
  ShowAlert(text);
  EXPECT_GT(seen.right, 0);
  EXPECT_LE(seen.right, Fl::w());
  EXPECT_LE(seen.buttonRight, seen.right);
  const auto words = [](std::string t) {
    t.erase(std::remove_if(t.begin(), t.end(), [](char c) { return c == ' ' || c == '\n'; }),
            t.end());
    return t;
  };
  EXPECT_EQ(words(seen.text), words(text));
}

}  // namespace

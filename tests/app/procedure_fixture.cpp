#include "tests/app/procedure_fixture.h"

#include <FL/Fl.H>
#include <FL/Fl_Menu_Item.H>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "app/alert.h"
#include "app/controller_state.h"
#include "app/main_form.h"
#include "app/procedures.h"
#include "app/test_fill.h"
#include "link/frame.h"
#include "clock/tick.h"
#include "port/discovery.h"
#include "port/port.h"
#include "tests/app/private_display.h"
#include "tests/support/scratch_dir.h"
#include "tools/dispenser_sim/image_file.h"

std::vector<std::string> ProcedureTest::alerts;

namespace {

PrivateDisplay* Display;
ScratchDir* Scratch;

void CaptureAlert(const char* text) { ProcedureTest::alerts.emplace_back(text); }

// The port choice offers exactly the simulator's pseudo-terminal.
void OfferPort(const std::string& path) {
  static Fl_Menu_Item items[2];
  std::snprintf(PortNameList.names[0], sizeof PortNameList.names[0], "%s", path.c_str());
  PortNameList.count = 1;
  items[0] = Fl_Menu_Item{};
  items[0].text = PortNameList.names[0];
  items[1] = Fl_Menu_Item{};
  MainForm->portChoice->copy(items);
  MainForm->portChoice->value(0);
}

std::vector<uint8_t> ParseHex(const std::string& text) {
  std::vector<uint8_t> bytes;
  std::istringstream words(text);
  std::string word;
  while (words >> word) bytes.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
  return bytes;
}

}  // namespace

// Once per process, as main() does it: the window lives as long as the
// program, and the tick service and the port layer stop at its end.
class ProgramEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    Display = new PrivateDisplay();
    Scratch = new ScratchDir();   // port.out, images and traces land here
    tickStart();
    PortLayerStart();
    xMainForm* form = new xMainForm(302, 339, "tarvo_6");
    form->resize(302, 339, 519, 295);
    form->show();
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

void ProcedureTest::SetUp() {
  ASSERT_TRUE(Display && Display->ok()) << "Xvfb did not start";
  alerts.clear();
  static int runs = 0;
  run_ = ++runs;
  imagePath = Scratch->path() + "/image" + std::to_string(run_) + ".txt";
  tracePath = Scratch->path() + "/trace" + std::to_string(run_) + ".txt";
}

void ProcedureTest::TearDown() {
  Fl::remove_timeout(FillTimer);
  ActiveNozzle = 0;
  for (int& v : LastVolume) v = 0;
  for (int& e : nozzleEdited) e = 0;
  MainForm->fullTankCheck->value(0);
  if (OpenPortHandle != 0) OpenClosePort();
  sim.reset();
}

void ProcedureTest::Connect(const std::vector<std::string>& args) {
  std::vector<std::string> all = args;
  for (const char* a : {"--image", imagePath.c_str(), "--trace-file", tracePath.c_str()})
    all.emplace_back(a);
  sim = std::make_unique<DispenserSim>(all);
  ASSERT_TRUE(sim->ok()) << "dispenser-sim did not start";
  OfferPort(sim->announce());
  OpenClosePort();
  ASSERT_NE(OpenPortHandle, 0) << alerts.size();
}

void ProcedureTest::Connect(const MemoryImage& image, const std::vector<std::string>& args) {
  std::string error;
  ASSERT_TRUE(saveImage(imagePath, image, 0, &error)) << error;
  Connect(args);
}

void ProcedureTest::Read(const char* address) {
  MainForm->addressInput->value(address);
  ReadController();
}

MemoryImage ProcedureTest::StopAndLoadImage(int* commits) {
  MemoryImage image;
  int savedCommits = 0;
  EXPECT_EQ(sim->stop(), 0);
  std::string error;
  EXPECT_TRUE(loadImage(imagePath, &image, &savedCommits, &error)) << error;
  if (commits) *commits = savedCommits;
  return image;
}

std::vector<Received> ProcedureTest::ReceivedRequests() {
  std::vector<Received> out;
  std::ifstream in(tracePath);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream lines(text.substr(std::min(traceOffset, text.size())));
  std::string line;
  while (std::getline(lines, line)) {
    // "   time rx 60 01 48 68 ...  | to 01: read 1 bytes at ..."
    const size_t rx = line.find(" rx ");
    const size_t bar = line.find("  | ");
    if (rx == std::string::npos || bar == std::string::npos || bar < rx) continue;
    out.push_back({ParseHex(line.substr(rx + 4, bar - rx - 4)), line.substr(bar + 4)});
  }
  return out;
}

std::vector<std::string> ProcedureTest::MemoryRequests() {
  std::vector<std::string> out;
  for (const Received& r : ReceivedRequests()) {
    const size_t colon = r.what.find(": ");
    const std::string what = colon == std::string::npos ? r.what : r.what.substr(colon + 2);
    if (what.rfind("read ", 0) == 0 || what.rfind("write ", 0) == 0) out.push_back(what);
  }
  return out;
}

void ProcedureTest::ForgetReceived() {
  std::ifstream in(tracePath, std::ios::ate);
  traceOffset = in ? static_cast<size_t>(in.tellg()) : 0;
}

void ProcedureTest::Type(int n, const char* text) {
  Fl_Input* input = nozzleCoefficientInputs[n];
  input->value(text);
  input->do_callback();   // what typing does: the input's callback marks it edited
}

bool ProcedureTest::PumpStep() {
  Fl::wait(0.005);
  return true;
}

MemoryImage FreshImage(int variant, int nozzles, int groups, std::vector<int> groupAddresses) {
  layout::Spec spec;
  spec.variant = variant;
  spec.nozzles = nozzles;
  spec.groups = groups;
  for (size_t g = 0; g < groupAddresses.size() && g < 4; ++g) spec.groupAddress[g] = groupAddresses[g];
  MemoryImage image;
  layout::build(spec, image);
  return image;
}

std::vector<uint8_t> Bytes(const MemoryImage& image, int bank, uint32_t address, int size) {
  std::vector<uint8_t> out(static_cast<size_t>(size));
  image.getBlock(bank, address, out.data(), size);
  return out;
}

void FixSettingsChecksum(MemoryImage& image) {
  const int length = image.get(0, layout::kSettingsLength);
  std::vector<uint8_t> block = Bytes(image, 0, layout::kSettings, length);
  image.set(0, layout::kSettings + length - 1,
            static_cast<uint8_t>(frameChecksum(block.data(), length - 1)));
}

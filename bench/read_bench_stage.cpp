#include "bench/read_bench_stage.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include <FL/Fl_Menu_Item.H>

#include "app/core/app_state.h"
#include "app/core/application_link.h"
#include "app/core/controller_state.h"
#include "app/window/main_form.h"
#include "app/window/procedures.h"
#include "clock/tick.h"
#include "port/discovery.h"
#include "port/port.h"

namespace {
AppState TheState;
xMainForm* TheForm = nullptr;
}  // namespace

AppState& State() { return TheState; }
xMainForm& Form() { return *TheForm; }

ReadBenchStage::ReadBenchStage(const std::string& folderPrefix) {
  const std::string pattern = "/tmp/" + folderPrefix + "_XXXXXX";
  std::vector<char> folder(pattern.begin(), pattern.end());
  folder.push_back('\0');
  if (!mkdtemp(folder.data()) || chdir(folder.data()) != 0) return;
  folder_ = folder.data();
  tickStart();
  PortLayerStart();
  if (TheState.link == nullptr) TheState.link = CreateApplicationLink(TheState.station);
  TheForm = new xMainForm(519, 295, "tarvo_6", TheState);
}

ReadBenchStage::~ReadBenchStage() {
  if (!ok()) return;
  closePort();
  PortLayerStop();
  tickStop();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

bool ReadBenchStage::openPort(const std::string& device) {
  closePort();
  static Fl_Menu_Item items[2];
  std::snprintf(PortNameList.names[0], sizeof PortNameList.names[0], "%s", device.c_str());
  PortNameList.count = 1;
  items[0].text = PortNameList.names[0];
  Form().portChoice->copy(items);
  Form().portChoice->value(0);
  OpenClosePort(Form());
  if (State().openPort == 0) return false;
  Form().addressInput->value("1");
  return true;
}

void ReadBenchStage::closePort() {
  if (State().openPort != 0) OpenClosePort(Form());
}

bool ReadBenchStage::readFound(int nozzles) {
  return std::string(Form().stateBox->label()) == "Connected" &&
         State().controller.nozzleCount == nozzles;
}

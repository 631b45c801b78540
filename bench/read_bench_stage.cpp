#include "bench/read_bench_stage.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include <FL/Fl_Menu_Item.H>

#include "app/core/controller_state.h"
#include "app/window/main_form.h"
#include "app/window/procedures.h"
#include "clock/tick.h"
#include "port/discovery.h"
#include "port/port.h"

ReadBenchStage::ReadBenchStage(const std::string& folderPrefix) {
  const std::string pattern = "/tmp/" + folderPrefix + "_XXXXXX";
  std::vector<char> folder(pattern.begin(), pattern.end());
  folder.push_back('\0');
  if (!mkdtemp(folder.data()) || chdir(folder.data()) != 0) return;
  folder_ = folder.data();
  tickStart();
  PortLayerStart();
  new xMainForm(519, 295, "tarvo_6");
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
  MainForm->portChoice->copy(items);
  MainForm->portChoice->value(0);
  OpenClosePort();
  if (OpenPortHandle == 0) return false;
  MainForm->addressInput->value("1");
  return true;
}

void ReadBenchStage::closePort() {
  if (OpenPortHandle != 0) OpenClosePort();
}

bool ReadBenchStage::readFound(int nozzles) {
  return std::string(MainForm->stateBox->label()) == "Connected" &&
         Controller.nozzleCount == nozzles;
}

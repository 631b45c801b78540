#include "tests/app/program_fixture.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/app/display_environment.h"
#include "tests/app/private_display.h"
#include "tests/support/wait_until.h"

namespace {

DisplayEnvironment* const Display = DisplayEnvironment::Register();

}  // namespace

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void ProgramTest::SetUp() {
  ASSERT_TRUE(Display->ok()) << "Xvfb did not start";
  ASSERT_TRUE(scratch_.ok());
  // The machine's own serial devices and USB adapters stay out of the port list.
  std::filesystem::create_directories("no_sysfs/class/tty");
  setenv("TARVO6_SYSFS", (scratch_.path() + "/no_sysfs").c_str(), 1);
  setenv("TARVO6_LIBUSB", (scratch_.path() + "/no_libusb.so").c_str(), 1);
  unsetenv("TARVO6_PORTS");
}

void ProgramTest::TearDown() {
  if (tool_ > 0) WaitProgram(tool_, 0);   // kills a tool a failed test left running
  StopSimulator();
}

void ProgramTest::StartTool() {
  tool_ = StartProgram({TARVO_6_PROGRAM});
  ASSERT_GT(tool_, 0);
  ASSERT_TRUE(waitUntil([&] {
    std::string found;
    RunProgram({"xdotool", "search", "--onlyvisible", "--name", "^tarvo_6$"}, 5000, &found);
    window_ = found.substr(0, found.find('\n'));
    return !window_.empty();
  }, 20000)) << "no window";
}

int ProgramTest::CloseTool() {
  RunProgram({"xdotool", "mousemove", "--window", window_, "300", "280", "key", "Escape"}, 5000);
  const int status = WaitProgram(tool_, 10000);
  tool_ = -1;
  return status;
}

void ProgramTest::Click(int x, int y) {
  RunProgram({"xdotool", "mousemove", "--window", window_, std::to_string(x), std::to_string(y),
              "click", "1"}, 5000);
}

void ProgramTest::StartSimulator(const std::vector<std::string>& args) {
  sim_ = std::make_unique<DispenserSim>(args);
  port_ = sim_->announce();
  ASSERT_EQ(0u, port_.find("/dev/pts/")) << port_;
  setenv("TARVO6_PORTS", port_.c_str(), 1);
}

void ProgramTest::StopSimulator() {
  if (sim_) sim_->stop();
  sim_.reset();
}

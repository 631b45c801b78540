// The built tarvo_6 program seen from outside, as the X server and the
// operator see it: where its window opens, its icon, its clean exit, the
// entry line it leaves in port.out, and a Read of the simulated controller
// through clicks on its buttons.
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "tests/app/private_display.h"
#include "tests/app/program_fixture.h"
#include "tests/support/process_activity.h"
#include "tests/support/wait_until.h"

namespace fs = std::filesystem;

namespace {

class Tarvo6ProgramTest : public ProgramTest {
 protected:
  void InstallRunFolder() {
    fs::copy_file(TARVO_LOGO_FILE, "qv.bmp");
    fs::create_directories("ru");
    fs::copy_file(TARVO_CATALOG_FILE, "ru/tarvo_6.mo");
  }

  // dispenser-sim of variant 1 on a pty (trace in sim.trace), offered to the tool.
  void StartSimulator(const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"--pty", "--variant", "1", "--nozzles", "4",
                                     "--address", "1", "--trace-file", "sim.trace"};
    args.insert(args.end(), extra.begin(), extra.end());
    ProgramTest::StartSimulator(args);
  }

  // Context switches of all the tool's threads over ms: each time one of
  // them was woken, it ended in one. -1 when /proc could not be read.
  long WakeUpsOver(int ms) {
    ProcessActivity before, after;
    if (!ReadProcessActivity(tool_, &before)) return -1;
    usleep(ms * 1000);
    if (!ReadProcessActivity(tool_, &after)) return -1;
    return after.contextSwitches - before.contextSwitches;
  }

  std::map<std::string, int> Geometry() {
    std::string shell;
    RunProgram({"xdotool", "getwindowgeometry", "--shell", window_}, 5000, &shell);
    std::map<std::string, int> values;
    std::istringstream lines(shell);
    for (std::string line; std::getline(lines, line);) {
      size_t eq = line.find('=');
      if (eq != std::string::npos) values[line.substr(0, eq)] = atoi(line.c_str() + eq + 1);
    }
    return values;
  }

};

TEST_F(Tarvo6ProgramTest, OpensAt302x339Sized519x295WithItsIconAndEndsCleanly) {
  InstallRunFolder();
  StartTool();
  std::map<std::string, int> geometry = Geometry();
  EXPECT_EQ(302, geometry["X"]);
  EXPECT_EQ(339, geometry["Y"]);
  EXPECT_EQ(519, geometry["WIDTH"]);
  EXPECT_EQ(295, geometry["HEIGHT"]);

  // The default icon reaches the window manager as a 32 x 32 image.
  std::string icon;
  RunProgram({"xprop", "-id", window_, "_NET_WM_ICON"}, 5000, &icon);
  EXPECT_NE(std::string::npos, icon.find("Icon (32 x 32)")) << icon.substr(0, 80);

  EXPECT_EQ(0, CloseTool());
  EXPECT_EQ(20u, fs::file_size("port.out"));
}

// Without logo and catalog the tool still starts; every run appends its
// 20-byte entry line to port.out.
TEST_F(Tarvo6ProgramTest, StartsWithoutLogoOrCatalogAndLogsEachRun) {
  for (int run = 1; run <= 2; run++) {
    SCOPED_TRACE(run);
    StartTool();
    EXPECT_EQ(519, Geometry()["WIDTH"]);
    EXPECT_EQ(0, CloseTool());
    EXPECT_EQ(20u * run, fs::file_size("port.out"));
  }
  const std::string log = ReadFile("port.out");
  EXPECT_EQ(log.substr(0, 20), log.substr(20));
}

// A named pipe, or a link to an endless device, in place of each file the
// tool reads at start is taken for a missing file: the window comes at once
// and nothing is written into the pipe or device.
TEST_F(Tarvo6ProgramTest, PipesAndDevicesInPlaceOfItsFilesAreTakenForMissing) {
  const char* files[] = {"tarvo_6.ini", "qv.bmp", "ru/tarvo_6.mo", "port.out"};
  fs::create_directories("ru");
  for (bool fifo : {true, false}) {
    SCOPED_TRACE(fifo ? "FIFO" : "/dev/zero");
    for (const char* file : files) {
      fs::remove(file);
      if (fifo) {
        ASSERT_EQ(0, mkfifo(file, 0600)) << file;
      } else {
        fs::create_symlink("/dev/zero", file);
      }
    }
    StartTool();
    EXPECT_EQ(519, Geometry()["WIDTH"]);
    EXPECT_EQ(0, CloseTool());
    EXPECT_TRUE(fs::is_fifo("port.out") || fs::is_symlink("port.out"));
  }
}

// A wire trace named after a FIFO without a reader: the open does not wait
// for one; the window comes, with an alert saying why there is no trace, and
// a signal still ends the program cleanly while the alert is up.
TEST_F(Tarvo6ProgramTest, ATraceNamedAfterAFifoDoesNotHoldUpTheWindow) {
  ASSERT_EQ(0, mkfifo("wire.fifo", 0600));
  setenv("TARVO6_TRACE", "wire.fifo", 1);
  StartTool();
  unsetenv("TARVO6_TRACE");
  ASSERT_GT(tool_, 0);
  kill(tool_, SIGTERM);
  EXPECT_EQ(0, WaitProgram(tool_, 10000));
  tool_ = -1;
}

// Open Port and Read clicked with the left button reach the simulated
// controller: the whole Read, down to the password state, goes over the wire.
TEST_F(Tarvo6ProgramTest, OpenAndReadClickedReadTheSimulatedController) {
  InstallRunFolder();
  StartSimulator({});
  StartTool();
  // A right click on Open Port opens nothing, so the left click on Read
  // after it meets an inactive button.
  RunProgram({"xdotool", "mousemove", "--window", window_, "56", "52", "click", "3"}, 5000);
  RunProgram({"xdotool", "mousemove", "--window", window_, "160", "100", "click", "1"}, 5000);
  RunProgram({"xdotool", "mousemove", "--window", window_, "56", "52", "click", "1"}, 5000);
  RunProgram({"xdotool", "mousemove", "--window", window_, "160", "100", "click", "1"}, 5000);
  EXPECT_TRUE(waitUntil([] { return ReadFile("sim.trace").find("(password state)") != std::string::npos; },
                        10000)) << ReadFile("sim.trace");
  const std::string trace = ReadFile("sim.trace");
  const char kStatusRead[] = "read 1 bytes at 2:000024";
  size_t first = trace.find(kStatusRead);
  EXPECT_NE(std::string::npos, first);
  EXPECT_EQ(std::string::npos, trace.find(kStatusRead, first + 1))
      << "Read ran more than once:\n" << trace;
  EXPECT_EQ(0, CloseTool());
}

// With nothing to do the tool sleeps in the toolkit's event wait: no timer or
// thread wakes it, neither before a port is open nor after a Read and a test
// fill have ended. (A tick thread woke it a thousand times a second; a
// repeating timeout at 10 ms, a hundred.) A few wake-ups are allowed for
// whatever the X server may still send.
TEST_F(Tarvo6ProgramTest, SleepsWhileIdleBeforeAndAfterAReadAndATestFill) {
  constexpr int kMs = 3000;
  constexpr long kAllowed = 3 * kMs / 1000;
  InstallRunFolder();
  StartSimulator({"--rate", "20000", "--hold-ms", "300"});
  StartTool();
  usleep(500 * 1000);  // the window's first drawing
  EXPECT_LE(WakeUpsOver(kMs), kAllowed) << "idle with the window just opened";

  Click(56, 52);    // Open Port
  Click(160, 100);  // Read..
  ASSERT_TRUE(waitUntil([] { return ReadFile("sim.trace").find("(password state)") != std::string::npos; },
                        10000)) << ReadFile("sim.trace");
  Click(420, 28);  // Load 10l on nozzle 1
  // The fill is followed until the controller reports the nozzle idle again
  // after its hold time; then the trace stops growing.
  ASSERT_TRUE(waitUntil([] { return ReadFile("sim.trace").find("command 0x01") != std::string::npos; },
                        5000)) << "no preset:\n" << ReadFile("sim.trace");
  // Quiet for 300 ms, longer than any pause between two status polls.
  size_t length = 0;
  ASSERT_TRUE(waitUntil([&] {
    const size_t now = ReadFile("sim.trace").size();
    if (now != length) {
      length = now;
      usleep(300 * 1000);
      return false;
    }
    return true;
  }, 15000)) << "the tool keeps polling";
  // One more second in which nothing may reach the wire.
  EXPECT_FALSE(waitUntil([&] { return ReadFile("sim.trace").size() != length; }, 1000));
  EXPECT_LE(WakeUpsOver(kMs), kAllowed) << "idle after a Read and a test fill";
  EXPECT_EQ(0, CloseTool());
}

}  // namespace

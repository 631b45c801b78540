// How the built program ends, seen from outside: a termination signal or the
// close button during a Write lets the Write finish (every record, the
// counter, the commit) before the program ends; at rest a signal ends it at
// once. Either way the port is closed on the way out, so an ordinary user can
// open the pseudo-terminal again (its exclusive mode would refuse them).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/app/private_display.h"
#include "tests/app/program_fixture.h"
#include "tests/support/other_user_open.h"
#include "tests/support/wait_until.h"
#include "tools/dispenser_sim/image_file.h"
#include "tools/dispenser_sim/layout.h"

namespace fs = std::filesystem;

namespace {

uint64_t K(const MemoryImage& image, int nozzle) {
  uint8_t r[5];
  image.getBlock(0, (0x10 + nozzle) * 256, r, 5);
  uint64_t v = r[4];
  for (int i = 3; i >= 0; --i) v = v << 8 | r[i];
  return v;
}

class ProgramEndTest : public ProgramTest {
 protected:
  // A paced variant-1 controller with four nozzles, its port the only one offered.
  void StartSim() {
    StartSimulator({"--pty", "--variant", "1", "--nozzles", "4", "--pace", "--image", "sim.img",
                    "--trace-file", "sim.trace"});
  }

  bool TraceHas(const std::string& text) {
    return ReadFile("sim.trace").find(text) != std::string::npos;
  }

  // Open Port and Read, as clicked; true once the Read has gone over the wire.
  bool OpenAndRead() {
    const size_t reads = Count("(password state)");
    Click(56, 52);
    Click(160, 100);
    return waitUntil([&] { return Count("(password state)") > reads; }, 15000);
  }
  size_t Count(const std::string& text) {
    const std::string trace = ReadFile("sim.trace");
    size_t count = 0;
    for (size_t at = trace.find(text); at != std::string::npos; at = trace.find(text, at + 1))
      ++count;
    return count;
  }

  // Types the values over the nozzles' coefficients and clicks Write. The
  // tool takes the clicks and keys in order, after the Read.
  void TypeAndWrite(const std::vector<const char*>& values) {
    for (size_t n = 1; n <= values.size(); ++n) {
      Click(326, 28 + 25 * int(n - 1));
      RunProgram({"xdotool", "key", "ctrl+a", "type", values[n - 1]}, 5000);
    }
    Click(152, 268);
  }

  // The tool's visible windows: the main window, and an alert box when one is up.
  std::vector<std::string> ToolWindows() {
    std::string found;
    RunProgram({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(tool_)}, 5000, &found);
    std::vector<std::string> windows;
    for (size_t at = 0, end; (end = found.find('\n', at)) != std::string::npos; at = end + 1)
      windows.push_back(found.substr(at, end - at));
    return windows;
  }

  // The tool's exit status once it has ended by itself.
  int ToolExit() {
    int status = WaitProgram(tool_, 20000);
    tool_ = -1;
    return status;
  }

  // True when the tool ends within ms (its exit status then in *status).
  bool ToolEndsWithin(int ms, int* status) {
    const bool ended = waitUntil([&] { return waitpid(tool_, status, WNOHANG) == tool_; }, ms);
    if (ended) tool_ = -1;
    return ended;
  }

  // Each nozzle's coefficient scaled by its factor, the counter advanced and
  // one commit.
  void ExpectTheWholeWriteLanded(const std::vector<long double>& factors = {1.01L, 1.01L, 1.01L,
                                                                            1.01L}) {
    StopSimulator();
    MemoryImage before, after;
    layout::ControllerLayout controllerLayout;
    layout::build(controllerLayout, before);
    int commits = 0;
    std::string error;
    ASSERT_TRUE(loadImage("sim.img", &after, &commits, &error)) << error;
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(K(after, i), static_cast<uint64_t>(std::floor(K(before, i) * factors[i] + 0.5L)))
          << "nozzle " << i + 1 << "\n" << ReadFile("sim.trace");
    }
    EXPECT_EQ(after.get16(0, 0x4001), 13);
    EXPECT_EQ(commits, 1);
  }

};

TEST_F(ProgramEndTest, SigtermDuringAWriteEndsTheProgramOnlyAfterTheCommit) {
  StartSim();
  StartTool();
  ASSERT_TRUE(OpenAndRead());
  TypeAndWrite({"10.1", "10.1", "10.1", "10.1"});
  ASSERT_TRUE(waitUntil([&] { return TraceHas("write 20 bytes at 0:001000"); }, 15000))
      << ReadFile("sim.trace");
  ASSERT_FALSE(TraceHas("0:88FFFF")) << "the Write ended before the signal";
  kill(tool_, SIGTERM);
  EXPECT_EQ(0, ToolExit());
  EXPECT_EQ(0, OpenAsOrdinaryUser(port_)) << "the port was left locked";
  ExpectTheWholeWriteLanded();
}

// An alert box during a Write runs the event loop, where the signal arrives:
// the program still waits for the rest of the Write.
TEST_F(ProgramEndTest, SigtermWhileAWritesAlertIsUpWaitsForTheRestOfTheWrite) {
  StartSim();
  StartTool();
  ASSERT_TRUE(OpenAndRead());
  TypeAndWrite({"0", "10.1", "10.1", "10.1"});   // 0: "Wrong value entered", then the rest
  ASSERT_TRUE(waitUntil([&] { return ToolWindows().size() == 2; }, 15000)) << "no alert box";
  kill(tool_, SIGTERM);
  int status = -1;
  EXPECT_FALSE(ToolEndsWithin(1000, &status)) << "ended with three nozzles unwritten";
  if (tool_ > 0) {
    for (const std::string& w : ToolWindows()) {   // the operator closes the alert box
      if (w != window_)
        RunProgram({"xdotool", "mousemove", "--window", w, "20", "20", "key", "Return"}, 5000);
    }
    ASSERT_TRUE(ToolEndsWithin(20000, &status));
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ExpectTheWholeWriteLanded({1.0L, 1.01L, 1.01L, 1.01L});
}

TEST_F(ProgramEndTest, TheCloseKeyDuringAWriteWaitsForItAndReleasesThePort) {
  StartSim();
  StartTool();
  ASSERT_TRUE(OpenAndRead());
  TypeAndWrite({"10.1", "10.1", "10.1", "10.1"});
  ASSERT_TRUE(waitUntil([&] { return TraceHas("write 20 bytes at 0:001000"); }, 15000));
  RunProgram({"xdotool", "mousemove", "--window", window_, "300", "280", "key", "Escape"}, 5000);
  EXPECT_EQ(0, ToolExit());
  EXPECT_EQ(0, OpenAsOrdinaryUser(port_)) << "the port was left locked";
  ExpectTheWholeWriteLanded();
}

TEST_F(ProgramEndTest, EachTerminationSignalAtRestClosesThePortAndEnds) {
  StartSim();
  for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
    SCOPED_TRACE(signal);
    StartTool();
    ASSERT_TRUE(OpenAndRead());
    kill(tool_, signal);
    EXPECT_EQ(0, ToolExit());
    EXPECT_EQ(0, OpenAsOrdinaryUser(port_)) << "the port was left locked";
  }
}

}  // namespace

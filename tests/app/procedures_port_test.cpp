// Open/Close Port and the procedures when the line goes away: the reasons
// shown under "error", a controller unplugged in the middle of a Read and of a
// test fill.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <FL/Fl.H>

#include "app/core/controller_state.h"
#include "app/window/main_form.h"
#include "app/window/procedures.h"
#include "app/window/fill_buttons.h"
#include "port/discovery.h"
#include "port/port.h"
#include "tests/app/procedure_fixture.h"
#include "tests/support/pty_pair.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class PortProcedureTest : public ProcedureTest {
 protected:
  // Chooses name as the only port in the list and presses Open Port.
  static void OpenNamed(const std::string& name) {
    std::snprintf(PortNameList.names[0], sizeof PortNameList.names[0], "%s", name.c_str());
    PortNameList.count = 1;
    Form().portChoice->value(0);
    OpenClosePort(Form());
  }
};

TEST_F(PortProcedureTest, EveryOpenFailureSaysWhyOnTheLineUnderError) {
  OpenNamed("/dev/tarvo6-no-such-adapter");
  OpenNamed("TCPC_127.0.0.1:99999");
  PtyPair held;
  ASSERT_TRUE(held.ok());
  uint16_t holder = 0;
  ASSERT_EQ(PortOpen(&holder, held.slavePath().c_str()), kPortOpened);
  OpenNamed(held.slavePath());
  PortClose(holder);
  EXPECT_EQ(State().openPort, 0);
  EXPECT_EQ(alerts, (std::vector<std::string>{
                        "error\nThe port was not found",
                        "error\nMalformed TCP port name: TCPC_address:port or "
                        "TCPS_[address:]port[@peer], port 1-65535",
                        "error\nThe port is busy: another program holds it"}));
  // Root opens any device: the dialout group can only be seen missing by others.
  if (geteuid() != 0) {
    alerts.clear();
    const std::string locked = "/tmp/tarvo6-locked-" + std::to_string(getpid());
    std::FILE* f = std::fopen(locked.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    chmod(locked.c_str(), 0);
    OpenNamed(locked);
    unlink(locked.c_str());
    EXPECT_EQ(alerts, std::vector<std::string>{
                          "error\nPermission denied: the user is not in the dialout group"});
  }
}

// The controller vanishes 150 ms into a paced Read: what is left of the Read
// fails at once instead of each exchange sitting out its time-out and settle
// (9 s before), and the next Read says "No connection" without waiting.
TEST_F(PortProcedureTest, ReadOnALineThatHangsUpEndsWithinOneTimeOut) {
  Connect(FreshImage(1, 8), {"--pace"});
  std::thread unplug([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    sim->stop(sim_signal::kKill);
  });
  const Clock::time_point start = Clock::now();
  Read("1");
  const double readSeconds = SecondsSince(start);
  unplug.join();
  EXPECT_LT(readSeconds, 2.5);
  EXPECT_EQ(PortLost(State().openPort), 1);

  alerts.clear();
  const Clock::time_point again = Clock::now();
  Read("1");
  EXPECT_LT(SecondsSince(again), 0.5);
  EXPECT_STREQ(Form().stateBox->label(), "No connection");
}

// A fill followed on a line that hangs up: the fill timer goes on asking
// without spinning a core, and Close Port ends the following so that every
// nozzle is free again.
TEST_F(PortProcedureTest, FillOnALineThatHangsUpIdlesAndEndsWithClosePort) {
  Connect(FreshImage(1, 4), {"--rate", "2000", "--start-ms", "100", "--hold-ms", "300"});
  Read("1");
  ASSERT_TRUE(alerts.empty()) << alerts[0];
  Form().fullTankCheck->value(1);
  LoadNozzle(Form(), 1);
  ASSERT_TRUE(PumpUntil([] { return std::string(Form().nozzleLoadButtons[2]->label()).rfind("vol.", 0) == 0; }));
  sim->stop(sim_signal::kKill);

  const double cpuBefore = CpuSeconds();
  const Clock::time_point start = Clock::now();
  PumpUntil([] { return false; }, 600);
  const double wall = SecondsSince(start);
  const double cpu = CpuSeconds() - cpuBefore;
  EXPECT_LT(cpu, 0.5 * wall) << "cpu " << cpu << " s in " << wall << " s";
  EXPECT_EQ(State().activeNozzle, 2);
  EXPECT_TRUE(Fl::has_timeout(FillTimer, &Form()));

  OpenClosePort(Form());   // Close Port
  EXPECT_EQ(State().openPort, 0);
  EXPECT_EQ(State().activeNozzle, 0);
  EXPECT_FALSE(Fl::has_timeout(FillTimer, &Form()));
  EXPECT_STREQ(Form().nozzleLoadButtons[2]->label(), "Load 10l");
}

}  // namespace

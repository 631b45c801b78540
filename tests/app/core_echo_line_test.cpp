// Read, Write with its password, and a test fill over a line that gives back
// everything the tool sends, for each variant: over a paced pty whose USB
// adapter hands bytes over in bursts up to 32 ms late, and over TCP. The
// results are the same as over a clean line, judged from the controller's
// memory and what it received.
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/core/fill_procedure.h"
#include "app/core/read_procedure.h"
#include "app/core/write_procedure.h"
#include "link/trk.h"
#include "port/port.h"
#include "tests/app/core_procedures_fixture.h"
#include "tests/app/scripted_operator.h"

namespace {

struct EchoLine {
  int variant;
  bool tcp;
};

class EchoLineTest : public CoreProcedureTest, public ::testing::WithParamInterface<EchoLine> {
 protected:
  void TearDown() override {
    if (handle_ != 0) PortClose(handle_);
    Link().port = 0;
    CoreProcedureTest::TearDown();
  }
  // A controller asking for the operator's password, behind an echoing line.
  void ConnectEchoing(const MemoryImage& image, std::vector<std::string> args) {
    args.insert(args.end(), {"--echo", "--password", "5185"});
    if (GetParam().tcp) args.insert(args.end(), {"--tcp-server", "0"});
    else args.insert(args.end(), {"--pace", "--usb-latency", "32"});
    StartController(image, args);
    ASSERT_FALSE(HasFatalFailure());
    const std::string name = (GetParam().tcp ? "TCPC_" : "") + sim->announce();
    ASSERT_EQ(PortOpen(&handle_, name.c_str()), kPortOpened);
    Link().port = handle_;
  }
  // Polls the fill until it reaches phase (or 5 s pass).
  bool FillReaches(FillFollowing& f, FillPhase phase) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
      if (PollTestFill(Link(), 0, f).phase == phase) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  uint16_t handle_ = 0;
  ScriptedOperator op;
};

uint64_t K(const MemoryImage& m, int address) {
  uint64_t v = m.get(0, address + 4);
  for (int i = 3; i >= 0; --i) v = v << 8 | m.get(0, address + i);
  return v;
}

TEST_P(EchoLineTest, ReadWriteAndFillGoAsOnACleanLine) {
  const int variant = GetParam().variant;
  const MemoryImage before = FreshImage(variant, 2);
  ConnectEchoing(before, {"--rate", "5000", "--hold-ms", "0"});
  ASSERT_EQ(ReadControllerState(Link(), 1, state), ReadOutcome::kRead);
  EXPECT_TRUE(state.lineEchoes);
  EXPECT_TRUE(state.recordReceived[0] && state.recordReceived[1]);
  EXPECT_EQ(state.passwordState[0] & 0x02, 0x02);
  if (variant == 2) {
    EXPECT_EQ(state.cngProbe, CngProbe::kPresent);
  }

  op.entries[0] = variant == 2 ? "10.05" : "10.1";
  WriteCalibration(Link(), state, lastVolume, op);
  EXPECT_TRUE(op.alerts.empty()) << op.alerts[0];
  std::vector<std::string> expected = {"entry 1", "entry 2"};
  if (variant != 2) expected.push_back("written 1");
  expected.push_back("counter");
  if (variant == 2) expected.push_back("read again");
  EXPECT_EQ(op.log, expected);

  ASSERT_EQ(StartTestFill(Link(), 0, kPresetMl), FillStart::kStarted);
  FillFollowing fill = BeginFollowing(Link(), FillStart::kStarted);
  ASSERT_TRUE(FillReaches(fill, FillPhase::kRunning));
  StopTestFill(Link(), 0);
  EXPECT_TRUE(FillReaches(fill, FillPhase::kStopped));

  int commits = 0;
  const MemoryImage after = StopAndLoadImage(&commits);
  EXPECT_EQ(commits, 1);
  if (variant != 2) {
    EXPECT_NE(K(after, 0x1000), K(before, 0x1000));
    EXPECT_EQ(K(after, 0x1100), K(before, 0x1100));
    EXPECT_EQ(after.get(0, 0x4001), before.get(0, 0x4001) + 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, EchoLineTest,
                         ::testing::Values(EchoLine{0, false}, EchoLine{1, false},
                                           EchoLine{2, false}, EchoLine{0, true},
                                           EchoLine{1, true}, EchoLine{2, true}));

// The echo of nozzle 1's record body comes back changed: the controller took
// the record, but the tool cannot vouch for it, so nothing is counted or
// committed, nozzle 2 is not sent, and the operator is told.
class EchoCollisionTest : public EchoLineTest {};
INSTANTIATE_TEST_SUITE_P(Lines, EchoCollisionTest,
                         ::testing::Values(EchoLine{1, false}, EchoLine{1, true}));

TEST_P(EchoCollisionTest, ACollisionDuringARecordWriteCommitsNothing) {
  ConnectEchoing(FreshImage(1, 2), {"--fault-once", "collision:write 20 bytes at 0:001000"});
  ASSERT_EQ(ReadControllerState(Link(), 1, state), ReadOutcome::kRead);
  op.entries[0] = "10.1";
  op.entries[1] = "10.1";
  WriteCalibration(Link(), state, lastVolume, op);
  ASSERT_EQ(op.alerts.size(), 1u) << op.log.size();
  EXPECT_NE(op.alerts[0].find("Nozzles whose answer was lost (they may be written): 1."),
            std::string::npos) << op.alerts[0];
  EXPECT_NE(op.alerts[0].find("Nozzles not written: 2."), std::string::npos);
  EXPECT_FALSE(state.readCurrent);
  int commits = -1;
  StopAndLoadImage(&commits);
  EXPECT_EQ(commits, 0);
}

}  // namespace

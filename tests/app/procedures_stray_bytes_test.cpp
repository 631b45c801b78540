// Bytes that belong to another exchange (a late reply, noise on the line)
// against Read and Write: nothing is written from them and no write is
// counted as done because of them. Judged from the simulator's trace and
// memory image; the faults are put on chosen requests (--fault-once).
#include <cmath>
#include <cstring>
#include <fstream>
#include <string>

#include "app/core/controller_state.h"
#include "app/window/main_form.h"
#include "app/window/procedures.h"
#include "link/trk.h"
#include "port/port.h"
#include "tests/app/procedure_fixture.h"

namespace {

constexpr const char* kLost = "Cannot set parameters. Check connection";
// What follows kLost when nozzle 1's record was sent and its answer lost.
constexpr const char* kOnlyUncertain =
    "\n\nNozzles whose answer was lost (they may be written): 1.\n"
    "The calibration counter was not stepped and nothing was committed.\n"
    "Read the controller and Write again.";

class StrayBytesTest : public ProcedureTest {
 protected:
  // Like Connect, with the tool connecting to the simulator over TCP. The
  // port is opened directly: a five-digit loopback port makes the name one
  // character longer than the port list keeps.
  void ConnectOverTcp(const MemoryImage& image, std::vector<std::string> args) {
    args.insert(args.end(), {"--tcp-server", "0"});
    StartController(image, args);
    if (HasFatalFailure()) return;
    uint16_t handle = 0;
    ASSERT_EQ(PortOpen(&handle, ("TCPC_" + sim->announce()).c_str()), kPortOpened);
    State().openPort = handle;
    State().link->port = handle;
  }
  void ConnectOver(bool tcp, const MemoryImage& image, const std::vector<std::string>& args) {
    if (tcp) {
      ConnectOverTcp(image, args);
    } else {
      Connect(image, args);
    }
  }
  std::string Trace() {
    std::ifstream in(tracePath);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
};

std::vector<uint8_t> Record(const MemoryImage& image, int i) {
  return Bytes(image, 0, (0x10 + i) * 256, 19);
}
uint64_t K(const std::vector<uint8_t>& r) {
  uint64_t v = r[4];
  for (int i = 3; i >= 0; --i) v = v << 8 | r[i];
  return v;
}
uint64_t Raised(uint64_t k) { return static_cast<uint64_t>(std::floor(k * 1.01L + 0.5L)); }

// Write pressed right after a Read whose last read (the password state) got
// no reply in time. The late reply comes during the settle (1500 ms) or
// after it, while the record write waits for its answer (2300 ms); the
// record write itself is lost, or answered.
struct LateRead {
  const char* lateMs;
  bool recordLost;
};
class LateLastReadTest : public StrayBytesTest, public ::testing::WithParamInterface<LateRead> {};
INSTANTIATE_TEST_SUITE_P(Timing, LateLastReadTest,
                         ::testing::Values(LateRead{"1500", true}, LateRead{"2300", true},
                                           LateRead{"1500", false}));

TEST_P(LateLastReadTest, WriteRightAfterItTakesNoLateReplyForItsAnswer) {
  const MemoryImage before = FreshImage(1, 4);
  std::vector<std::string> args = {"--late-ms", GetParam().lateMs, "--fault-once",
                                   "late:read 16 bytes at 0:005300"};
  if (GetParam().recordLost)
    args.insert(args.end(), {"--fault-once", "no-reply:write 20 bytes at 0:001000"});
  Connect(before, args);
  std::memset(State().controller.passwordState, 0, sizeof State().controller.passwordState);
  Read("1");
  ASSERT_TRUE(alerts.empty()) << alerts[0];
  Type(1, "10.1");
  WriteCoefficients(Form());
  int commits = -1;
  const MemoryImage after = StopAndLoadImage(&commits);
  EXPECT_NE(Trace().find("[fault: late]"), std::string::npos);
  if (GetParam().recordLost) {
    EXPECT_EQ(alerts, std::vector<std::string>{std::string(kLost) + kOnlyUncertain});
    EXPECT_EQ(commits, 0);
    EXPECT_EQ(Record(after, 0), Record(before, 0));
    EXPECT_EQ(Bytes(after, 0, 0x4000, 6), Bytes(before, 0, 0x4000, 6));
  } else {
    EXPECT_TRUE(alerts.empty());
    EXPECT_EQ(commits, 1);
    EXPECT_EQ(K(Record(after, 0)), Raised(K(Record(before, 0))));
  }
}

// Noise after nozzle 1's acknowledgement, and nozzle 2's record never
// reaches the controller: the noise is not taken as nozzle 2's answer. Noise
// that comes while nozzle 2's body waits (late-noise, 60 ms after the answer, past its quiet time)
// is dropped before the body goes: nozzle 1 was taken and is counted and
// committed, nozzle 2 is uncertain. Noise right behind the answer makes that
// answer a garbled one: nozzle 1 is uncertain, and nothing is counted.
struct NoiseCase {
  bool tcp;
  const char* noise;
};
class NoiseBetweenWritesTest : public StrayBytesTest,
                               public ::testing::WithParamInterface<NoiseCase> {};
INSTANTIATE_TEST_SUITE_P(Lines, NoiseBetweenWritesTest,
                         ::testing::Values(NoiseCase{false, "late-noise"},
                                           NoiseCase{true, "late-noise"},
                                           NoiseCase{false, "noise"}));

TEST_P(NoiseBetweenWritesTest, NoWriteIsTakenFromTheNoise) {
  const MemoryImage before = FreshImage(1, 4);
  ConnectOver(GetParam().tcp, before,
              {"--late-ms", "60", "--fault-once",
               std::string(GetParam().noise) + ":write 20 bytes at 0:001000", "--fault-once",
               "no-reply:write 20 bytes at 0:001100"});
  Read("1");
  ASSERT_TRUE(alerts.empty()) << alerts[0];
  ForgetReceived();
  Type(1, "10.1");
  Type(2, "10.1");
  WriteCoefficients(Form());
  const bool late = std::string(GetParam().noise) == "late-noise";
  EXPECT_EQ(alerts, std::vector<std::string>{std::string(kLost) + (late
      ? "\n\nNozzles written: 1.\nNozzles whose answer was lost (they may be written): 2.\n"
        "The calibration counter was stepped and the change committed.\n"
        "Read the controller and Write again."
      : "\n\nNozzles whose answer was lost (they may be written): 1.\n"
        "Nozzles not written: 2.\n"
        "The calibration counter was not stepped and nothing was committed.\n"
        "Read the controller and Write again.")});
  std::vector<std::string> expected = {
      "write 20 bytes at 0:001000 (calibration record, group 0 nozzle 1)"};
  if (late) {
    expected.insert(expected.end(),
                    {"write 20 bytes at 0:001100 (calibration record, group 0 nozzle 2)",
                     "write 5 bytes at 0:004001 (calibration counter, group 0)",
                     "write 1 bytes at 0:88FFFF (commit)"});
  }
  EXPECT_EQ(MemoryRequests(), expected);
  EXPECT_NE(Trace().find(late ? "fault: noise, late" : "fault: noise"), std::string::npos);
  int commits = -1;
  const MemoryImage after = StopAndLoadImage(&commits);
  EXPECT_EQ(commits, late ? 1 : 0);
  EXPECT_EQ(K(Record(after, 0)), Raised(K(Record(before, 0))));
  EXPECT_EQ(Record(after, 1), Record(before, 1));
  const std::vector<uint8_t> counter = Bytes(after, 0, 0x4001, 2);
  const std::vector<uint8_t> counterBefore = Bytes(before, 0, 0x4001, 2);
  EXPECT_EQ(counter[0] | counter[1] << 8, (counterBefore[0] | counterBefore[1] << 8) + (late ? 1 : 0));
  // Nozzle 1 shows what Read took until its write is known to be done.
  EXPECT_EQ(Form().nozzleEdited[0], late ? 0 : 1);
}

// Over TCP a late reply outlives the settle in the socket unless clearing
// the input drains it: the next nozzle would show the late one's value.
TEST_F(StrayBytesTest, OverTcpALateRecordReplyIsShownByNoOtherNozzle) {
  ConnectOverTcp(FreshImage(1, 4),
                 {"--fault-once", "late:read 20 bytes at 0:001000"});
  Read("1");
  EXPECT_STREQ(Form().nozzleCoefficientInputs[1]->value(), "???");
  for (int n = 2; n <= 4; ++n) {
    const std::string own = "* 1.00" + std::to_string(n) + "000";
    EXPECT_EQ(Form().nozzleCoefficientInputs[n]->value(), own) << "row " << n;
  }
  EXPECT_NE(Trace().find("[fault: late]"), std::string::npos);
}

}  // namespace

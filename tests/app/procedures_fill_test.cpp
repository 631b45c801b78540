// Test fills, the CNG diagnostics and About against the simulated controller.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <set>
#include <string>

#include "app/core/controller_state.h"
#include "app/window/main_form.h"
#include "app/window/procedures.h"
#include "app/window/fill_buttons.h"
#include "link/trk.h"
#include <FL/Fl.H>
#include "port/port.h"
#include "tests/app/procedure_fixture.h"
#include "tests/port/loopback_peer.h"

namespace {

// A pump may start at once (a non-zero amount at the very first poll, which
// the link believes only on the third reply) or take a moment with amount 0
// (--start-ms): the window follows both to the end.
class FillTest : public ProcedureTest {
 protected:
  // Each test starts a fresh controller; the nozzle table must not carry the
  // last one's fill over (the link would hold its sudden change back).
  void SetUp() override {
    ProcedureTest::SetUp();
    for (int n = 1; n <= kNozzleRows; ++n) Form().nozzleLoadButtons[n]->copy_label("Load 10l");
  }
  void ConnectAndRead(const MemoryImage& image, const std::vector<std::string>& args) {
    Connect(image, args);
    Read("1");
    ASSERT_TRUE(alerts.empty()) << alerts[0];
    ForgetReceived();
  }
  // Presses row n's Load button.
  static void Load(int n) {
    LoadNozzle(Form(), n - 1);
  }
  static std::string Label(int n) { return Form().nozzleLoadButtons[n]->label(); }
  // Runs the event loop until row n's label starts with prefix, noting every
  // label seen on the way.
  bool PumpUntilLabel(int n, const std::string& prefix, int timeoutMs = 5000) {
    return PumpUntil([&] {
      seen.insert(Label(n));
      return Label(n).rfind(prefix, 0) == 0;
    }, timeoutMs);
  }
  // The nozzle commands the controller received since the last ForgetReceived.
  std::vector<std::string> Commands() {
    std::vector<std::string> out;
    for (const Received& r : ReceivedRequests()) {
      const size_t at = r.what.find("command ");
      if (at != std::string::npos) out.push_back(r.what.substr(at, r.what.find(" (BCD") - at));
    }
    return out;
  }
  // Runs the event loop until condition() holds, noting every label of row n
  // in the order shown (repeats folded).
  template <typename Condition>
  bool PumpNotingLabels(int n, Condition condition, int timeoutMs = 5000) {
    return PumpUntil([&] {
      const std::string label = Label(n);
      seen.insert(label);
      if (shown.empty() || shown.back() != label) shown.push_back(label);
      return condition();
    }, timeoutMs);
  }
  int Requests(const std::string& what) {
    int count = 0;
    for (const Received& r : ReceivedRequests()) count += r.what.find(what) != std::string::npos;
    return count;
  }
  std::set<std::string> seen;
  std::vector<std::string> shown;
};

uint64_t K(const MemoryImage& m) {
  uint64_t v = m.get(0, 0x1004);
  for (int i = 3; i >= 0; --i) v = v << 8 | m.get(0, 0x1000 + i);
  return v;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

// Both ways a pump starts: at once, and after 100 ms at amount 0.
class FillStartTest : public FillTest, public ::testing::WithParamInterface<const char*> {
 protected:
  std::vector<std::string> Args(std::vector<std::string> args) {
    args.insert(args.end(), {"--start-ms", GetParam()});
    return args;
  }
};
INSTANTIATE_TEST_SUITE_P(PumpStart, FillStartTest, ::testing::Values("0", "100"));

TEST_P(FillStartTest, FollowedFromThePresetUntilTheNozzleIsIdleAgain) {
  ConnectAndRead(FreshImage(1, 4), Args({"--rate", "20000", "--hold-ms", "300"}));
  Load(1);
  EXPECT_TRUE(alerts.empty());
  ASSERT_TRUE(PumpNotingLabels(1, [] { return State().activeNozzle == 0; }));
  // Starting, the volume while running, finished, and free again only once
  // the controller reported the nozzle idle after the fill.
  ASSERT_GE(shown.size(), 4u);
  EXPECT_EQ(shown.front(), "Starting..");
  EXPECT_TRUE(StartsWith(shown[1], "vol. ")) << shown[1];
  EXPECT_EQ(shown[shown.size() - 2], "fin 10.00");
  EXPECT_EQ(shown.back(), "Load 10l");
  for (size_t i = 0; i + 1 < shown.size(); ++i) EXPECT_NE(shown[i], "Load 10l") << i;
  EXPECT_EQ(State().lastVolume[0], 10000);

  // "..." has the test fill's volume to scale by (10 l: the coefficient stays).
  Type(1, "...");
  WriteCoefficients(Form());
  EXPECT_TRUE(alerts.empty());
  int commits = 0;
  StopAndLoadImage(&commits);
  EXPECT_EQ(commits, 1);
}

TEST_P(FillStartTest, ASecondPressStopsTheFillAndDotsScaleByWhatWasDelivered) {
  const MemoryImage before = FreshImage(1, 4);
  ConnectAndRead(before, Args({"--rate", "5000", "--hold-ms", "300"}));
  Load(1);
  ASSERT_TRUE(PumpNotingLabels(1, [] { return State().lastVolume[0] >= 1000; }));
  ForgetReceived();
  Load(3);
  EXPECT_EQ(alerts, std::vector<std::string>{"Another nozzle is active!"});
  EXPECT_TRUE(ReceivedRequests().empty());

  Load(1);
  EXPECT_EQ(Commands(), std::vector<std::string>{"command 0x0F modifier 0 value 00000000"});
  ASSERT_TRUE(PumpNotingLabels(1, [] { return State().activeNozzle == 0; }));
  EXPECT_EQ(Label(1), "Load 10l");
  const int32_t volume = State().lastVolume[0];
  ASSERT_GE(volume, 1000);
  ASSERT_LT(volume, 10000);
  char stopped[32];
  std::snprintf(stopped, sizeof stopped, "stp %2d.%02d", volume / 1000, (volume / 10) % 100);
  EXPECT_EQ(shown[shown.size() - 2], stopped);

  alerts.clear();
  Type(1, "...");
  WriteCoefficients(Form());
  EXPECT_TRUE(alerts.empty());
  const long double x = 100000.0L / volume;
  EXPECT_EQ(K(StopAndLoadImage()), static_cast<uint64_t>(std::floor(K(before) * (x / 10) + 0.5L)));
}

TEST_F(FillTest, APumpThatNeverStartsIsFollowedForFiveSecondsOnly) {
  ConnectAndRead(FreshImage(1, 2), {"--lift-ms", "60000"});
  Load(1);
  ASSERT_EQ(State().activeNozzle, 1);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(PumpNotingLabels(1, [] { return State().activeNozzle == 0; }, 9000));
  const auto followed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(followed, std::chrono::milliseconds(4900));
  EXPECT_LT(followed, std::chrono::milliseconds(7000));
  EXPECT_EQ(shown, (std::vector<std::string>{"Starting..", "Load 10l"}));
  EXPECT_TRUE(alerts.empty());
  EXPECT_GT(Requests("status of nozzle 1"), 20);
}

TEST_F(FillTest, IdlePollsBeforeThePumpStartsDoNotEndTheFill) {
  ConnectAndRead(FreshImage(1, 2), {"--lift-ms", "1500", "--rate", "20000", "--hold-ms", "0"});
  Load(1);
  ASSERT_TRUE(PumpNotingLabels(1, [] { return StartsWith(Label(1), "fin"); }));
  EXPECT_EQ(State().activeNozzle, 1);
  EXPECT_EQ(shown.front(), "Starting..");
  EXPECT_EQ(seen.count("Load 10l"), 0u);
  EXPECT_EQ(Label(1), "fin 10.00");
}

TEST_F(FillTest, TenLitresRunFinishAndCloseOnTheButton) {
  ConnectAndRead(FreshImage(1, 4), {"--rate", "20000", "--start-ms", "100", "--hold-ms", "0"});
  Load(1);
  EXPECT_TRUE(alerts.empty());
  EXPECT_EQ(State().activeNozzle, 1);
  EXPECT_EQ(Label(1), "Starting..");
  // Taken under the tool's control, then the 10 l preset (modifier 1: fillKind 0).
  const std::vector<std::string> started = {"command 0x13 modifier 0 value 00000000",
                                            "command 0x01 modifier 1 value 00001000"};
  EXPECT_EQ(Commands(), started);

  ASSERT_TRUE(PumpUntilLabel(1, "fin"));
  EXPECT_EQ(Label(1), "fin 10.00");
  EXPECT_EQ(State().lastVolume[0], 10000);
  bool sawVolume = false;
  for (const std::string& label : seen) sawVolume |= label.rfind("vol. ", 0) == 0;
  EXPECT_TRUE(sawVolume);

  ForgetReceived();
  Load(1);   // the finished fill is closed
  EXPECT_EQ(Commands(), std::vector<std::string>{"command 0x0F modifier 0 value 00000000"});
  ASSERT_TRUE(PumpUntil([] { return State().activeNozzle == 0; }));
  EXPECT_EQ(Label(1), "Load 10l");
  EXPECT_EQ(State().lastVolume[0], 10000);
}

TEST_F(FillTest, FullTankPresetStopsOnTheButtonAndBlocksOtherNozzles) {
  ConnectAndRead(FreshImage(1, 4), {"--rate", "2000", "--start-ms", "100", "--hold-ms", "300"});
  Form().fullTankCheck->value(1);
  Load(2);
  EXPECT_EQ(Commands().back(), "command 0x01 modifier 1 value 00050000");
  ASSERT_TRUE(PumpUntilLabel(2, "vol."));

  ForgetReceived();
  Load(3);
  EXPECT_EQ(alerts, std::vector<std::string>{"Another nozzle is active!"});
  EXPECT_TRUE(ReceivedRequests().empty());

  Load(2);   // stops the running fill
  EXPECT_EQ(Commands(), std::vector<std::string>{"command 0x0F modifier 0 value 00000000"});
  ASSERT_TRUE(PumpUntilLabel(2, "stp"));
  EXPECT_EQ(State().activeNozzle, 2);
  // Idle again after the controller's hold time: the button is free.
  ASSERT_TRUE(PumpUntil([] { return State().activeNozzle == 0; }));
  EXPECT_EQ(Label(2), "Load 10l");
}

TEST_F(FillTest, DotsAfterAStoppedFillScaleTheCoefficient) {
  const MemoryImage before = FreshImage(1, 2);
  ConnectAndRead(before, {"--rate", "5000", "--start-ms", "100", "--hold-ms", "0"});
  Load(1);
  ASSERT_TRUE(PumpUntil([] { return State().lastVolume[0] >= 1000; }));
  Load(1);
  ASSERT_TRUE(PumpUntilLabel(1, "stp"));
  // Let the stopped amount settle, then close the fill.
  const std::string stopped = Label(1);
  PumpUntil([] { return false; }, 100);
  Load(1);
  ASSERT_TRUE(PumpUntil([] { return State().activeNozzle == 0; }));
  const int32_t volume = State().lastVolume[0];
  ASSERT_GT(volume, 0);
  ASSERT_LT(volume, 10000);
  char shown[32];
  std::snprintf(shown, sizeof shown, "stp %2d.%02d", volume / 1000, (volume / 10) % 100);
  EXPECT_TRUE(seen.count(shown)) << shown;

  Type(1, "...");
  WriteCoefficients(Form());
  EXPECT_TRUE(alerts.empty());
  const MemoryImage after = StopAndLoadImage();
  auto k = [](const MemoryImage& m) {
    uint64_t v = m.get(0, 0x1004);
    for (int i = 3; i >= 0; --i) v = v << 8 | m.get(0, 0x1000 + i);
    return v;
  };
  const long double x = 100000.0L / volume;
  EXPECT_EQ(k(after), static_cast<uint64_t>(std::floor(k(before) * (x / 10) + 0.5L)));
}

TEST_F(FillTest, DotsWithoutATestFillSayError) {
  const MemoryImage before = FreshImage(1, 1);
  ConnectAndRead(before, {});
  Type(1, "...");
  WriteCoefficients(Form());
  EXPECT_EQ(alerts, std::vector<std::string>{"Error!"});
  EXPECT_TRUE(MemoryRequests().empty());
}

TEST_F(FillTest, NozzlesBeyondTheLinksFourPutNothingOnTheWire) {
  ConnectAndRead(FreshImage(1, 8), {});
  ASSERT_TRUE(Form().nozzleLoadButtons[6]->visible());
  Load(6);
  EXPECT_EQ(alerts, std::vector<std::string>{"Failed to set volume"});
  EXPECT_TRUE(ReceivedRequests().empty());
  EXPECT_EQ(State().activeNozzle, 0);
  EXPECT_EQ(Label(6), "Load 10l");
}

TEST_F(FillTest, APumpThatStaysBusyRefusesTheFill) {
  ConnectAndRead(FreshImage(1, 2), {"--rate", "100", "--hold-ms", "0"});
  Load(1);
  ASSERT_EQ(State().activeNozzle, 1);
  // The tool loses track of the fill (as after a restart): the nozzle is
  // running when Load is pressed; stopped, it is still not idle.
  Fl::remove_timeout(FillTimer);
  State().activeNozzle = 0;
  ForgetReceived();
  Load(1);
  EXPECT_EQ(alerts, std::vector<std::string>{"Pump is busy now (filling is not complete)"});
  const std::vector<std::string> commands = Commands();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), "command 0x0F modifier 0 value 00000000");
  EXPECT_EQ(State().activeNozzle, 0);
}

TEST_P(FillStartTest, CngDiagnosticsFollowTheFill) {
  ConnectAndRead(FreshImage(2, 2), Args({"--rate", "10000", "--hold-ms", "0"}));
  ASSERT_TRUE(Form().cngDiagsOutput->visible());
  std::set<std::string> texts;
  Load(1);
  ASSERT_TRUE(PumpUntil([&] {
    texts.insert(Form().cngDiagsOutput->value());
    return Label(1).rfind("fin", 0) == 0;
  }));
  // While running the flow is above zero; finished, the line is at rest.
  bool sawFlow = false;
  for (const std::string& t : texts) {
    int flow = 0, flowTenths = 0, pressure = 0, pressureTenths = 0;
    if (std::sscanf(t.c_str(), "mass flow %3d.%d\npressure  %3d.%d", &flow, &flowTenths,
                    &pressure, &pressureTenths) == 4 && flow >= 5)
      sawFlow = true;
  }
  EXPECT_TRUE(sawFlow);
  EXPECT_GT(Requests("read 24 bytes at 2:000029"), 3);
  EXPECT_TRUE(PumpUntil([] {
    return std::string(Form().cngDiagsOutput->value()) == "mass flow   0.0\npressure  200.0";
  }));
}

// A preset whose answer was lost, late or garbled may still have started the
// pump: the nozzle is followed as long as any pump is given to start, and a
// running pump can be stopped from its button. A refusal fails at once; a
// preset the controller never got fails when the pump has not started.
struct PresetFault {
  const char* fault;
  bool pumpRuns;
};
class PresetAnswerTest : public FillTest, public ::testing::WithParamInterface<PresetFault> {};
INSTANTIATE_TEST_SUITE_P(
    Faults, PresetAnswerTest,
    ::testing::Values(PresetFault{"truncate:command 0x01", true},
                      PresetFault{"noise:command 0x01", true},
                      PresetFault{"late:command 0x01", true},
                      PresetFault{"refuse:command 0x01", false},
                      PresetFault{"no-reply:command 0x01", false}));

TEST_P(PresetAnswerTest, ThePumpsStatusDecidesWhetherTheFillIsFollowed) {
  ConnectAndRead(FreshImage(1, 2),
                 {"--fault-once", GetParam().fault, "--rate", "5000", "--hold-ms", "0"});
  const bool refused = std::string(GetParam().fault).rfind("refuse", 0) == 0;
  Load(1);
  EXPECT_EQ(Requests("command 0x01"), 1);
  if (refused) {
    EXPECT_EQ(alerts, std::vector<std::string>{"Failed to set volume"});
    EXPECT_EQ(State().activeNozzle, 0);
    EXPECT_EQ(Label(1), "Load 10l");
    return;
  }
  EXPECT_TRUE(alerts.empty());
  ASSERT_EQ(State().activeNozzle, 1);
  if (!GetParam().pumpRuns) {
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(PumpUntil([] { return State().activeNozzle == 0; }, 8000));
    EXPECT_GE(std::chrono::steady_clock::now() - start, kFillStartBound - std::chrono::seconds(1));
    EXPECT_EQ(alerts, std::vector<std::string>{"Failed to set volume"});
    EXPECT_EQ(Label(1), "Load 10l");
    return;
  }
  ASSERT_TRUE(PumpUntilLabel(1, "vol."));
  ForgetReceived();
  Load(1);
  EXPECT_EQ(Commands(), std::vector<std::string>{"command 0x0F modifier 0 value 00000000"});
  ASSERT_TRUE(PumpUntilLabel(1, "stp"));
  EXPECT_TRUE(alerts.empty());
}

// The first stop's answer comes late, and the controller never gets the
// second stop, pressed at once: the second goes out only after the first
// one's answer had time to come, so it cannot take that answer as its own.
TEST_F(FillTest, ASecondStopWaitsOutTheLateAnswerOfTheFirst) {
  ConnectAndRead(FreshImage(1, 2), {"--rate", "2000", "--hold-ms", "0", "--late-ms", "450",
                                    "--fault-once", "late:command 0x0F", "--fault-once",
                                    "no-reply:command 0x0F"});
  Load(1);
  ASSERT_TRUE(PumpUntilLabel(1, "vol."));
  Load(1);
  Load(1);
  std::vector<double> stops;   // when the controller received each stop, ms
  std::ifstream trace(tracePath);
  std::string line;
  while (std::getline(trace, line)) {
    if (line.find(" rx ") != std::string::npos && line.find("command 0x0F") != std::string::npos)
      stops.push_back(std::stod(line));
  }
  ASSERT_EQ(stops.size(), 2u);
  EXPECT_GE(stops[1] - stops[0], 450);
  ASSERT_TRUE(PumpUntilLabel(1, "stp"));   // the first stop did reach it
}

TEST(FillTexts, VolumesInLitresAndHundredthsDiagnosticsInTenths) {
  char text[64];
  FormatVolume(text, sizeof text, "vol. %2d.%02d", 10050);
  EXPECT_STREQ(text, "vol. 10.05");
  FormatVolume(text, sizeof text, "vol. %2d.%02d", 9);
  EXPECT_STREQ(text, "vol.  0.00");
  FormatVolume(text, sizeof text, "vol. %2d.%02d", 123456);
  EXPECT_STREQ(text, "vol. 123.45");
  FormatDiagnostics(text, sizeof text, 1234, 56);
  EXPECT_STREQ(text, "mass flow 123.4\npressure    5.6");
}

TEST_F(FillTest, AboutShowsTheBuild) {
  AboutCallback(Form().aboutButton, nullptr);
  EXPECT_EQ(alerts,
            std::vector<std::string>{"tarvo_6 dispenser calibration tool, (c) 2023, build Mar 16 2023"});
}

}  // namespace

namespace {

// The controller followed leaves a TCPS_ port and another connects in its
// place: the newcomer gets no status poll, following ends with a message, and
// what was read is shown as no longer the connected controller's.
TEST_F(FillTest, AnotherControllerOnThePortEndsTheFollowing) {
  const std::string tcpPort = std::to_string(loopback::freePort());
  uint16_t handle = 0;
  ASSERT_EQ(PortOpen(&handle, ("TCPS_127.0.0.1:" + tcpPort).c_str()), kPortOpened);
  State().openPort = handle;
  State().link->port = handle;
  const auto connects = [&] {
    const uint32_t before = PortConnection(handle);
    StartController(FreshImage(1, 2), {"--tcp-client", tcpPort, "--rate", "500"});
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(PumpUntil([&] { return PortConnection(handle) != before; }));
  };
  connects();
  Read("1");
  ASSERT_TRUE(alerts.empty()) << alerts[0];
  Load(1);
  ASSERT_TRUE(PumpUntilLabel(1, "vol."));
  StopAndLoadImage();
  connects();
  ForgetReceived();
  ASSERT_TRUE(PumpUntil([] { return State().activeNozzle == 0; }));
  EXPECT_EQ(alerts, std::vector<std::string>{
                        "The port connected anew during the test fill: the controller may be "
                        "another one. The fill is no longer followed; read the controller again."});
  EXPECT_EQ(Requests("status of nozzle"), 0);
  EXPECT_EQ(Label(1), "Load 10l");
  EXPECT_STREQ(Form().stateBox->label(), "Connection state");
  EXPECT_FALSE(Form().nozzleCoefficientInputs[1]->active());
  PortClose(handle);
  State().openPort = 0;
  State().link->port = 0;
}

}  // namespace

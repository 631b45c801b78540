// Test fills, the CNG diagnostics and About against the simulated controller.
#include <cmath>
#include <cstdint>
#include <set>
#include <string>

#include "app/core/controller_state.h"
#include "app/main_form.h"
#include "app/procedures.h"
#include "app/test_fill.h"
#include <FL/Fl.H>
#include "tests/app/procedure_fixture.h"

namespace {

// The simulated pump starts 100 ms after a preset, as a real one takes a
// moment: until then the nozzle runs with amount 0. (The link takes a
// non-zero amount only on every third status reply, so a fill that delivered
// at once would still look idle to the first polls.)
class FillTest : public ProcedureTest {
 protected:
  void ConnectAndRead(const MemoryImage& image, const std::vector<std::string>& args) {
    Connect(image, args);
    Read("1");
    ASSERT_TRUE(alerts.empty()) << alerts[0];
    ForgetReceived();
  }
  // Presses row n's Load button.
  static void Load(int n) {
    LoadNozzleCallback(nozzleLoadButtons[n], reinterpret_cast<void*>(static_cast<intptr_t>(n - 1)));
  }
  static std::string Label(int n) { return nozzleLoadButtons[n]->label(); }
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
  std::set<std::string> seen;
};

TEST_F(FillTest, TenLitresRunFinishAndCloseOnTheButton) {
  ConnectAndRead(FreshImage(1, 4), {"--rate", "20000", "--start-ms", "100", "--hold-ms", "0"});
  Load(1);
  EXPECT_TRUE(alerts.empty());
  EXPECT_EQ(ActiveNozzle, 1);
  EXPECT_EQ(Label(1), "Starting..");
  // Taken under the tool's control, then the 10 l preset (modifier 1: fillKind 0).
  const std::vector<std::string> started = {"command 0x13 modifier 0 value 00000000",
                                            "command 0x01 modifier 1 value 00001000"};
  EXPECT_EQ(Commands(), started);

  ASSERT_TRUE(PumpUntilLabel(1, "fin"));
  EXPECT_EQ(Label(1), "fin 10.00");
  EXPECT_EQ(LastVolume[0], 10000);
  bool sawVolume = false;
  for (const std::string& label : seen) sawVolume |= label.rfind("vol. ", 0) == 0;
  EXPECT_TRUE(sawVolume);

  ForgetReceived();
  Load(1);   // the finished fill is closed
  EXPECT_EQ(Commands(), std::vector<std::string>{"command 0x0F modifier 0 value 00000000"});
  ASSERT_TRUE(PumpUntil([] { return ActiveNozzle == 0; }));
  EXPECT_EQ(Label(1), "Load 10l");
  EXPECT_EQ(LastVolume[0], 10000);
}

TEST_F(FillTest, FullTankPresetStopsOnTheButtonAndBlocksOtherNozzles) {
  ConnectAndRead(FreshImage(1, 4), {"--rate", "2000", "--start-ms", "100", "--hold-ms", "300"});
  MainForm->fullTankCheck->value(1);
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
  EXPECT_EQ(ActiveNozzle, 2);
  // Idle again after the controller's hold time: the button is free.
  ASSERT_TRUE(PumpUntil([] { return ActiveNozzle == 0; }));
  EXPECT_EQ(Label(2), "Load 10l");
}

TEST_F(FillTest, DotsAfterAStoppedFillScaleTheCoefficient) {
  const MemoryImage before = FreshImage(1, 2);
  ConnectAndRead(before, {"--rate", "5000", "--start-ms", "100", "--hold-ms", "0"});
  Load(1);
  ASSERT_TRUE(PumpUntil([] { return LastVolume[0] >= 1000; }));
  Load(1);
  ASSERT_TRUE(PumpUntilLabel(1, "stp"));
  // Let the stopped amount settle, then close the fill.
  const std::string stopped = Label(1);
  PumpUntil([] { return false; }, 100);
  Load(1);
  ASSERT_TRUE(PumpUntil([] { return ActiveNozzle == 0; }));
  const int32_t volume = LastVolume[0];
  ASSERT_GT(volume, 0);
  ASSERT_LT(volume, 10000);
  char shown[32];
  std::snprintf(shown, sizeof shown, "stp %2d.%02d", volume / 1000, (volume / 10) % 100);
  EXPECT_TRUE(seen.count(shown)) << shown;

  Type(1, "...");
  WriteCoefficients();
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
  WriteCoefficients();
  EXPECT_EQ(alerts, std::vector<std::string>{"Error!"});
  EXPECT_TRUE(MemoryRequests().empty());
}

TEST_F(FillTest, NozzlesBeyondTheLinksFourPutNothingOnTheWire) {
  ConnectAndRead(FreshImage(1, 8), {});
  ASSERT_TRUE(nozzleLoadButtons[6]->visible());
  Load(6);
  EXPECT_EQ(alerts, std::vector<std::string>{"Failed to set volume"});
  EXPECT_TRUE(ReceivedRequests().empty());
  EXPECT_EQ(ActiveNozzle, 0);
  EXPECT_EQ(Label(6), "Load 10l");
}

TEST_F(FillTest, APumpThatStaysBusyRefusesTheFill) {
  ConnectAndRead(FreshImage(1, 2), {"--rate", "100", "--hold-ms", "0"});
  Load(1);
  ASSERT_EQ(ActiveNozzle, 1);
  // The tool loses track of the fill (as after a restart): the nozzle is
  // running when Load is pressed; stopped, it is still not idle.
  Fl::remove_timeout(FillTimer);
  ActiveNozzle = 0;
  ForgetReceived();
  Load(1);
  EXPECT_EQ(alerts, std::vector<std::string>{"Pump is busy now (filling is not complete)"});
  const std::vector<std::string> commands = Commands();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), "command 0x0F modifier 0 value 00000000");
  EXPECT_EQ(ActiveNozzle, 0);
}

TEST_F(FillTest, CngDiagnosticsFollowTheFill) {
  ConnectAndRead(FreshImage(2, 2), {"--rate", "10000", "--start-ms", "100", "--hold-ms", "0"});
  ASSERT_TRUE(MainForm->cngDiagsOutput->visible());
  std::set<std::string> texts;
  Load(1);
  ASSERT_TRUE(PumpUntil([&] {
    texts.insert(MainForm->cngDiagsOutput->value());
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
  EXPECT_TRUE(PumpUntil([] {
    return std::string(MainForm->cngDiagsOutput->value()) == "mass flow   0.0\npressure  200.0";
  }));
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
  AboutCallback(MainForm->aboutButton, nullptr);
  EXPECT_EQ(alerts,
            std::vector<std::string>{"tarvo_6 dispenser calibration tool, (c) 2023, build Mar 16 2023"});
}

}  // namespace

// Open Port and Read in the window against the simulated controller: what the
// window shows of what Read found. What goes over the wire and the state Read
// leaves are tested without a window (core_read_test.cpp).
#include <cstdio>
#include <string>

#include "app/core/coefficient_math.h"
#include "app/core/controller_state.h"
#include "app/window/main_form.h"
#include "app/window/procedures.h"
#include "link/trk.h"
#include "port/discovery.h"
#include "tests/app/procedure_fixture.h"

namespace {

using ReadTest = ProcedureTest;

std::string ShownCoefficient(const std::vector<uint8_t>& record, bool shortRecord) {
  char text[64];
  std::snprintf(text, sizeof text, "* %f",
                shortRecord ? ShortCoefficientValue(record.data()) : CoefficientValue(record.data()));
  return text;
}

bool RowVisible(int n) {
  return Form().nozzleCoefficientInputs[n]->visible() && Form().nozzleLoadButtons[n]->visible() &&
         Form().nozzleNumberFields[n]->visible();
}
bool RowHidden(int n) {
  return !Form().nozzleCoefficientInputs[n]->visible() && !Form().nozzleLoadButtons[n]->visible() &&
         !Form().nozzleNumberFields[n]->visible();
}

TEST_F(ReadTest, VariantOneShowsEverythingItRead) {
  const MemoryImage image = FreshImage(1, 4);
  Connect(image);
  EXPECT_EQ(State().link->port, State().openPort);
  EXPECT_STREQ(Form().openCloseButton->label(), "Close Port");
  EXPECT_TRUE(Form().readButton->active());
  EXPECT_TRUE(Form().writeButton->active());
  Read("1");
  EXPECT_TRUE(alerts.empty());
  EXPECT_STREQ(Form().stateBox->label(), "Connected");
  EXPECT_EQ(Form().stateBox->labelcolor(), 56u);
  EXPECT_EQ(State().controller.variant, 1);

  for (int n = 1; n <= 4; ++n) {
    const auto record = Bytes(image, 0, (0x10 + n - 1) * 256, 19);
    EXPECT_EQ(Form().nozzleCoefficientInputs[n]->value(), ShownCoefficient(record, false)) << n;
    EXPECT_EQ(Form().nozzleNumberFields[n]->value(), std::to_string(CalibrationCount(record.data())));
    EXPECT_TRUE(RowVisible(n)) << n;
  }
  for (int n = 5; n <= 8; ++n) EXPECT_TRUE(RowHidden(n)) << n;
  EXPECT_STREQ(Form().commonCounterInput->value(), "12 01.03.23");
  // The common counter and the full-tank check go under the last row.
  EXPECT_EQ(Form().commonCounterInput->y(), Form().nozzleCoefficientInputs[4]->y() + 42);
  EXPECT_EQ(Form().commonCounterInput->x(), Form().nozzleCoefficientInputs[1]->x());
  EXPECT_EQ(Form().fullTankCheck->y(), Form().nozzleLoadButtons[4]->y() + 34);
  EXPECT_TRUE(Form().fullTankCheck->visible());
  // No password on this controller: its state is sixteen 0x11 bytes.
  EXPECT_FALSE(Form().passwordInput->active());
}

TEST_F(ReadTest, VariantZeroShowsTheCounterOnlyAndNoNumbers) {
  Connect(FreshImage(0, 2, 3, {5, 6, 7}));
  Read("7");
  EXPECT_EQ(State().controller.groupIndex, 2);
  EXPECT_STREQ(Form().commonCounterInput->value(), "14");   // variant 0: counter only
  EXPECT_STREQ(Form().nozzleNumberFields[1]->value(), "");
  EXPECT_TRUE(RowVisible(2));
  EXPECT_TRUE(RowHidden(3));
}

TEST_F(ReadTest, TheAddressInputIsReadAsHexadecimal) {
  Connect(FreshImage(1, 2, 2, {1, 2}));
  Read("F0");
  EXPECT_EQ(State().controller.address, 0xF0);
  EXPECT_EQ(State().controller.groupIndex, 0);
  EXPECT_STREQ(Form().commonCounterInput->value(), "12 01.03.23");
}

TEST_F(ReadTest, VariantTwoShowsCngIdentificationAndShortRecords) {
  const MemoryImage image = FreshImage(2, 2);
  Connect(image);
  Read("1");
  EXPECT_TRUE(alerts.empty());
  EXPECT_EQ(State().controller.variant, 2);
  EXPECT_TRUE(Form().cngDiagsOutput->visible());
  // The identification text, cut 9 bytes after the start of "HIA".
  EXPECT_STREQ(Form().cngDiagsOutput->value(), "HIA 1.07 ");
  const auto shortRecord = Bytes(image, 0, 0x1200, 15);
  EXPECT_EQ(Form().nozzleCoefficientInputs[2]->value(), ShownCoefficient(shortRecord, true));
  EXPECT_STREQ(Form().nozzleNumberFields[2]->value(), "3");
  EXPECT_STREQ(Form().commonCounterInput->value(), "12 01.03.23");
}

TEST_F(ReadTest, VariantTwoWithoutCngHidesTheDiagnostics) {
  Connect(FreshImage(2, 1), {"--no-cng"});
  Form().cngDiagsOutput->show();
  Read("1");
  EXPECT_FALSE(Form().cngDiagsOutput->visible());
}

TEST_F(ReadTest, WrongSettingsChecksumChangesNoRow) {
  MemoryImage image = FreshImage(1, 2);
  image.set(0, layout::kSettings + 15, image.get(0, layout::kSettings + 15) ^ 0x01);
  Connect(FreshImage(1, 6));
  Read("1");
  ASSERT_TRUE(RowVisible(6));
  const std::string shown = Form().nozzleCoefficientInputs[1]->value();
  sim.reset();
  OpenClosePort(Form());
  ForgetReceived();
  Connect(image);
  Read("1");
  EXPECT_EQ(alerts, std::vector<std::string>{"Warning! Wrong CRC in main settings"});
  EXPECT_TRUE(RowVisible(6));
  EXPECT_EQ(Form().nozzleCoefficientInputs[1]->value(), shown);
  EXPECT_EQ(MemoryRequests().size(), 3u);   // status, length, block: nothing after
}

TEST_F(ReadTest, ZeroNozzlesHidesEveryRow) {
  MemoryImage image = FreshImage(1, 1);
  image.set(0, layout::kSettings + 4, 0);   // N
  FixSettingsChecksum(image);
  Connect(image);
  Read("1");
  EXPECT_TRUE(alerts.empty());
  for (int n = 1; n <= 8; ++n) EXPECT_TRUE(RowHidden(n)) << n;
  // Nozzle 1's record was read into its hidden row.
  EXPECT_EQ(Form().nozzleCoefficientInputs[1]->value(), ShownCoefficient(Bytes(image, 0, 0x1000, 19), false));
  EXPECT_EQ(Form().commonCounterInput->y(), Form().nozzleCoefficientInputs[1]->y() + 42);
}

TEST_F(ReadTest, MoreNozzlesThanRowsShowsAllEightRows) {
  MemoryImage image = FreshImage(1, 8);
  image.set(0, layout::kSettings + 4, 10);   // N = 10
  FixSettingsChecksum(image);
  Connect(image);
  Read("1");
  EXPECT_TRUE(alerts.empty());
  for (int n = 1; n <= 8; ++n) EXPECT_TRUE(RowVisible(n)) << n;
  EXPECT_EQ(Form().commonCounterInput->y(), Form().nozzleCoefficientInputs[8]->y() + 42);
}

TEST_F(ReadTest, PasswordStateDecidesThePasswordInput) {
  Connect({"--variant", "1", "--password", "1234"});
  Read("1");
  EXPECT_TRUE(Form().passwordInput->active());
}

TEST_F(ReadTest, NoAnswerShowsNoConnectionInRed) {
  Connect(FreshImage(1, 2));
  Read("9");   // nobody at address 9
  EXPECT_STREQ(Form().stateBox->label(), "No connection");
  EXPECT_EQ(Form().stateBox->labelcolor(), 88u);
  EXPECT_TRUE(alerts.empty());
}

TEST_F(ReadTest, ClosingThePortDeactivatesReadAndWrite) {
  Connect(FreshImage(1, 1));
  OpenClosePort(Form());
  EXPECT_EQ(State().openPort, 0);
  EXPECT_STREQ(Form().openCloseButton->label(), "Open Port");
  EXPECT_FALSE(Form().readButton->active());
  EXPECT_FALSE(Form().writeButton->active());
  EXPECT_NE(State().link->port, 0);   // the link keeps the old handle
  PortNameList.count = 0;
  OpenClosePort(Form());   // nothing to open
  EXPECT_EQ(alerts, std::vector<std::string>{"error\nNo port is selected"});
  EXPECT_EQ(State().openPort, 0);
}

}  // namespace

// Write against the simulated controller: what lands in its memory, and what
// never does.
#include <algorithm>
#include <csignal>
#include <cmath>
#include <ctime>
#include <fstream>
#include <string>

#include "app/core/calibration_journal.h"
#include "app/core/coefficient_math.h"
#include "app/core/write_procedure.h"
#include "app/core/controller_state.h"
#include "app/window/main_form.h"
#include "app/window/procedures.h"
#include "tests/app/procedure_fixture.h"
#include "tests/support/wait_until.h"

namespace {

class WriteTest : public ProcedureTest {
 protected:
  // Connects, reads, and forgets the read's requests.
  void ConnectAndRead(const MemoryImage& image, const std::vector<std::string>& args = {},
                      const char* address = "1") {
    Connect(image, args);
    Read(address);
    ASSERT_TRUE(alerts.empty()) << alerts[0];
    ForgetReceived();
  }
  bool TraceHas(const std::string& text) {
    std::ifstream in(tracePath);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return all.find(text) != std::string::npos;
  }
};

uint64_t K(const std::vector<uint8_t>& r) {
  uint64_t v = r[4];
  for (int i = 3; i >= 0; --i) v = v << 8 | r[i];
  return v;
}
uint64_t K2(const std::vector<uint8_t>& r) {
  uint64_t v = r[9];
  for (int i = 3; i >= 0; --i) v = v << 8 | r[5 + i];
  return v;
}
uint16_t Count(const std::vector<uint8_t>& r) { return static_cast<uint16_t>(r[17] | r[18] << 8); }
uint64_t Scaled(uint64_t k, long double factor) {
  return static_cast<uint64_t>(std::floor(k * factor + 0.5L));
}

std::vector<uint8_t> Record(const MemoryImage& image, int i, int n = 4, int g = 0) {
  return Bytes(image, 0, (0x10 + i + n * g) * 256, 19);
}

// Today's day, month and year modulo 100, as the tool dates a calibration.
std::vector<uint8_t> Today() {
  const std::time_t now = std::time(nullptr);
  const std::tm* t = std::localtime(&now);
  return {static_cast<uint8_t>(t->tm_mday), static_cast<uint8_t>(t->tm_mon + 1),
          static_cast<uint8_t>(t->tm_year % 100)};
}

TEST_F(WriteTest, VariantOneRaisesByOnePercentCountsAndCommits) {
  MemoryImage before = FreshImage(1, 4);
  before.set(0, 0x1013, 0x6E);   // the byte after record 1, unlike record 2's first
  ConnectAndRead(before);
  Type(1, "10.1");
  WriteCoefficients(Form());
  EXPECT_TRUE(alerts.empty());
  const std::vector<std::string> expected = {
      "write 20 bytes at 0:001000 (calibration record, group 0 nozzle 1)",
      "write 5 bytes at 0:004001 (calibration counter, group 0)",
      "write 1 bytes at 0:88FFFF (commit)"};
  EXPECT_EQ(MemoryRequests(), expected);

  int commits = 0;
  const MemoryImage after = StopAndLoadImage(&commits);
  EXPECT_EQ(commits, 1);
  const auto old1 = Record(before, 0), new1 = Record(after, 0);
  EXPECT_EQ(K(new1), Scaled(K(old1), 10.1L / 10));
  // K2 keeps its ratio to K.
  EXPECT_NEAR(static_cast<double>(K2(new1)) / K(new1), static_cast<double>(K2(old1)) / K(old1), 1e-9);
  EXPECT_EQ(Count(new1), Count(old1) + 1);
  // The twentieth byte lands after the record: it goes back as it was read.
  EXPECT_EQ(after.get(0, 0x1013), 0x6E);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(Record(after, i), Record(before, i)) << i;
  const std::vector<uint8_t> today = Today();
  EXPECT_EQ(Bytes(after, 0, 0x4001, 5),
            (std::vector<uint8_t>{13, 0, today[0], today[1], today[2]}));

  char shown[64];
  std::snprintf(shown, sizeof shown, "* %f", CoefficientValue(new1.data()));
  EXPECT_STREQ(Form().nozzleCoefficientInputs[1]->value(), shown);
  EXPECT_EQ(Form().nozzleNumberFields[1]->value(), std::to_string(Count(new1)));
  EXPECT_EQ(Form().nozzleEdited[0], 0);
  char counter[32];
  std::snprintf(counter, sizeof counter, "13 %02d.%02d.%02d", today[0], today[1], today[2]);
  EXPECT_STREQ(Form().commonCounterInput->value(), counter);
}

TEST_F(WriteTest, FiveAndTwentyAreTakenJustOutsideIsSkippedSilently) {
  const MemoryImage before = FreshImage(1, 4);
  ConnectAndRead(before);
  Type(1, "5.0");
  Type(2, "20.0");
  Type(3, "4.99");
  Type(4, "20.01");
  WriteCoefficients(Form());
  EXPECT_TRUE(alerts.empty());
  const MemoryImage after = StopAndLoadImage();
  EXPECT_EQ(K(Record(after, 0)), Scaled(K(Record(before, 0)), 0.5L));
  EXPECT_EQ(K(Record(after, 1)), 2 * K(Record(before, 1)));
  EXPECT_EQ(Record(after, 2), Record(before, 2));
  EXPECT_EQ(Record(after, 3), Record(before, 3));
}

TEST_F(WriteTest, NothingToWriteMeansNoCounterAndNoCommit) {
  const MemoryImage before = FreshImage(1, 4);
  ConnectAndRead(before);
  Type(1, "abc");              // reads as 0
  Type(2, "* 1.500000");       // still as Read showed it
  Form().nozzleCoefficientInputs[3]->value("12");   // changed without the operator
  WriteCoefficients(Form());
  EXPECT_EQ(alerts, std::vector<std::string>{"Wrong value entered"});
  EXPECT_TRUE(MemoryRequests().empty());
  int commits = -1;
  const MemoryImage after = StopAndLoadImage(&commits);
  EXPECT_EQ(commits, 0);
  EXPECT_EQ(Bytes(after, 0, 0x1000, 0x400), Bytes(before, 0, 0x1000, 0x400));
  EXPECT_EQ(Bytes(after, 0, 0x4000, 6), Bytes(before, 0, 0x4000, 6));
}

TEST_F(WriteTest, ZeroDifferenceMakesK2EqualToK) {
  MemoryImage image = FreshImage(1, 1);
  for (int b = 0; b < 5; ++b) image.set(0, 0x1005 + b, image.get(0, 0x1000 + b));   // K2 = K
  for (int b = 0; b < 4; ++b) image.set(0, 0x100A + b, 0);                          // D = 0
  ConnectAndRead(image);
  Type(1, "10.1");
  WriteCoefficients(Form());
  const auto record = Record(StopAndLoadImage(), 0, 1);
  EXPECT_EQ(K2(record), K(record));
  EXPECT_EQ(K(record), Scaled(K(Record(image, 0, 1)), 10.1L / 10));
}

// A reset is refused where the divisor is 0, and with it the whole Write:
// nozzle 2 alone, typed again, is then reset.
TEST_F(WriteTest, EmptyEntryResetsAndAZeroResetDivisorRefusesTheWrite) {
  MemoryImage image = FreshImage(1, 2);
  image.set(0, 0x100E, 0);   // nozzle 1: W = 0
  image.set(0, 0x110E, 50);  // nozzle 2: W = 50, a reset gives 2.0
  ConnectAndRead(image);
  Type(1, "");
  Type(2, "");
  WriteCoefficients(Form());
  EXPECT_EQ(alerts, std::vector<std::string>{"Nothing written: the coefficient of nozzle 1 "
                                             "cannot be reset, its reset divisor is 0."});
  EXPECT_TRUE(MemoryRequests().empty());
  alerts.clear();
  Type(1, "* 1.001000");
  WriteCoefficients(Form());
  EXPECT_TRUE(alerts.empty());
  ASSERT_FALSE(MemoryRequests().empty());
  EXPECT_EQ(MemoryRequests().front(),
            "write 20 bytes at 0:001100 (calibration record, group 0 nozzle 2)");
  const MemoryImage after = StopAndLoadImage();
  EXPECT_EQ(Record(after, 0, 2), Record(image, 0, 2));
  EXPECT_EQ(K(Record(after, 1, 2)), 2ull << 32);
}

TEST_F(WriteTest, VariantOneCountPast9998IsWrittenUnchangedAndStillCounted) {
  MemoryImage image = FreshImage(1, 1);
  image.set16(0, 0x1011, 9999);
  ConnectAndRead(image);
  Type(1, "12");
  WriteCoefficients(Form());
  EXPECT_TRUE(alerts.empty());
  ASSERT_EQ(MemoryRequests().size(), 3u);
  const MemoryImage after = StopAndLoadImage();
  EXPECT_EQ(Record(after, 0, 1), Record(image, 0, 1));
  EXPECT_EQ(after.get16(0, 0x4001), 13);
}

TEST_F(WriteTest, KeyOffStopsBeforeCounterAndCommitAndARetryAppliesTheValueOnce) {
  const MemoryImage before = FreshImage(1, 2);
  ConnectAndRead(before, {"--key", "off"});
  Type(1, "10.1");
  WriteCoefficients(Form());
  EXPECT_EQ(alerts, std::vector<std::string>{"Please turn on the settings key"});
  EXPECT_EQ(MemoryRequests(),
            std::vector<std::string>{"write 20 bytes at 0:001000 (calibration record, group 0 nozzle 1)"});
  EXPECT_EQ(Form().nozzleEdited[0], 1);

  // The operator turns the key on and presses Write again: the value is
  // applied to the coefficient as read, not to the one the refused write held.
  sim->signal(sim_signal::kKeyOff);
  ASSERT_TRUE(waitUntil([&] { return TraceHas("configuration key on"); }));
  alerts.clear();
  WriteCoefficients(Form());
  EXPECT_TRUE(alerts.empty());
  int commits = 0;
  const MemoryImage after = StopAndLoadImage(&commits);
  EXPECT_EQ(commits, 1);
  EXPECT_EQ(K(Record(after, 0, 2)), Scaled(K(Record(before, 0, 2)), 10.1L / 10));
  EXPECT_EQ(after.get16(0, 0x4001), 13);
}

TEST_F(WriteTest, WrongPasswordWritesNothing) {
  const MemoryImage before = FreshImage(1, 1);
  ConnectAndRead(before, {"--password", "1234"});
  ASSERT_TRUE(Form().passwordInput->active());
  Form().passwordInput->value("5185");
  Type(1, "10.1");
  WriteCoefficients(Form());
  EXPECT_EQ(alerts, std::vector<std::string>{"Wrong password"});
  const std::vector<Received> received = ReceivedRequests();
  ASSERT_EQ(received.size(), 2u);
  // 5185 goes as 51 and 85: the first in the header, the second in the body.
  EXPECT_EQ(received[0].wire[4 + 5], 51);
  EXPECT_EQ(received[0].wire[12], 85);
  EXPECT_NE(received[1].what.find("error record"), std::string::npos);
  int commits = -1;
  const MemoryImage after = StopAndLoadImage(&commits);
  EXPECT_EQ(commits, 0);
  EXPECT_EQ(Record(after, 0, 1), Record(before, 0, 1));
}

TEST_F(WriteTest, RightPasswordOpensTheWrite) {
  const MemoryImage before = FreshImage(1, 1);
  ConnectAndRead(before, {"--password", "1234"});
  Form().passwordInput->value("1234");
  Type(1, "10.1");
  WriteCoefficients(Form());
  EXPECT_TRUE(alerts.empty());
  const std::vector<std::string> expected = {
      "write 2 bytes at 0:005302 (password entry)",
      "write 20 bytes at 0:001000 (calibration record, group 0 nozzle 1)",
      "write 5 bytes at 0:004001 (calibration counter, group 0)",
      "write 1 bytes at 0:88FFFF (commit)"};
  EXPECT_EQ(MemoryRequests(), expected);
  EXPECT_EQ(ReceivedRequests()[0].wire[9], 12);
  const MemoryImage after = StopAndLoadImage();
  EXPECT_EQ(K(Record(after, 0, 1)), Scaled(K(Record(before, 0, 1)), 10.1L / 10));
}

TEST_F(WriteTest, VariantZeroWritesNineteenBytesAndTheBareCounterOfItsGroup) {
  const MemoryImage before = FreshImage(0, 2, 3, {5, 6, 7});
  ConnectAndRead(before, {}, "7");
  Type(2, "9.9");
  WriteCoefficients(Form());
  EXPECT_TRUE(alerts.empty());
  const std::vector<std::string> expected = {
      "write 19 bytes at 0:001500 (calibration record, group 2 nozzle 2)",
      "write 2 bytes at 0:004201 (calibration counter, group 2)",
      "write 1 bytes at 0:88FFFF (commit)"};
  EXPECT_EQ(MemoryRequests(), expected);
  EXPECT_STREQ(Form().commonCounterInput->value(), "15");
  EXPECT_STREQ(Form().nozzleNumberFields[2]->value(), "");
  const MemoryImage after = StopAndLoadImage();
  EXPECT_EQ(K(Record(after, 1, 2, 2)), Scaled(K(Record(before, 1, 2, 2)), 9.9L / 10));
  EXPECT_EQ(Bytes(after, 0, 0x4203, 3), Bytes(before, 0, 0x4203, 3));   // date untouched
}

TEST_F(WriteTest, VariantTwoSendsTheValueWithTheDateThenReadsAgain) {
  ConnectAndRead(FreshImage(2, 2));
  Type(1, "10.05");
  Type(2, "1e1");   // 10 as a number, but not a text the controller's value can carry
  WriteCoefficients(Form());
  EXPECT_EQ(alerts, std::vector<std::string>{"Wrong value entered"});
  const std::vector<Received> received = ReceivedRequests();
  ASSERT_GE(received.size(), 2u);
  EXPECT_NE(received[0].what.find("write 6 bytes at 2:000006"), std::string::npos);
  // Header byte 5 carries the nozzle number; the body the rest and a checksum.
  const std::vector<uint8_t> today = Today();
  EXPECT_EQ(received[0].wire[9], 1);
  EXPECT_EQ(std::vector<uint8_t>(received[0].wire.begin() + 12, received[0].wire.begin() + 17),
            (std::vector<uint8_t>{0x42, 0x27, today[0], today[1], today[2]}));   // 10050
  EXPECT_NE(received[1].what.find("write 1 bytes at 0:88FFFF"), std::string::npos);
  // No counter write on variant 2; the controller is read again.
  const std::vector<std::string> requests = MemoryRequests();
  ASSERT_GE(requests.size(), 3u);
  EXPECT_EQ(requests[2], "read 1 bytes at 2:000024 (status byte)");
  EXPECT_EQ(Form().nozzleEdited[0], 0);
}

}  // namespace

namespace {

// Replies carry no address: a reply that comes after its read gave up could
// be taken, whole and with a good checksum, by the next read. The link waits
// such a reply out, so no row shows another nozzle's coefficient; and Write
// still computes nothing from what Read took after an unanswered read. Which
// replies are late follows from the simulator's seed: with this one, nozzle
// 2's reply in the Read is the first.
TEST_F(WriteTest, NoRecordIsComputedFromWhatCameAfterAnUnansweredRead) {
  MemoryImage before = FreshImage(1, 4);
  // Bytes after each record unlike anything in the records: the twentieth
  // byte of nozzle 1's write must be its own, even with nozzle 2 unread.
  for (int i = 0; i < 4; ++i) before.set(0, 0x1013 + 0x100 * i, static_cast<uint8_t>(0x6E + i));
  Connect(before, {"--fault-late", "0.2", "--late-ms", "1500", "--seed", "6"});
  Read("1");
  EXPECT_STREQ(Form().nozzleCoefficientInputs[1]->value(), "* 1.001000");
  EXPECT_STREQ(Form().nozzleCoefficientInputs[2]->value(), "???");
  for (int n = 3; n <= 4; ++n) {
    const std::string own = "* 1.00" + std::to_string(n) + "000";
    const std::string shown = Form().nozzleCoefficientInputs[n]->value();
    EXPECT_TRUE(shown == "???" || shown == own) << "row " << n << " shows " << shown;
  }
  EXPECT_STREQ(Form().nozzleCoefficientInputs[4]->value(), "* 1.004000");
  ForgetReceived();
  // Nozzle 2 cannot be written: nothing is, not even the password.
  for (int n = 1; n <= 4; ++n) Type(n, "10.1");
  alerts.clear();
  WriteCoefficients(Form());
  EXPECT_EQ(alerts, std::vector<std::string>{
                        "Nothing written: the calibration record of nozzle 2 was not read. Read "
                        "the controller, then Write again."});
  EXPECT_TRUE(ReceivedRequests().empty());
  // Without nozzle 2's entry, nozzle 1 is written with its own twentieth byte.
  Type(2, "* 1.002000");
  Type(3, "* 1.003000");
  Type(4, "* 1.004000");
  alerts.clear();
  WriteCoefficients(Form());
  EXPECT_TRUE(alerts.empty());
  int commits = 0;
  const MemoryImage after = StopAndLoadImage(&commits);
  EXPECT_EQ(commits, 1);
  EXPECT_EQ(K(Record(after, 0)), Scaled(K(Record(before, 0)), 10.1L / 10));
  // Nothing else of the records' pages changed: not the byte after nozzle 1's
  // record, not the other records.
  std::vector<uint8_t> expected = Bytes(before, 0, 0x1000, 0x400);
  const std::vector<uint8_t> written = Record(after, 0);
  std::copy(written.begin(), written.end(), expected.begin());
  EXPECT_EQ(Bytes(after, 0, 0x1000, 0x400), expected);
}

// Nozzle 1's record is taken, nozzle 2's answer is lost: the counter counts
// what was taken and the change is committed; nozzle 3 is not sent. The
// journal ends the Write with what became of each, the operator is told the
// same, and nothing more is written until a new Read.
TEST_F(WriteTest, AWriteThatStopsHalfwaySaysWhatItDid) {
  const MemoryImage before = FreshImage(1, 3);
  ConnectAndRead(before, {"--fault-once", "no-reply:write 20 bytes at 0:001100"});
  for (int n = 1; n <= 3; ++n) Type(n, "10.1");
  WriteCoefficients(Form());
  EXPECT_EQ(alerts, std::vector<std::string>{
                        "Cannot set parameters. Check connection\n\nNozzles written: 1.\n"
                        "Nozzles whose answer was lost (they may be written): 2.\n"
                        "Nozzles not written: 3.\n"
                        "The calibration counter was stepped and the change committed.\n"
                        "Read the controller and Write again."});
  std::ifstream in(kCalibrationJournalFile);
  const std::string journal((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string last = journal.substr(journal.rfind('\n', journal.size() - 3) + 1);
  EXPECT_NE(last.find(",write,"), std::string::npos) << last;
  EXPECT_NE(last.find("abandoned: written 1; uncertain 2; not sent 3; counter stepped; committed"),
            std::string::npos) << last;
  alerts.clear();
  ForgetReceived();
  Type(3, "10.2");
  WriteCoefficients(Form());
  EXPECT_EQ(alerts, std::vector<std::string>{ReadFirstMessage()});
  EXPECT_TRUE(ReceivedRequests().empty());
  int commits = 0;
  const MemoryImage after = StopAndLoadImage(&commits);
  EXPECT_EQ(commits, 1);
  EXPECT_EQ(K(Record(after, 0, 3)), Scaled(K(Record(before, 0, 3)), 10.1L / 10));
  EXPECT_EQ(Record(after, 1, 3), Record(before, 1, 3));
  EXPECT_EQ(Record(after, 2, 3), Record(before, 2, 3));
  EXPECT_EQ(Bytes(after, 0, 0x4001, 1)[0], Bytes(before, 0, 0x4001, 1)[0] + 1);
}

}  // namespace

namespace {

const char kNotRead[] =
    "Nothing written: read the controller first. The values shown were not read from the "
    "controller now connected.";

// Whether the window shows what was read as the connected controller's:
// live rows and counter, or greyed ones.
bool ShownAsCurrent(int rows) {
  for (int n = 1; n <= rows; ++n) {
    if (!Form().nozzleCoefficientInputs[n]->active() || !Form().nozzleNumberFields[n]->active()) return false;
  }
  return Form().commonCounterInput->active();
}
bool ShownAsStale(int rows) {
  for (int n = 1; n <= rows; ++n) {
    if (Form().nozzleCoefficientInputs[n]->active() || Form().nozzleNumberFields[n]->active()) return false;
  }
  return !Form().commonCounterInput->active();
}

// Controller A holds K = 2.0 on nozzle 1 and counter 40; B is a fresh one
// (K = 1.001, counter 12). The operator reads A, moves to B's port, and
// presses Write before, and after, a Read of B that B does not answer.
TEST_F(WriteTest, NothingReachesAnotherControllerUntilItsReadGetsThrough) {
  MemoryImage a = FreshImage(1, 4);
  a.setBlock(0, 0x1000, std::vector<uint8_t>{0, 0, 0, 0, 2}.data(), 5);
  a.set16(0, 0x4001, 40);
  ConnectAndRead(a);
  ASSERT_STREQ(Form().nozzleCoefficientInputs[1]->value(), "* 2.000000");
  OpenClosePort(Form());
  EXPECT_TRUE(ShownAsStale(4));
  const std::unique_ptr<DispenserSim> simA = std::move(sim);

  imagePath += ".b";
  tracePath += ".b";
  traceOffset = 0;
  const MemoryImage b = FreshImage(1, 4);
  Connect(b);
  EXPECT_STREQ(Form().stateBox->label(), "Connection state");
  Type(1, "10.1");
  WriteCoefficients(Form());   // the port changed: nothing read from B yet
  EXPECT_EQ(alerts, std::vector<std::string>{kNotRead});

  sim->signal(sim_signal::kPause);   // B does not answer this once
  Read("1");
  sim->signal(sim_signal::kResume);
  EXPECT_STREQ(Form().stateBox->label(), "No connection");
  EXPECT_STREQ(Form().nozzleCoefficientInputs[1]->value(), "10.1");   // rows kept, but greyed
  EXPECT_TRUE(ShownAsStale(4));
  alerts.clear();
  WriteCoefficients(Form());
  EXPECT_EQ(alerts, std::vector<std::string>{kNotRead});
  for (const std::string& request : MemoryRequests())
    EXPECT_EQ(request.rfind("read ", 0), 0u) << "B received " << request;

  // Once B's Read gets through, Write works from B's own record and counter.
  alerts.clear();
  Read("1");
  ASSERT_TRUE(alerts.empty()) << alerts[0];
  EXPECT_TRUE(ShownAsCurrent(4));
  Type(1, "10.1");
  WriteCoefficients(Form());
  EXPECT_TRUE(alerts.empty());
  int commits = 0;
  const MemoryImage after = StopAndLoadImage(&commits);
  EXPECT_EQ(commits, 1);
  EXPECT_EQ(K(Record(after, 0)), Scaled(K(Record(b, 0)), 10.1L / 10));
  EXPECT_EQ(after.get16(0, 0x4001), 13);
}

// Two groups on one line at addresses 1 and 2: editing the Address alone
// ends the trust in what address 1 answered.
TEST_F(WriteTest, ChangingTheAddressAloneLeavesNothingToWriteUntilItIsRead) {
  const MemoryImage before = FreshImage(1, 2, 2, {1, 2});
  ConnectAndRead(before);
  Form().addressInput->value("2");
  Form().addressInput->do_callback();   // as typing does
  EXPECT_TRUE(ShownAsStale(2));
  Type(1, "10.1");
  WriteCoefficients(Form());
  EXPECT_EQ(alerts, std::vector<std::string>{kNotRead});
  EXPECT_TRUE(ReceivedRequests().empty());

  // Typed without the input's callback (as a program would), the Address
  // still has to be the one read.
  alerts.clear();
  Read("2");
  Form().addressInput->value("1");
  Type(1, "10.1");
  WriteCoefficients(Form());
  EXPECT_EQ(alerts, std::vector<std::string>{kNotRead});

  alerts.clear();
  Read("2");
  ForgetReceived();
  Type(1, "10.1");
  WriteCoefficients(Form());
  EXPECT_TRUE(alerts.empty());
  EXPECT_EQ(MemoryRequests().front(),
            "write 20 bytes at 0:001200 (calibration record, group 1 nozzle 1)");
  const MemoryImage after = StopAndLoadImage();
  EXPECT_EQ(K(Record(after, 0, 2, 1)), Scaled(K(Record(before, 0, 2, 1)), 10.1L / 10));
  EXPECT_EQ(Record(after, 0, 2, 0), Record(before, 0, 2, 0));
}

// A Read that fails after the status byte (here the main settings' checksum)
// leaves the variant and the rows of the controller before: still no Write.
TEST_F(WriteTest, AReadFailingAtTheMainSettingsLeavesNothingToWrite) {
  MemoryImage image = FreshImage(1, 2);
  image.set(0, layout::kSettings + 15, image.get(0, layout::kSettings + 15) ^ 0x01);
  ConnectAndRead(FreshImage(1, 2));
  sim.reset();
  OpenClosePort(Form());
  Connect(image);
  Read("1");
  ASSERT_EQ(alerts, std::vector<std::string>{"Warning! Wrong CRC in main settings"});
  EXPECT_TRUE(ShownAsStale(2));
  ForgetReceived();
  Type(1, "10.1");
  alerts.clear();
  WriteCoefficients(Form());
  EXPECT_EQ(alerts, std::vector<std::string>{kNotRead});
  EXPECT_TRUE(ReceivedRequests().empty());
}

}  // namespace

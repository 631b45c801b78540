// The calibration journal Write keeps, against the simulated controller: each
// line's values are what the controller held before and holds after, each
// failure leaves its outcome, and a journal that cannot be written stops Write
// before the first frame.
#include <sys/mount.h>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "app/core/controller_state.h"
#include "app/window/main_form.h"
#include "app/window/procedures.h"
#include "tests/app/procedure_fixture.h"

namespace {

namespace fs = std::filesystem;
using Row = std::vector<std::string>;

constexpr const char* kJournal = "calibration-journal.csv";
// Reads as 10.1; its quotes and comma must come back from the CSV as typed.
constexpr const char* kEnteredText = "10.1 \"x,y\"";
enum Column { kTime, kPort, kAddress, kVariant, kEvent, kNozzle, kEntered, kKBefore, kK2Before,
              kKAfter, kK2After, kCountBefore, kCountAfter, kDate, kOutcome, kColumns };

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// RFC 4180 rows: quoted fields may hold commas, quotes and line breaks.
std::vector<Row> ParseCsv(const std::string& text) {
  std::vector<Row> rows;
  Row row;
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') { field += '"'; ++i; }
      else if (c == '"') quoted = false;
      else field += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.push_back(field);
      field.clear();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      row.push_back(field);
      rows.push_back(row);
      row.clear();
      field.clear();
      ++i;
    } else {
      field += c;
    }
  }
  EXPECT_TRUE(field.empty() && row.empty()) << "the journal ends inside a line";
  return rows;
}

uint64_t Forty(const std::vector<uint8_t>& r, int at, int high) {
  uint64_t v = r[high];
  for (int k = 3; k >= 0; --k) v = v << 8 | r[at + k];
  return v;
}

std::string DateOf(const std::vector<uint8_t>& dmy) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d.%02d.%02d", dmy[0], dmy[1], dmy[2]);
  return text;
}

std::string TodayText() {
  const std::time_t now = std::time(nullptr);
  const std::tm* t = std::localtime(&now);
  return DateOf({static_cast<uint8_t>(t->tm_mday), static_cast<uint8_t>(t->tm_mon + 1),
                 static_cast<uint8_t>(t->tm_year % 100)});
}

// A tmpfs of its own for a test that needs a full or read-only file system;
// mounting needs root, so such a test skips where it cannot mount.
class SmallTmpfs {
 public:
  SmallTmpfs(const std::string& dir, const char* options) : dir_(dir) {
    fs::create_directories(dir);
    ok_ = mount("tmpfs", dir.c_str(), "tmpfs", 0, options) == 0;
  }
  ~SmallTmpfs() {
    if (ok_) umount2(dir_.c_str(), MNT_DETACH);
  }
  bool ok() const { return ok_; }
  bool remountReadOnly() {
    return mount("tmpfs", dir_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  std::string dir_;
  bool ok_ = false;
};

class JournalTest : public ProcedureTest {
 protected:
  // Each test keeps its journal in a working folder of its own.
  void SetUp() override {
    ProcedureTest::SetUp();
    previous_ = fs::current_path();
    folder_ = imagePath + ".d";
    fs::create_directories(folder_);
    fs::current_path(folder_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    tmpfs_.reset();
    ProcedureTest::TearDown();
  }
  void ConnectAndRead(const MemoryImage& image, const std::vector<std::string>& args = {}) {
    Connect(image, args);
    Read("1");
    ASSERT_TRUE(alerts.empty()) << alerts[0];
    ForgetReceived();
  }
  // Moves the working folder onto a fresh tmpfs; false when it cannot be mounted.
  bool WorkOnTmpfs(const char* options) {
    const std::string dir = folder_ + "/tmpfs";
    tmpfs_ = std::make_unique<SmallTmpfs>(dir, options);
    if (!tmpfs_->ok()) return false;
    fs::current_path(dir);
    return true;
  }
  std::vector<Row> Journal() { return ParseCsv(FileText(kJournal)); }
  // Rows after the header.
  std::vector<Row> Entries() {
    std::vector<Row> rows = Journal();
    EXPECT_FALSE(rows.empty());
    if (!rows.empty()) {
      EXPECT_EQ(rows[0][0], "time");
      rows.erase(rows.begin());
    }
    for (const Row& r : rows) EXPECT_EQ(r.size(), static_cast<size_t>(kColumns));
    return rows;
  }
  // Write stopped for the journal, and the controller received nothing.
  void ExpectStoppedBeforeAnyFrame() {
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].rfind("Cannot write the calibration journal calibration-journal.csv (", 0),
              0u) << alerts[0];
    EXPECT_TRUE(ReceivedRequests().empty()) << ReceivedRequests()[0].what;
  }

  std::unique_ptr<SmallTmpfs> tmpfs_;
  std::string folder_;
  fs::path previous_;
};

// Variants 0 and 1: a nozzle line before the record goes and one with its
// outcome, both holding what the controller held before and holds after; the
// same for the counter (with its date on variant 1) and the commit.
void ExpectRecordsAsHeld(int variant, const std::vector<Row>& rows,
                         const MemoryImage& before, const MemoryImage& after,
                         const std::string& port) {
  ASSERT_EQ(rows.size(), 6u);
  const std::regex localTime(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)");
  for (const Row& r : rows) {
    EXPECT_TRUE(std::regex_match(r[kTime], localTime)) << r[kTime];
    EXPECT_EQ(r[kPort], port);
    EXPECT_EQ(r[kAddress], "01");
    EXPECT_EQ(r[kVariant], std::to_string(variant));
  }
  const std::vector<uint8_t> was = Bytes(before, 0, 0x1100, 19), is = Bytes(after, 0, 0x1100, 19);
  ASSERT_NE(was, is);
  for (int k = 0; k < 2; ++k) {
    const Row& r = rows[k];
    EXPECT_EQ(r[kEvent], "nozzle");
    EXPECT_EQ(r[kNozzle], "2");
    EXPECT_EQ(r[kEntered], kEnteredText);
    EXPECT_EQ(r[kKBefore], std::to_string(Forty(was, 0, 4)));
    EXPECT_EQ(r[kK2Before], std::to_string(Forty(was, 5, 9)));
    EXPECT_EQ(r[kKAfter], std::to_string(Forty(is, 0, 4)));
    EXPECT_EQ(r[kK2After], std::to_string(Forty(is, 5, 9)));
    EXPECT_EQ(r[kCountBefore], std::to_string(was[17] | was[18] << 8));
    EXPECT_EQ(r[kCountAfter], std::to_string(is[17] | is[18] << 8));
  }
  EXPECT_EQ(rows[0][kOutcome], "sending");
  EXPECT_EQ(rows[1][kOutcome], "written");
  for (int k = 2; k < 4; ++k) {
    EXPECT_EQ(rows[k][kEvent], "counter");
    EXPECT_EQ(rows[k][kNozzle], "");
    EXPECT_EQ(rows[k][kCountBefore], std::to_string(before.get16(0, 0x4001)));
    EXPECT_EQ(rows[k][kCountAfter], std::to_string(after.get16(0, 0x4001)));
    EXPECT_EQ(rows[k][kDate], variant == 1 ? DateOf(Bytes(after, 0, 0x4003, 3)) : "");
  }
  EXPECT_EQ(rows[3][kOutcome], "written");
  EXPECT_EQ(rows[4][kEvent], "commit");
  EXPECT_EQ(rows[5][kEvent], "commit");
  EXPECT_EQ(rows[5][kOutcome], "written");
}

TEST_F(JournalTest, VariantOneLinesHoldTheControllersValuesBeforeAndAfter) {
  const MemoryImage before = FreshImage(1, 2);
  ConnectAndRead(before);
  Type(2, kEnteredText);
  WriteCoefficients(Form());
  ASSERT_TRUE(alerts.empty()) << alerts[0];
  EXPECT_NE(FileText(kJournal).find(",\"10.1 \"\"x,y\"\"\","), std::string::npos);
  const std::string port = sim->announce();
  const MemoryImage after = StopAndLoadImage();
  ExpectRecordsAsHeld(1, Entries(), before, after, port);
}

TEST_F(JournalTest, VariantZeroLinesHoldTheControllersValuesBeforeAndAfter) {
  const MemoryImage before = FreshImage(0, 2);
  ConnectAndRead(before);
  Type(2, kEnteredText);
  WriteCoefficients(Form());
  ASSERT_TRUE(alerts.empty()) << alerts[0];
  const std::string port = sim->announce();
  const MemoryImage after = StopAndLoadImage();
  ExpectRecordsAsHeld(0, Entries(), before, after, port);
}

// Variant 2: the short record read before, and the value sent with its date
// (the controller computes its coefficient itself); no counter line.
TEST_F(JournalTest, VariantTwoLinesHoldTheShortRecordAndTheValueSent) {
  const MemoryImage before = FreshImage(2, 2);
  ConnectAndRead(before);
  Type(1, "10.05");
  WriteCoefficients(Form());
  ASSERT_TRUE(alerts.empty()) << alerts[0];
  const std::vector<Row> rows = Entries();
  ASSERT_EQ(rows.size(), 4u);
  const std::vector<uint8_t> shortRecord = Bytes(before, 0, 0x1000, 15);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(rows[k][kEvent], "nozzle");
    EXPECT_EQ(rows[k][kNozzle], "1");
    EXPECT_EQ(rows[k][kKBefore], std::to_string(Forty(shortRecord, 0, 11)));
    EXPECT_EQ(rows[k][kKAfter], "10.050");
    EXPECT_EQ(rows[k][kDate], TodayText());
  }
  EXPECT_EQ(rows[1][kOutcome], "written");
  EXPECT_EQ(rows[2][kEvent], "commit");
  EXPECT_EQ(rows[3][kOutcome], "written");
  // What the controller received is what the journal says was sent.
  const std::vector<Received> received = ReceivedRequests();
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received[0].wire[12] | received[0].wire[13] << 8, 10050);
}

TEST_F(JournalTest, ARefusedRecordLeavesItsOutcomeAndNothingElse) {
  const MemoryImage before = FreshImage(1, 2);
  ConnectAndRead(before, {"--fault-refuse", "1"});
  Type(1, "10.1");
  WriteCoefficients(Form());
  const std::vector<Row> rows = Entries();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][kOutcome], "sending");
  EXPECT_EQ(rows[1][kOutcome], "refused by the controller");
  EXPECT_EQ(rows[2][kEvent], "write");
  EXPECT_EQ(rows[2][kOutcome], "abandoned: refused 1; counter not stepped; nothing committed");
  // The computed values are on record although the controller kept its own.
  EXPECT_EQ(rows[1][kKBefore], std::to_string(Forty(Bytes(before, 0, 0x1000, 19), 0, 4)));
  EXPECT_NE(rows[1][kKAfter], rows[1][kKBefore]);
  EXPECT_EQ(Bytes(StopAndLoadImage(), 0, 0x1000, 19), Bytes(before, 0, 0x1000, 19));
}

TEST_F(JournalTest, AWrongPasswordAndAKeyTurnedOffAreOnRecord) {
  ConnectAndRead(FreshImage(1, 1), {"--password", "1234"});
  Form().passwordInput->value("5185");
  Type(1, "10.1");
  WriteCoefficients(Form());
  std::vector<Row> rows = Entries();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][kEvent], "password");
  EXPECT_EQ(rows[0][kOutcome], "wrong password");

  sim->signal(sim_signal::kKeyOff);   // the key turned off
  ASSERT_TRUE(PumpUntil([&] {
    return FileText(tracePath).find("configuration key off") != std::string::npos;
  }));
  Form().passwordInput->value("1234");
  alerts.clear();
  WriteCoefficients(Form());
  EXPECT_EQ(alerts, std::vector<std::string>{"Turn the configuration key on"});
  rows = Entries();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1][kOutcome], "key off");
}

TEST_F(JournalTest, ALostReplyIsOnRecordAsNoReply) {
  ConnectAndRead(FreshImage(1, 1), {"--fault-once", "no-reply:write 20 bytes"});
  Type(1, "10.1");
  WriteCoefficients(Form());
  const std::vector<Row> rows = Entries();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][kOutcome], "sending");
  EXPECT_EQ(rows[1][kOutcome], "no reply");
  EXPECT_EQ(rows[2][kOutcome], "abandoned: uncertain 1; counter not stepped; nothing committed");
}

TEST_F(JournalTest, ReadAndAWriteThatChangesNothingAddNothing) {
  ConnectAndRead(FreshImage(1, 2));
  Type(1, "4.99");    // out of range: skipped without a message
  Type(2, "abc");     // "Wrong value entered"
  WriteCoefficients(Form());
  Read("1");
  EXPECT_FALSE(fs::exists(kJournal));
}

TEST_F(JournalTest, ALineCutShortIsEndedAndTheFileOnlyGrows) {
  const std::string old =
      "time,port,address,variant,event,nozzle,entered,k_before,k2_before,k_after,k2_after,"
      "count_before,count_after,date,outcome\r\n2026-01-02T03:04:05+00:00,/dev/pts/9,01,1,nozz";
  { std::ofstream(kJournal, std::ios::binary) << old; }
  ConnectAndRead(FreshImage(1, 1));
  Type(1, "10.1");
  WriteCoefficients(Form());
  const std::string text = FileText(kJournal);
  ASSERT_EQ(text.compare(0, old.size(), old), 0);
  EXPECT_EQ(text.compare(old.size(), 2, "\r\n"), 0);
  const std::vector<Row> rows = ParseCsv(text);
  ASSERT_EQ(rows.size(), 2u + 6u);
  EXPECT_EQ(rows[1].back(), "nozz");
  EXPECT_EQ(rows[2][kOutcome], "sending");
  EXPECT_EQ(rows[2].size(), static_cast<size_t>(kColumns));
}

// A directory or a symbolic link in the journal's place, a read-only journal
// and a full disk: Write says why and sends nothing, not even the password.
TEST_F(JournalTest, AJournalThatCannotBeWrittenStopsWriteBeforeAnyFrame) {
  ConnectAndRead(FreshImage(1, 1), {"--password", "1234"});
  Form().passwordInput->value("1234");
  // The reason is the tool's own words (the catalog's), not the system's.
  const auto attempt = [&](const char* what, const std::string& reason) {
    SCOPED_TRACE(what);
    alerts.clear();
    ForgetReceived();
    Type(1, "10.1");
    WriteCoefficients(Form());
    ExpectStoppedBeforeAnyFrame();
    if (!alerts.empty()) {
      EXPECT_NE(alerts[0].find(" (" + reason + "): "), std::string::npos) << alerts[0];
    }
  };

  fs::create_directory(kJournal);
  attempt("a directory", "a folder stands in its place");
  fs::remove(kJournal);

  { std::ofstream("elsewhere.csv") << "untouched\n"; }
  fs::create_symlink("elsewhere.csv", kJournal);
  attempt("a symbolic link", "a symbolic link stands in its place");
  EXPECT_EQ(FileText("elsewhere.csv"), "untouched\n");
  fs::remove(kJournal);

  // Root writes files whatever their mode: there a read-only file system
  // stands in. Mounting a tmpfs needs root.
  if (geteuid() != 0) {
    { std::ofstream(kJournal) << "time\r\n"; }
    fs::permissions(kJournal, fs::perms::owner_read);
    attempt("a read-only file", "permission denied");
    return;
  }
  if (!WorkOnTmpfs("size=64k")) GTEST_SKIP() << "cannot mount a tmpfs";
  { std::ofstream(kJournal) << "time\r\n"; }
  {
    std::ofstream filler("filler", std::ios::binary);
    const std::string block(4096, 'x');
    for (int i = 0; i < 64 && filler; ++i) filler.write(block.data(), block.size());
  }
  attempt("a full disk", "the disk is full");
  ASSERT_TRUE(tmpfs_->remountReadOnly());
  attempt("a read-only file system", "the file system is read-only");
  EXPECT_EQ(FileText(kJournal), "time\r\n");
}

}  // namespace

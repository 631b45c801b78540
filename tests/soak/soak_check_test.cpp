// The soak's judge must catch what it is there to catch: a record computed
// from bytes the controller never sent in full, a commit after a failed
// write, and memory changed where the tool never writes. Traces and images
// are written here in dispenser-sim's formats.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/core/coefficient_math.h"
#include "link/frame.h"
#include "tests/soak/soak_check.h"
#include "tests/support/scratch_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Hex(const Bytes& b) {
  std::string s;
  char t[4];
  for (uint8_t v : b) {
    std::snprintf(t, sizeof t, " %02X", v);
    s += t;
  }
  return s;
}

Bytes Header(uint8_t kind, uint32_t address, uint8_t first, int count) {
  Bytes h = {kind, 0, uint8_t(address >> 8), uint8_t(address >> 16), uint8_t(address), first,
             uint8_t(count)};
  h.push_back(uint8_t(frameChecksum(h.data(), 7)));
  return h;
}

// Writes trace lines the way dispenser-sim does.
class TraceWriter {
 public:
  void Read(uint32_t address, int bank, const Bytes& data, const char* fault = "") {
    Bytes wire = {0x60, 1, uint8_t(0x48 + bank), 0};
    Bytes h = Header(0, address, 0, int(data.size()));
    wire.insert(wire.end(), h.begin(), h.end());
    Line("rx", wire, Describe("read", int(data.size()), bank, address));
    Bytes reply = data;
    reply.push_back(0);
    Line("tx", reply, std::string("bytes") + fault);
  }
  // reply: "accepted", "lost" or "truncated".
  void Write(uint32_t address, const Bytes& data, const std::string& reply) {
    Bytes wire = {0x60, 1, 0x40, 0};
    Bytes h = Header(1, address, data[0], int(data.size()));
    wire.insert(wire.end(), h.begin(), h.end());
    wire.insert(wire.end(), data.begin() + 1, data.end());
    if (data.size() > 1) wire.push_back(uint8_t(frameChecksum(data.data() + 1, int(data.size()) - 1)));
    Line("rx", wire, Describe("write", int(data.size()), 0, address));
    if (reply == "lost") {
      text_ += "  10.000 -- fault: request lost, no reply\n";
    } else if (reply == "truncated") {
      Line("tx", {}, "accepted: bytes [fault: truncated]");
    } else {
      Line("tx", {0x00}, "accepted: bytes");
    }
  }
  void Save(const std::string& path) { std::ofstream(path) << text_; }

 private:
  static std::string Describe(const char* what, int count, int bank, uint32_t address) {
    char t[80];
    std::snprintf(t, sizeof t, "to 01: %s %d bytes at %d:%06X", what, count, bank, address);
    return t;
  }
  void Line(const char* direction, const Bytes& b, const std::string& meaning) {
    text_ += "  10.000 " + std::string(direction) + Hex(b) + "  | " + meaning + "\n";
  }
  std::string text_;
};

Bytes RecordOf(uint8_t seed) {
  Bytes r(19, 0);
  r[3] = seed;  // K about seed / 256
  r[8] = seed;  // K2 likewise
  r[14] = 100;  // reset divisor
  r[17] = 3;    // count
  return r;
}

Bytes Recalculated(Bytes record, const char* entered) {
  EXPECT_EQ(RecalculateCoefficients(record.data(), std::strtod(entered, nullptr)), Recalculation::kDone);
  return record;
}

const Bytes kCommon = {0, 7, 0, 1, 2, 24};

// A variant-1 record as read: the record and the byte after it.
Bytes WithByteAfter(Bytes record, uint8_t after) {
  record.push_back(after);
  return record;
}

// One Read of two nozzles' records and the counter, as every soak cycle
// starts. The bytes after the records are 0x6E and 0x6F.
void ReadAll(TraceWriter& t) {
  t.Read(0x24, 2, {0x80});
  t.Read(0x3100, 0, {16});
  t.Read(0x4000, 0, kCommon);
  t.Read(0x1000, 0, WithByteAfter(RecordOf(0x40), 0x6E));
  t.Read(0x1100, 0, WithByteAfter(RecordOf(0x50), 0x6F));
}

class SoakCheckTest : public ::testing::Test {
 protected:
  SoakFindings Judge(TraceWriter& t) {
    t.Save("trace.txt");
    return CheckSoakTrace("trace.txt", {"10.1", "9.9"}, 2);
  }
  ScratchDir scratch_;
};

TEST_F(SoakCheckTest, AWriteComputedFromTheLastCompleteReadAndCommittedPasses) {
  TraceWriter t;
  ReadAll(t);
  t.Write(0x1100, WithByteAfter(Recalculated(RecordOf(0x50), "10.1"), 0x6F), "accepted");
  t.Write(0x4001, {8, 0}, "accepted");
  t.Write(0x88FFFF, {0x55}, "accepted");
  SoakFindings f = Judge(t);
  EXPECT_TRUE(f.violations.empty()) << f.violations[0];
  EXPECT_EQ(f.recordWrites, 1);
  EXPECT_EQ(f.commits, 1);
}

TEST_F(SoakCheckTest, ARecordComputedFromAnotherNozzlesBytesIsCaught) {
  TraceWriter t;
  ReadAll(t);
  t.Write(0x1100, Recalculated(RecordOf(0x40), "10.1"), "accepted");
  EXPECT_EQ(Judge(t).violations.size(), 1u);
}

// The twentieth byte of a record write lands after the record: anything but
// the byte the controller sent from there (the next record's first byte, a
// zero for a read that failed) is caught.
TEST_F(SoakCheckTest, ATwentiethByteNotReadFromBehindTheRecordIsCaught) {
  for (uint8_t twentieth : {uint8_t(0x00), uint8_t(RecordOf(0x50)[0]), uint8_t(0x6F)}) {
    TraceWriter t;
    ReadAll(t);
    t.Write(0x1000, WithByteAfter(Recalculated(RecordOf(0x40), "10.1"), twentieth), "accepted");
    SoakFindings f = Judge(t);
    ASSERT_EQ(f.violations.size(), 1u) << int(twentieth);
    EXPECT_NE(f.violations[0].find("twentieth byte"), std::string::npos) << f.violations[0];
  }
}

// Whatever fails of a Read's status byte or main settings, nothing may be
// written until the next Read: not the password, not a record computed from
// the Read before.
TEST_F(SoakCheckTest, AnyWriteAfterAFailedReadIsCaughtUntilTheNextRead) {
  for (int gate = 0; gate < 2; ++gate) {
    TraceWriter t;
    ReadAll(t);
    t.Read(0x24, 2, {0x80}, gate == 0 ? " [fault: late]" : "");
    if (gate == 1) t.Read(0x3100, 0, {16}, " [fault: truncated]");
    t.Write(0x5302, {12, 34}, "accepted");
    t.Write(0x1000, WithByteAfter(Recalculated(RecordOf(0x40), "10.1"), 0x6E), "accepted");
    ReadAll(t);
    t.Write(0x1100, WithByteAfter(Recalculated(RecordOf(0x50), "9.9"), 0x6F), "accepted");
    SoakFindings f = Judge(t);
    EXPECT_EQ(f.failedReads, 1) << gate;
    ASSERT_EQ(f.violations.size(), 2u) << gate;
    for (const std::string& v : f.violations)
      EXPECT_NE(v.find("write after a Read that failed"), std::string::npos) << v;
  }
}

TEST_F(SoakCheckTest, ARecordWhoseReadWasCutShortIsCaught) {
  TraceWriter t;
  t.Read(0x24, 2, {0x80});
  t.Read(0x1000, 0, RecordOf(0x40), " [fault: late]");
  t.Write(0x1000, Recalculated(RecordOf(0x40), "9.9"), "accepted");
  EXPECT_EQ(Judge(t).violations.size(), 1u);
}

// Records the controller took are counted and committed even when a later
// record's answer was lost; a commit without that counter, or after a counter
// write that failed, is caught.
TEST_F(SoakCheckTest, ACommitNeedsATakenCounterAfterTheRecords) {
  struct Case {
    const char* recordReply;
    const char* counterReply;   // nullptr: no counter write
    bool caught;
  };
  for (const Case& c : {Case{"lost", "accepted", false}, Case{"truncated", "accepted", false},
                        Case{"accepted", nullptr, true}, Case{"lost", nullptr, true},
                        Case{"accepted", "lost", true}, Case{"accepted", "truncated", true}}) {
    TraceWriter t;
    ReadAll(t);
    t.Write(0x1000, Recalculated(RecordOf(0x40), "10.1"), c.recordReply);
    if (c.counterReply) t.Write(0x4001, {8, 0}, c.counterReply);
    t.Write(0x88FFFF, {0x55}, "accepted");
    SoakFindings f = Judge(t);
    ASSERT_EQ(f.violations.size(), c.caught ? 1u : 0u) << c.recordReply << " "
        << (c.counterReply ? c.counterReply : "-") << (f.violations.empty() ? "" : f.violations[0]);
    if (c.caught) {
      EXPECT_NE(f.violations[0].find("commit sent"), std::string::npos);
    }
  }
}

TEST_F(SoakCheckTest, ANewReadStartsANewWrite) {
  TraceWriter t;
  ReadAll(t);
  t.Write(0x1000, Recalculated(RecordOf(0x40), "10.1"), "accepted");
  t.Write(0x4001, {8, 0}, "lost");
  ReadAll(t);
  t.Write(0x1000, Recalculated(RecordOf(0x40), "10.1"), "accepted");
  t.Write(0x4001, {8, 0}, "accepted");
  t.Write(0x88FFFF, {0x55}, "accepted");
  SoakFindings f = Judge(t);
  EXPECT_TRUE(f.violations.empty()) << f.violations[0];
}

TEST_F(SoakCheckTest, FinalMemoryMustHoldTheLastWriteAndNothingElseNew) {
  TraceWriter t;
  ReadAll(t);
  Bytes written = Recalculated(RecordOf(0x40), "10.1");
  t.Write(0x1000, written, "accepted");
  t.Save("trace.txt");
  std::ofstream("before.img") << "commits 0\n0:001000" << Hex(RecordOf(0x40)) << "\n0:003100 05\n";

  std::ofstream("good.img") << "commits 1\n0:001000" << Hex(written) << "\n0:003100 05\n";
  SoakFindings good;
  CheckSoakImage("before.img", "good.img", "trace.txt", 2, &good);
  EXPECT_TRUE(good.violations.empty()) << good.violations[0];

  std::ofstream("stale.img") << "commits 1\n0:001000" << Hex(RecordOf(0x41)) << "\n0:003100 05\n";
  SoakFindings stale;
  CheckSoakImage("before.img", "stale.img", "trace.txt", 2, &stale);
  EXPECT_FALSE(stale.violations.empty());

  std::ofstream("stray.img") << "commits 1\n0:001000" << Hex(written) << "\n0:003100 06\n";
  SoakFindings stray;
  CheckSoakImage("before.img", "stray.img", "trace.txt", 2, &stray);
  ASSERT_EQ(stray.violations.size(), 1u);
  EXPECT_NE(stray.violations[0].find("never writes"), std::string::npos);
}

}  // namespace

// The simulator read and written by the tool's own link, over a pty: the
// memory of every variant lands where the tool looks for it, and a password,
// a record write and a commit go through as the Write procedure sends them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/core/application_link.h"
#include "link/frame.h"
#include "clock/tick.h"
#include "link/trk.h"
#include "port/port.h"
#include "tests/support/dispenser_sim.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

namespace {

template <typename Step>
int poll(Step step, int timeoutMs = 5000) {
  int result = kTrkPending;
  waitUntil([&] { return (result = step()) != kTrkPending; }, timeoutMs);
  return result;
}

class SimThroughTrk : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.ok());
    std::memset(NozzleTable, 0, sizeof NozzleTable);
    tickStart();
    PortLayerStart();
    ConfigureApplicationLink(trk);
    linkTable[0] = &trk;
  }
  void TearDown() override {
    if (port) PortClose(port);
    linkTable[0] = nullptr;
    PortLayerStop();
    tickStop();
  }
  void connect(const DispenserSim& sim, int address) {
    ASSERT_TRUE(sim.ok());
    ASSERT_EQ(PortOpen(&port, sim.announce().c_str()), kPortOpened);
    trk.port = port;
    trk.address = address;
  }
  std::vector<uint8_t> read(int address, int bank, int count) {
    std::vector<uint8_t> out(count, 0xEE);
    EXPECT_EQ(poll([&] { return trk.readBlock(address, bank, count, out.data()); }), kTrkDone)
        << std::hex << address;
    return out;
  }
  int write(int address, int bank, std::vector<uint8_t> data) {
    return poll([&] { return trk.writeBlock(address, bank, data.data(), static_cast<int>(data.size())); });
  }

  ScratchDir dir;
  uint16_t port = 0;
  Trk trk{0, 1, 0, 0, 0};
};

TEST_F(SimThroughTrk, EveryVariantLaysOutItsMemoryWhereTheToolReads) {
  struct Fields {
    int nozzlesAt, groupsAt, addressAt;
  };
  const Fields fields[3] = {{5, 6, 1}, {4, 5, 2}, {10, 9, 3}};
  for (int v = 0; v < 3; ++v) {
    SCOPED_TRACE("variant " + std::to_string(v));
    DispenserSim sim({"--variant", std::to_string(v), "--nozzles", "3", "--groups", "2",
                      "--group-addresses", "0x31,0x32"});
    connect(sim, 0x32);  // group 1
    int status = read(0x24, 2, 1)[0];
    int variant = status & 0x20 ? 2 : status >> 7;
    EXPECT_EQ(variant, v);
    int length = read(0x3100, 0, 1)[0];
    std::vector<uint8_t> settings = read(0x3101, 0, length);
    if (v != 2) {
      EXPECT_EQ(settings[length - 1], frameChecksum(settings.data(), length - 1));
    }
    EXPECT_EQ(settings[fields[v].nozzlesAt], 3);
    EXPECT_EQ(settings[fields[v].groupsAt], 2);
    EXPECT_EQ(settings[fields[v].addressAt], 0x31);

    std::vector<uint8_t> common = read((0x40 + 1) * 256, 0, 6);
    EXPECT_EQ(common[1], 13);  // group 1's counter
    for (int i = 0; i < 3; ++i) {
      int record = v == 2 ? (0x10 + 2 * i + 1) * 256 : (0x10 + i + 3 * 1) * 256;
      std::vector<uint8_t> r = read(record, 0, v == 2 ? 15 : 19);
      int high = r[v == 2 ? 11 : 4];
      EXPECT_EQ(high, 1) << "nozzle " << i + 1;  // a coefficient just above 1.0
    }
    std::vector<uint8_t> password = read(v == 2 ? 2 : 0x5300, v == 2 ? 2 : 0, 16);
    EXPECT_EQ(password, std::vector<uint8_t>(16, 0x11));

    std::memset(trk.errorRecord, 0, sizeof trk.errorRecord);
    EXPECT_EQ(poll([&] { return trk.readErrorRecord(); }), kTrkDone);
    EXPECT_EQ(trk.errorRecord[12] == '$', v == 2);
    PortClose(port);
    port = 0;
  }
}

TEST_F(SimThroughTrk, PasswordRecordWriteAndCommitAsTheWriteProcedureSendsThem) {
  DispenserSim sim({"--variant", "1", "--password", "4321"});
  connect(sim, 1);
  std::vector<uint8_t> state = read(0x5300, 0, 16);
  EXPECT_EQ(state[0] & 0x02, 0x02);

  EXPECT_EQ(write(0x5302, 0, {43, 20}), -3);
  EXPECT_EQ(poll([&] { return trk.readErrorRecord(); }), kTrkDone);
  EXPECT_EQ(trk.lastError, 0x5B);
  EXPECT_EQ(write(0x5302, 0, {43, 21}), 1);

  std::vector<uint8_t> record = read(0x1000, 0, 19);
  record[17] = 99;
  record.push_back(0);  // variant 1 sends a twentieth byte
  EXPECT_EQ(write(0x1000, 0, record), 1);
  EXPECT_EQ(read(0x1000, 0, 19)[17], 99);
  EXPECT_EQ(write(0x4001, 0, {20, 0, 16, 3, 23}), 1);
  EXPECT_EQ(write(0x88FFFF, 0, {0x55}), 1);
  EXPECT_EQ(read(0x4000, 0, 6), (std::vector<uint8_t>{0, 20, 0, 16, 3, 23}));
}

}  // namespace

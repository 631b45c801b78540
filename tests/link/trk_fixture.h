// A link configured as the tool configures it, on a real pty whose master
// side the test plays as the controller.
#pragma once
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/application_link.h"
#include "link/frame.h"
#include "clock/tick.h"
#include "link/trk.h"
#include "port/port.h"
#include "tests/link/poll_step.h"
#include "tests/support/pty_pair.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

using Bytes = std::vector<uint8_t>;

// Select frame for address 1 and the given function.
inline Bytes selectFrame(uint8_t function) {
  Bytes frame{0x60, 0x01, function};
  frame.push_back(static_cast<uint8_t>(frameChecksum(frame.data(), 3)));
  return frame;
}

// Appends the checksum of everything before it.
inline Bytes withChecksum(Bytes bytes) {
  bytes.push_back(static_cast<uint8_t>(frameChecksum(bytes.data(), static_cast<int>(bytes.size()))));
  return bytes;
}

inline Bytes statusRecord(uint8_t code, uint8_t flags, uint8_t status, uint8_t bcdHigh,
                          uint8_t bcdMid, uint8_t bcdLow, uint8_t state) {
  return withChecksum({code, flags, status, bcdHigh, bcdMid, bcdLow, state});
}

// Steps an exchange that is still pending (every step must return
// kTrkPending) until the link has put count more bytes on the wire; what it
// sent.
template <typename Step>
Bytes stepUntilSent(PtyPair& pty, Step step, size_t count, int timeoutMs = 3000) {
  Bytes sent;
  waitUntil([&] {
    EXPECT_EQ(step(), kTrkPending);
    Bytes got = pty.drain(0);
    sent.insert(sent.end(), got.begin(), got.end());
    return sent.size() >= count;
  }, timeoutMs);
  return sent;
}

class TrkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.ok());
    ASSERT_TRUE(pty.ok());
    std::memset(NozzleTable, 0, sizeof NozzleTable);
    std::memset(linkTable, 0, sizeof linkTable);
    tickStart();
    PortLayerStart();
    ASSERT_EQ(PortOpen(&port, pty.slavePath().c_str()), kPortOpened);
    ConfigureApplicationLink(trk);
    trk.port = port;
    linkTable[0] = &trk;
  }
  void TearDown() override {
    PortClose(port);
    PortLayerStop();
    tickStop();
  }

  // What the link put on the wire and nothing after it.
  void expectWire(const Bytes& expected) {
    EXPECT_EQ(pty.receive(expected.size(), 2000), expected);
    EXPECT_EQ(pty.drain(20), Bytes{});
  }

  ScratchDir dir;
  PtyPair pty;
  uint16_t port = 0;
  Trk trk{0, 1, 0, 0, 0};
};

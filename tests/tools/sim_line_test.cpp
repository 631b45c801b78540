// The line between the simulator and the tool: an adapter that echoes what
// the tool sends, collisions on it, and a USB adapter that hands bytes over in
// bursts. Driven in-process with explicit times, so every time is exact.
#include <gtest/gtest.h>

#include "tests/tools/sim_wire.h"

namespace {

struct Arrival {
  int64_t atUs;
  uint8_t byte;
};
using Timeline = std::vector<Arrival>;
// One exchange: when the tool sent its request, and what it was handed.
struct Exchange {
  int64_t sentUs;
  Timeline got;
};

struct LineCase {
  const char* name;
  bool pace;
  LineSettings line;
};

constexpr int kExchanges = 40;
constexpr int64_t kPauseUs = 50000;   // between one exchange's end and the next request

Bytes request(int k) { return readRequest(1, 0, 0x3100 + static_cast<uint32_t>(k % 8), 3); }

// Runs kExchanges reads over the line, each sent once the one before has
// ended.
std::vector<Exchange> run(bool pace, const LineSettings& line, uint32_t seed = 1) {
  SessionSettings s = SimUnderTest::quickSession();
  s.pace = pace;
  s.line = line;
  s.seed = seed;
  layout::ControllerLayout shape;
  shape.variant = 1;
  SimUnderTest sim(shape, {}, s);
  std::vector<Exchange> exchanges;
  for (int k = 0; k < kExchanges; ++k) {
    const Bytes bytes = request(k);
    const int64_t sent = sim.now;
    sim.session.received(bytes.data(), bytes.size(), sent);
    Timeline got;
    for (int64_t t = sim.session.nextEventUs(); t != kNever; t = sim.session.nextEventUs()) {
      sim.session.tick(t);
      for (uint8_t b : sim.session.due(t)) got.push_back({t, b});
      sim.now = t;
    }
    sim.now += kPauseUs;
    exchanges.push_back({sent, got});
  }
  return exchanges;
}

Timeline tail(const Timeline& t, size_t from) { return Timeline(t.begin() + from, t.end()); }

bool sameBytesAndTimes(const Timeline& a, const Timeline& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].atUs != b[i].atUs || a[i].byte != b[i].byte) return false;
  return true;
}

TEST(SimLine, EchoCollisionsAndUsbBurstsAsTheToolReceivesThem) {
  const LineCase cases[] = {
      {"echo", false, {true, 0, 0}},
      {"echo, paced", true, {true, 0, 0}},
      {"echo with collisions", true, {true, 0.25, 0}},
      {"bursts of 16 ms, paced", true, {false, 0, 16000}},
      {"echo in bursts of 16 ms, paced", true, {true, 0, 16000}},
      {"bursts of 32 ms", false, {false, 0, 32000}},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    LineSettings instant = c.line;
    instant.usbLatencyUs = 0;
    const std::vector<Exchange> clean = run(c.pace, LineSettings{});
    const std::vector<Exchange> instantRun = run(c.pace, instant);
    const std::vector<Exchange> adapterRun = run(c.pace, c.line);
    ASSERT_EQ(adapterRun.size(), static_cast<size_t>(kExchanges));

    int echoed = 0;
    int collided = 0;
    for (int k = 0; k < kExchanges; ++k) {
      const Bytes sent = request(k);
      const Timeline& raw = instantRun[k].got;
      const Timeline& got = adapterRun[k].got;
      const size_t echoSize = c.line.echo ? sent.size() : 0;
      ASSERT_EQ(raw.size(), echoSize + clean[k].got.size()) << "exchange " << k;
      // The echo comes first, each byte as it leaves the tool (at once, or
      // paced at its wire time); the reply follows exactly as on a clean
      // line: the echo takes no wire time, and the controller got the request.
      const int64_t start = instantRun[k].sentUs;
      for (size_t i = 0; i < echoSize; ++i) {
        EXPECT_EQ(raw[i].atUs, start + (c.pace ? static_cast<int64_t>(i + 1) * kByteTimeUs : 0));
        ++echoed;
        collided += raw[i].byte != sent[i];
      }
      EXPECT_EQ(clean[k].sentUs, start);
      EXPECT_TRUE(sameBytesAndTimes(tail(raw, echoSize), clean[k].got)) << "exchange " << k;

      // Through a USB adapter: the same bytes in the same order, each handed
      // over when the timer its burst's first byte started runs out (times
      // from each exchange's request: the bursts end exchanges later).
      ASSERT_EQ(got.size(), raw.size());
      int64_t burstStart = -1;
      for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].byte, raw[i].byte);
        const int64_t arrived = raw[i].atUs - start;
        if (burstStart < 0 || arrived >= burstStart + c.line.usbLatencyUs) burstStart = arrived;
        EXPECT_EQ(got[i].atUs - adapterRun[k].sentUs, burstStart + c.line.usbLatencyUs)
            << "byte " << i;
      }
    }
    if (c.line.collision == 0) {
      EXPECT_EQ(collided, 0);
    } else {
      const double rate = static_cast<double>(collided) / echoed;
      EXPECT_GT(rate, c.line.collision * 0.6) << collided << " of " << echoed;
      EXPECT_LT(rate, c.line.collision * 1.4) << collided << " of " << echoed;
    }
  }
}

// A seed repeats its collisions, and the collisions leave the reply faults
// that seed draws as they are.
TEST(SimLine, CollisionsFollowTheSeedAndLeaveTheReplyFaultsAlone) {
  const LineSettings colliding{true, 0.3, 0};
  auto echoes = [&](uint32_t seed) {
    Bytes all;
    for (const Exchange& e : run(false, colliding, seed))
      for (const Arrival& a : e.got) all.push_back(a.byte);
    return all;
  };
  EXPECT_EQ(echoes(7), echoes(7));
  EXPECT_NE(echoes(7), echoes(8));

  auto replies = [](const LineSettings& line) {
    SessionSettings s = SimUnderTest::quickSession();
    s.faults.truncate = 0.3;
    s.seed = 5;
    s.line = line;
    layout::ControllerLayout shape;
    SimUnderTest sim(shape, {}, s);
    Bytes all;
    for (int k = 0; k < kExchanges; ++k) {
      Bytes reply = sim.send(request(k));
      if (line.echo) reply.erase(reply.begin(), reply.begin() + static_cast<long>(request(k).size()));
      all = all + reply + Bytes{0xAA};
    }
    return all;
  };
  EXPECT_EQ(replies(colliding), replies(LineSettings{}));
}

}  // namespace

// The wire trace: time-outs and a settling line in words, the words of
// replies, and the size limit.
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "link/frame_decoder.h"
#include "link/frame_words.h"
#include "link/wire_trace.h"
#include "port/port_table.h"
#include "tests/link/trk_fixture.h"
#include "tests/port/loopback_peer.h"
#include "tests/port/port_layer_fixture.h"
#include "tests/port/tcp_port_wait.h"
#include "tests/support/dispenser_sim.h"

namespace {

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(FileText(path));
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// The request the bytes decode to, through the decoder both traces use.
Request Decode(const Bytes& bytes) {
  FrameDecoder decoder(true, 1000000);
  std::vector<Decoded> out;
  for (uint8_t b : bytes) decoder.feed(b, 0, out);
  EXPECT_EQ(out.size(), 1u);
  return out.empty() ? Request() : out[0].request;
}

TEST(FrameWords, RepliesInWords) {
  const Request status = Decode(selectFrame(0x81));
  Bytes record = statusRecord(1, 0x02, 0, 0x00, 0x01, 0x23, 0x30);
  EXPECT_EQ(describeReply(status, record), "status nozzle 1: running, 1.23 l");
  record[7] ^= 1;
  EXPECT_EQ(describeReply(status, record), "status nozzle 1: running, 1.23 l, checksum wrong");

  Bytes read = selectFrame(0x48);
  const Bytes header = withChecksum({0x00, 0x00, 0x31, 0x00, 0x00, 0x00, 24});
  read.insert(read.end(), header.begin(), header.end());
  const Request memory = Decode(read);
  EXPECT_EQ(describeRequest(memory), "to 01: read 24 bytes at 0:003100");
  Bytes reply = withChecksum(Bytes(24, 0x5A));
  EXPECT_EQ(describeReply(memory, reply), "24 bytes + checksum");
  reply.back() ^= 0xFF;
  EXPECT_EQ(describeReply(memory, reply), "24 bytes + checksum, checksum wrong");
  EXPECT_EQ(describeReply(memory, Bytes(3, 0)), "3 of 25 bytes");

  Bytes write = selectFrame(0x40);
  const Bytes writeHeader = withChecksum({0x01, 0x00, 0x10, 0x00, 0x00, 0x11, 3});
  write.insert(write.end(), writeHeader.begin(), writeHeader.end());
  const Bytes body = withChecksum({0x22, 0x33});
  write.insert(write.end(), body.begin(), body.end());
  const Request written = Decode(write);
  EXPECT_EQ(describeReply(written, {0xFF}), "refused");
  EXPECT_EQ(describeReply(written, {0x00}), "accepted");
}

class WireTraceTest : public PortLayerTest {
 protected:
  void TearDown() override {
    WireTraceStop();
    SetWireTraceTroubleSink(nullptr);
    PortLayerTest::TearDown();
  }
  uint16_t port = 0;
};

// Every reply comes 1500 ms late: the read gives up after 1000 ms, and the
// next one first waits for the line to settle, dropping the late reply. Over
// TCP, where a clear drops only what has been taken from the socket, so every
// late byte shows in the trace (a serial clear also flushes what the driver
// has not handed up yet, unseen).
TEST_F(WireTraceTest, ATimeOutAndTheSettlingLineShowInWords) {
  DispenserSim sim({"--tcp-server", "0", "--fault-late", "1", "--late-ms", "1500",
                    "--trace-file", "sim.trace"});
  ASSERT_TRUE(sim.ok());
  ASSERT_EQ(PortOpen(&port, ("TCPC_" + sim.announce()).c_str()), kPortOpened);
  ASSERT_TRUE(waitForTcpPeer(port));
  Trk trk{0, 1, 0, 0, 0};
  ConfigureApplicationLink(trk);
  trk.port = port;
  ASSERT_TRUE(WireTraceStart("wire.trace"));

  uint8_t byte = 0;
  EXPECT_EQ(pollStep([&] { return trk.readBlock(0x3100, 0, 1, &byte); }), kTrkNoReply);
  // The late reply of the first read is not taken for the second's.
  EXPECT_EQ(pollStep([&] { return trk.readBlock(0x3100, 0, 1, &byte); }), kTrkNoReply);
  WireTraceStop();
  sim.stop();

  const std::string trace = FileText("wire.trace");
  EXPECT_NE(trace.find(" -- no reply after 1000 ms\n"), std::string::npos) << trace;
  // The dropped bytes are the reply the controller sent late.
  const std::string simTrace = FileText("sim.trace");
  const size_t tx = simTrace.find(" tx ");
  ASSERT_NE(tx, std::string::npos) << simTrace;
  const std::string replyHex = simTrace.substr(tx + 4, simTrace.find("  | ", tx) - tx - 4);
  EXPECT_NE(trace.find(" rx " + replyHex + "  | dropped 2 bytes while the line settled\n"),
            std::string::npos)
      << trace;
}

// A stranger knocking on a TCPS_ port while the controller is connected is
// turned away at once; the trace says so.
TEST_F(WireTraceTest, AConnectionTurnedAwayByTheServerShowsInTheTrace) {
  const uint16_t listen = loopback::freePort();
  ASSERT_EQ(PortOpen(&port, ("TCPS_" + std::to_string(listen)).c_str()), kPortOpened);
  ASSERT_TRUE(WireTraceStart("wire.trace"));
  const int controller = loopback::connectTo(listen);
  ASSERT_GE(controller, 0);
  ASSERT_TRUE(waitForTcpPeer(port));
  EXPECT_EQ(FileText("wire.trace").find("connection(s) at once"), std::string::npos);
  const int stranger = loopback::connectTo(listen);
  ASSERT_GE(stranger, 0);
  EXPECT_TRUE(waitUntil([&] {
    PortAvailable(port);
    return FileText("wire.trace").find(" -- closed 1 connection(s) at once: one peer at a time\n") !=
           std::string::npos;
  })) << FileText("wire.trace");
  loopback::closeSocket(stranger);
  loopback::closeSocket(controller);
}

TEST_F(WireTraceTest, PastTheLimitTheFileMovesToDotOneAndANewOneBegins) {
  { std::ofstream("wire.trace.1") << "an older trace\n"; }
  ASSERT_EQ(PortOpen(&port, "STUB"), kPortOpened);
  constexpr long long kLimit = 4096;
  ASSERT_TRUE(WireTraceStart("wire.trace", kLimit));
  // Some 70 bytes a line: 80 requests cross the limit once.
  constexpr int kFrames = 80;
  for (int i = 0; i < kFrames; ++i) sendSelect(port, 1, 0x80 + (i % 8) + 1);
  WireTraceStop();

  std::vector<std::string> old = Lines("wire.trace.1");
  std::vector<std::string> now = Lines("wire.trace");
  const long long oldSize = static_cast<long long>(FileText("wire.trace.1").size());
  EXPECT_GE(oldSize, kLimit);
  EXPECT_LT(oldSize, kLimit + 200);
  EXPECT_LT(static_cast<long long>(FileText("wire.trace").size()), kLimit);
  // No line lost, none split between the files, the older trace replaced.
  ASSERT_FALSE(old.empty());
  EXPECT_NE(old[0].find(" -- trace begun "), std::string::npos) << old[0];
  old.erase(old.begin());
  EXPECT_EQ(old.size() + now.size(), static_cast<size_t>(kFrames));
  for (const std::vector<std::string>* lines : {&old, &now})
    for (const std::string& line : *lines)
      EXPECT_NE(line.find("  | to 01: status of nozzle "), std::string::npos) << line;
}

// What ended a trace, as the sink heard it.
std::vector<std::pair<WireTraceTrouble, std::string>> told;
void Tell(WireTraceTrouble trouble, const char* path, int error) {
  told.push_back({trouble, path + (" " + std::to_string(error))});
}

// An empty folder named FILE.1 (a plain remove would take it) is left alone:
// the trace stops at its limit, told once.
TEST_F(WireTraceTest, AtTheLimitAFolderNamedDotOneIsLeftAloneAndTheTraceStops) {
  std::filesystem::create_directory("wire.trace.1");
  told.clear();
  SetWireTraceTroubleSink(Tell);
  ASSERT_EQ(PortOpen(&port, "STUB"), kPortOpened);
  ASSERT_TRUE(WireTraceStart("wire.trace", 4096));
  for (int i = 0; i < 160; ++i) sendSelect(port, 1, 0x81);
  EXPECT_TRUE(std::filesystem::is_directory("wire.trace.1"));
  EXPECT_EQ(told, (decltype(told){{WireTraceTrouble::kBackupInTheWay, "wire.trace.1 0"}}));
  EXPECT_LT(FileText("wire.trace").size(), 4096u + 200u);
}

// A file size limit stands in for a full disk: the trace stops at the first
// write that fails, told once however many frames follow.
TEST_F(WireTraceTest, AWriteThatFailsStopsTheTraceToldOnce) {
  told.clear();
  SetWireTraceTroubleSink(Tell);
  ASSERT_EQ(PortOpen(&port, "STUB"), kPortOpened);
  ASSERT_TRUE(WireTraceStart("wire.trace"));
  rlimit saved{}, small{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  small = {2048, saved.rlim_max};
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  for (int i = 0; i < 100; ++i) sendSelect(port, 1, 0x81);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(told, (decltype(told){{WireTraceTrouble::kCannotWrite, "wire.trace " +
                                                                    std::to_string(EFBIG)}}));
  EXPECT_LE(FileText("wire.trace").size(), 2048u);
}

}  // namespace

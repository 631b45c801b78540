// The simulator as a program: its command line, its pseudo-terminal and TCP
// ends, its image file across a restart, and a clean stop.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/support/dispenser_sim.h"
#include "tests/tools/sim_wire.h"

namespace {

using Clock = std::chrono::steady_clock;

// Reads until count bytes arrived or timeoutMs passed.
Bytes receive(int fd, size_t count, int timeoutMs) {
  Bytes out;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (out.size() < count) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    uint8_t buffer[256];
    ssize_t n = read(fd, buffer, std::min(sizeof buffer, count - out.size()));
    if (n <= 0) break;
    out.insert(out.end(), buffer, buffer + n);
  }
  return out;
}

void sendAll(int fd, const Bytes& bytes) {
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

// The slave end opened as the tool opens a serial device: raw, 4800 8N1.
int openLine(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) return -1;
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  cfsetispeed(&t, B4800);
  cfsetospeed(&t, B4800);
  t.c_cflag |= CLOCAL | CREAD;
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

std::string tempPath(const char* name) {
  return ::testing::TempDir() + name + std::to_string(getpid());
}

TEST(SimProgram, AnswersOverItsPseudoTerminalAndKeepsWritesAcrossARestart) {
  std::string image = tempPath("sim_program_image_");
  std::remove(image.c_str());
  {
    DispenserSim sim({"--variant", "0", "--address", "0x21", "--image", image});
    ASSERT_TRUE(sim.ok());
    int fd = openLine(sim.announce());
    ASSERT_GE(fd, 0) << sim.announce();
    sendAll(fd, readRequest(0x21, 0, 0x3100, 1));
    Bytes reply = receive(fd, 2, 2000);
    ASSERT_EQ(reply.size(), 2u);
    EXPECT_EQ(reply[0], 16);
    sendAll(fd, writeHeader(0x21, 0, 0x4001, {0x34, 0x12}));
    sendAll(fd, writeBody({0x34, 0x12}));
    EXPECT_EQ(receive(fd, 1, 2000), Bytes{0x00});
    sendAll(fd, writeHeader(0x21, 0, 0x88FFFF, {0x55}));
    EXPECT_EQ(receive(fd, 2, 2000).size(), 2u);
    close(fd);
    EXPECT_EQ(sim.stop(SIGTERM), 0);
  }
  std::ifstream saved(image);
  std::string text((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("commits 1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("0:004001 34 12"), std::string::npos) << text;

  // Started again on the same image (its --variant ignored), it holds the write.
  DispenserSim again({"--variant", "2", "--image", image});
  ASSERT_TRUE(again.ok());
  int fd = openLine(again.announce());
  ASSERT_GE(fd, 0);
  sendAll(fd, readRequest(0x21, 0, 0x4001, 2));
  Bytes reply = receive(fd, 3, 2000);
  ASSERT_EQ(reply.size(), 3u);
  EXPECT_EQ(reply[0], 0x34);
  EXPECT_EQ(reply[1], 0x12);
  close(fd);
  EXPECT_EQ(again.stop(SIGINT), 0);
  std::remove(image.c_str());
}

TEST(SimProgram, BadArgumentsExitWithStatusTwoAndSayWhy) {
  const std::vector<std::vector<std::string>> cases = {
      {"--variant", "3"},
      {"--nozzles", "0"},
      {"--variant", "1", "--groups", "3"},
      {"--address"},
      {"--address", "12x"},
      {"--fault-late", "1.5"},
      {"--bogus"},
      {"stray"},
      {"--groups", "2", "--group-addresses", "5"},
      {"--password", "10000"},
      {"--pty", "--tcp-server", "0"},
      {"--save-each-write"},
      {"--fault-collision", "0.1"},
      {"--echo", "--fault-collision", "2"},
      {"--usb-latency", "1001"},
  };
  for (const auto& args : cases) {
    std::string errorText;
    EXPECT_EQ(DispenserSim::run(args, &errorText), 2) << args[0];
    EXPECT_NE(errorText.find("dispenser-sim: "), std::string::npos) << args[0];
  }
  std::string errorText;
  EXPECT_EQ(DispenserSim::run({"--help"}, &errorText), 0);
}

TEST(SimProgram, ServesTheToolOverTcpAsServerAndAsClient) {
  DispenserSim server({"--tcp-server", "0"});
  ASSERT_TRUE(server.ok());
  ASSERT_GT(server.tcpPort(), 0) << server.announce();
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(server.tcpPort()));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  sendAll(fd, selectFrame(1, 0xF0));
  EXPECT_EQ(receive(fd, 16, 2000).size(), 16u);
  close(fd);

  // The tool listening, the simulator connecting to it.
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  a.sin_port = 0;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  socklen_t length = sizeof a;
  getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length);
  DispenserSim client({"--tcp-client", std::to_string(ntohs(a.sin_port))});
  ASSERT_TRUE(client.ok());
  pollfd p{listener, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1);
  int peer = accept(listener, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  sendAll(peer, statusRequest(1, 1));
  EXPECT_EQ(receive(peer, 8, 2000).size(), 8u);
  close(peer);
  close(listener);
}

// ---- the line as the tool's adapter makes it ----------------------------

// The tool's end of the simulator's line: the pty's other end, or a
// connection to the simulator's TCP server.
struct LineTransport {
  const char* name;
  std::vector<std::string> args;
};
const LineTransport kLineTransports[] = {{"pty", {"--pty"}}, {"tcp", {"--tcp-server", "0"}}};

int connectLoopback(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

int openToolEnd(const LineTransport& t, const DispenserSim& sim) {
  return t.args[0] == "--pty" ? openLine(sim.announce()) : connectLoopback(sim.tcpPort());
}

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// Sends `exchanges` reads of one byte; what came back before each reply, in
// one string of bytes. Every reply must still be the controller's own.
Bytes echoesOf(const LineTransport& t, const std::vector<std::string>& options, int exchanges) {
  DispenserSim sim(with(t.args, options));
  EXPECT_TRUE(sim.ok());
  int fd = openToolEnd(t, sim);
  EXPECT_GE(fd, 0);
  Bytes echoes;
  for (int k = 0; k < exchanges && fd >= 0; ++k) {
    const Bytes request = readRequest(1, 0, 0x3100, 1);
    sendAll(fd, request);
    Bytes got = receive(fd, request.size() + 2, 2000);
    EXPECT_EQ(got.size(), request.size() + 2) << "exchange " << k;
    if (got.size() != request.size() + 2) break;
    EXPECT_EQ(Bytes(got.end() - 2, got.end()), withChecksum({16})) << "exchange " << k;
    echoes.insert(echoes.end(), got.begin(), got.end() - 2);
  }
  if (fd >= 0) close(fd);
  return echoes;
}

TEST(SimProgram, EchoComesBackBeforeTheReplyAndCollisionsFollowTheSeed) {
  constexpr int kExchanges = 30;
  Bytes sent;
  for (int k = 0; k < kExchanges; ++k) sent = sent + readRequest(1, 0, 0x3100, 1);
  for (const LineTransport& t : kLineTransports) {
    SCOPED_TRACE(t.name);
    EXPECT_EQ(echoesOf(t, {"--echo"}, kExchanges), sent) << "byte-exact";
    EXPECT_EQ(echoesOf(t, {"--echo", "--pace"}, 3), Bytes(sent.begin(), sent.begin() + 36));

    const std::vector<std::string> colliding = {"--echo", "--fault-collision", "0.3", "--seed", "5"};
    const Bytes first = echoesOf(t, colliding, kExchanges);
    ASSERT_EQ(first.size(), sent.size());
    int changed = 0;
    for (size_t i = 0; i < sent.size(); ++i) changed += first[i] != sent[i];
    EXPECT_GT(changed, static_cast<int>(sent.size() * 0.15)) << changed << " of " << sent.size();
    EXPECT_LT(changed, static_cast<int>(sent.size() * 0.45)) << changed << " of " << sent.size();
    EXPECT_EQ(echoesOf(t, colliding, kExchanges), first) << "the same seed, the same collisions";
  }
}

// A paced reply of 151 bytes takes 315 ms of wire; behind a 500 ms latency
// timer it comes in one burst, no earlier than the timer allows. Only a
// lower bound is tight; the bounds above are generous.
TEST(SimProgram, UsbLatencyHandsTheReplyOverInOneBurstAfterTheTimer) {
  constexpr int kLatencyMs = 500;
  for (const LineTransport& t : kLineTransports) {
    SCOPED_TRACE(t.name);
    DispenserSim sim(with(t.args, {"--pace", "--usb-latency", std::to_string(kLatencyMs)}));
    ASSERT_TRUE(sim.ok());
    int fd = openToolEnd(t, sim);
    ASSERT_GE(fd, 0);
    const Clock::time_point sent = Clock::now();
    sendAll(fd, readRequest(1, 0, 0x3000, 150));
    const Bytes first = receive(fd, 1, 5000);
    const Clock::time_point firstAt = Clock::now();
    const Bytes rest = receive(fd, 150, 5000);
    const Clock::time_point lastAt = Clock::now();
    close(fd);
    ASSERT_EQ(first.size() + rest.size(), 151u);
    auto ms = [](Clock::duration d) {
      return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
    };
    EXPECT_GE(ms(firstAt - sent), kLatencyMs);
    EXPECT_LT(ms(lastAt - firstAt), 150) << "one burst, not 315 ms of paced bytes";
    EXPECT_LT(ms(lastAt - sent), 25 + kLatencyMs + 1500);
  }
}

}  // namespace

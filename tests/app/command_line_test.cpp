// The built tarvo_6 run from outside as a script would run it: --read against
// dispenser-sim over a pseudo-terminal and over TCP, judged against the
// simulator's memory image; the exit statuses; --list-ports; the argument
// conventions. No display: DISPLAY is taken away from every run.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "port/port.h"
#include "tests/app/controller_fixture.h"
#include "tests/app/private_display.h"
#include "tests/support/json_value.h"
#include "tests/support/other_user_open.h"
#include "tests/support/pty_pair.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

namespace fs = std::filesystem;

namespace {

struct ToolRun {
  int status = -1;
  std::string out, err;
  double ms = 0;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t b : bytes) {
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

uint64_t Le(const std::vector<uint8_t>& bytes, int from, int count) {
  uint64_t v = 0;
  for (int i = count - 1; i >= 0; --i) v = v << 8 | bytes[from + i];
  return v;
}

class CommandLineTest : public ControllerTest {
 protected:
  void SetUp() override {
    ControllerTest::SetUp();
    ASSERT_TRUE(scratch_.ok());
    unsetenv("DISPLAY");   // the command line needs no X server
  }

  // Starts tarvo_6 in the scratch folder; standard output and error in files.
  pid_t StartTool(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {TARVO_6_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    const int out = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const pid_t pid = StartProgram(argv, out, err);
    close(out);
    close(err);
    return pid;
  }

  // Runs tarvo_6 to its end.
  ToolRun Tool(const std::vector<std::string>& args, int timeoutMs = 20000) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = StartTool(args);
    ToolRun run;
    run.status = WaitProgram(pid, timeoutMs);
    run.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                 .count();
    run.out = ReadFile("stdout.txt");
    run.err = ReadFile("stderr.txt");
    return run;
  }

  JsonValue ReadJson(const std::string& port, const std::vector<std::string>& more = {},
                     int expectedStatus = 0) {
    std::vector<std::string> args = {"--read", port, "--json"};
    args.insert(args.end(), more.begin(), more.end());
    const ToolRun run = Tool(args);
    EXPECT_EQ(run.status, expectedStatus) << run.err;
    JsonValue json;
    std::string error;
    EXPECT_TRUE(ParseJson(run.out, &json, &error)) << error << "\n" << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << "one object, one line";
    return json;
  }

  ScratchDir scratch_;
};

// Where each variant keeps what Read reads, as the controller's own layout
// says (independent of the tool's code).
struct Layout {
  int variant;
  int nOffset, gOffset;
  int recordSize;
  int passwordBank, passwordAddress;
  uint32_t RecordAddress(int i) const {
    return static_cast<uint32_t>((variant == 2 ? 0x10 + 2 * i : 0x10 + i) * 256);
  }
};
const Layout kLayouts[3] = {{0, 5, 6, 19, 0, 0x5300}, {1, 4, 5, 19, 0, 0x5300},
                            {2, 10, 9, 15, 2, 0x0002}};

// Every field of the JSON against the image the controller read from.
// The password state is the controller's lock, not memory: password is what
// it answers (dispenser-sim: sixteen 0x11 without a password, 02 00 ... 00
// while one is asked for).
void ExpectJsonMatchesImage(const JsonValue& json, const MemoryImage& image, int variant,
                            const std::string& port, const std::vector<uint8_t>& password) {
  const Layout& l = kLayouts[variant];
  EXPECT_EQ(json["port"].text, port);
  EXPECT_EQ(json["address"].number, 1);
  EXPECT_EQ(json["result"].text, "read");
  EXPECT_EQ(json["connection"].text, "Connected");
  EXPECT_EQ(json["status_byte"].number, image.get(2, layout::kStatusByte));
  EXPECT_EQ(json["variant"].number, variant);

  const int length = image.get(0, layout::kSettingsLength);
  const std::vector<uint8_t> settings = Bytes(image, 0, layout::kSettings, length);
  EXPECT_EQ(json["main_settings"].text, Hex(settings));
  const int n = settings[l.nOffset];
  EXPECT_EQ(json["nozzle_count"].number, n);
  EXPECT_EQ(json["group_count"].number, settings[l.gOffset]);
  EXPECT_EQ(json["group_index"].number, 0);

  const std::vector<uint8_t> common = Bytes(image, 0, 0x4000, 6);
  EXPECT_EQ(json["common_block"].text, Hex(common));
  const int counter = static_cast<int>(Le(common, 1, 2));
  EXPECT_EQ(json["counter"].number, counter);
  char counterText[64];
  if (variant == 0) {
    std::snprintf(counterText, sizeof counterText, "%d", counter);
  } else {
    std::snprintf(counterText, sizeof counterText, "%d %02d.%02d.%02d", counter, common[3],
                  common[4], common[5]);
  }
  EXPECT_EQ(json["counter_text"].text, counterText);

  const JsonValue& nozzles = json["nozzles"];
  ASSERT_EQ(nozzles.kind, JsonValue::kArray);
  ASSERT_EQ(nozzles.items.size(), static_cast<size_t>(std::min(n, 8)));
  for (int i = 0; i < static_cast<int>(nozzles.items.size()); ++i) {
    const JsonValue& nozzle = nozzles.items[i];
    const std::vector<uint8_t> record = Bytes(image, 0, l.RecordAddress(i), l.recordSize);
    EXPECT_EQ(nozzle["nozzle"].number, i + 1);
    EXPECT_TRUE(nozzle["read"].boolean);
    EXPECT_EQ(nozzle["record"].text, Hex(record)) << i;
    const uint64_t k = variant == 2 ? (Le(record, 0, 4) | Le(record, 11, 1) << 32) : Le(record, 0, 5);
    const double coefficient = std::ldexp(static_cast<double>(k), -32);
    EXPECT_EQ(nozzle["coefficient"].number, coefficient) << i;
    char text[64];
    std::snprintf(text, sizeof text, "* %f", coefficient);
    EXPECT_EQ(nozzle["coefficient_text"].text, text);
    if (variant == 0) {
      EXPECT_EQ(nozzle["number"].kind, JsonValue::kNull);
      EXPECT_EQ(nozzle["number_text"].text, "");
    } else {
      const int number = static_cast<int>(variant == 1 ? Le(record, 17, 2) : Le(record, 12, 2));
      EXPECT_EQ(nozzle["number"].number, number) << i;
      EXPECT_EQ(nozzle["number_text"].text, std::to_string(number));
    }
  }
  EXPECT_EQ(json["password_state"].text, Hex(password));
  EXPECT_EQ(json["password_needed"].boolean, (password[0] & 0x02) != 0);
  if (variant == 2) {
    EXPECT_TRUE(json["cng_diagnostics"].boolean);
    EXPECT_EQ(json["cng_text"].text, "HIA 1.07 ");
  } else {
    EXPECT_EQ(json["cng_diagnostics"].kind, JsonValue::kNull);
  }
}

// An image whose records are not the simulator's tidy defaults: K with a high
// byte, large counts.
MemoryImage UnusualImage(int variant) {
  MemoryImage image = FreshImage(variant, 4);
  const Layout& l = kLayouts[variant];
  const uint8_t record[19] = {0x9A, 0x78, 0x56, 0x34, 0x02, 0x11, 0x22, 0x33, 0x44, 0x01,
                              0x55, 0x66, 0x77, 0x88, 0x64, 0x00, 0xAB, 0x0F, 0x27};
  for (int b = 0; b < l.recordSize; ++b) image.set(0, l.RecordAddress(2) + b, record[b]);
  image.set(0, 0x4001, 0x34);   // counter 0x1234
  image.set(0, 0x4002, 0x12);
  return image;
}

class ReadCommandTest : public CommandLineTest,
                        public ::testing::WithParamInterface<std::tuple<int, bool>> {};

TEST_P(ReadCommandTest, EveryJsonFieldIsWhatTheControllerHolds) {
  const int variant = std::get<0>(GetParam());
  const bool tcp = std::get<1>(GetParam());
  const MemoryImage image = UnusualImage(variant);
  // Over the pty a controller that asks for a password; over TCP one that
  // does not, behind a converter that echoes what the tool sends.
  std::vector<std::string> args = {"--password", "1234"};
  std::vector<uint8_t> password(16, 0x00);
  password[0] = 0x02;
  if (tcp) {
    args = {"--tcp-server", "0", "--echo"};
    password.assign(16, 0x11);
  }
  StartController(image, args);
  ASSERT_FALSE(HasFatalFailure());
  const std::string port = tcp ? "TCPC_" + sim->announce() : sim->announce();
  const JsonValue json = ReadJson(port);
  EXPECT_EQ(json["line_echo"].boolean, tcp);
  // Read only reads.
  const std::vector<std::string> requests = MemoryRequests();
  EXPECT_GE(requests.size(), 9u);
  for (const std::string& request : requests) EXPECT_EQ(request.rfind("write", 0), std::string::npos);
  // The memory the controller held, as it saves it when it stops.
  const MemoryImage held = StopAndLoadImage();
  EXPECT_EQ(held.get(0, 0x1200 + (variant == 2 ? 0x200 : 0)), 0x9A) << "the unusual record";
  ExpectJsonMatchesImage(json, held, variant, port, password);
}

INSTANTIATE_TEST_SUITE_P(VariantsAndTransports, ReadCommandTest,
                         ::testing::Combine(::testing::Values(0, 1, 2), ::testing::Bool()),
                         [](const auto& info) {
                           return "Variant" + std::to_string(std::get<0>(info.param)) +
                                  (std::get<1>(info.param) ? "OverTcp" : "OverPty");
                         });

TEST_F(CommandLineTest, TextReportIsAlignedAndSaysWhatTheWindowShows) {
  StartController(FreshImage(1, 2), {});
  ASSERT_FALSE(HasFatalFailure());
  const ToolRun run = Tool({"--read", sim->announce()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::istringstream lines(run.out);
  std::string line;
  std::vector<std::string> labels;
  while (std::getline(lines, line)) {
    ASSERT_GE(line.size(), 18u) << line;
    EXPECT_EQ(line[16], ' ') << line;   // every value starts in column 18
    EXPECT_NE(line[17], ' ') << line;
    labels.push_back(line.substr(0, line.find_last_not_of(' ', 15) + 1));
  }
  const std::vector<std::string> expected = {
      "port", "address", "connection", "variant", "main settings", "result", "nozzles", "groups",
      "group index", "common counter", "nozzle 1", "nozzle 2", "password"};
  EXPECT_EQ(labels, expected);
  EXPECT_NE(run.out.find("common counter   12 01.03.23\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("nozzle 1         * 1.001000     3\n"), std::string::npos) << run.out;
}

TEST_F(CommandLineTest, ServiceAddressF0AndZeroNozzles) {
  MemoryImage image = FreshImage(1, 2, 2, {1, 2});
  image.set(0, layout::kSettings + 4, 0);   // N = 0
  FixSettingsChecksum(image);
  StartController(image, {});
  ASSERT_FALSE(HasFatalFailure());
  const JsonValue json = ReadJson(sim->announce(), {"--address", "00F0"});   // zeros taken
  EXPECT_EQ(json["address"].number, 240);
  EXPECT_EQ(json["group_index"].number, 0);
  EXPECT_EQ(json["nozzle_count"].number, 0);
  EXPECT_EQ(json["nozzles"].kind, JsonValue::kArray);
  EXPECT_TRUE(json["nozzles"].items.empty());
  // The select frames went to F0.
  for (const Received& r : ReceivedRequests()) {
    ASSERT_GE(r.wire.size(), 2u);
    EXPECT_EQ(r.wire[1], 0xF0);
  }
  // The record of nozzle 1 is still read, as the window does.
  const std::vector<std::string> requests = MemoryRequests();
  ASSERT_EQ(requests.size(), 6u);
  EXPECT_EQ(requests[4].substr(0, 25), "read 20 bytes at 0:001000");
}

TEST_F(CommandLineTest, SilentControllerExitsThreeWithinTheTimeOut) {
  StartController(FreshImage(1, 2), {});
  ASSERT_FALSE(HasFatalFailure());
  sim->signal(sim_signal::kPause);
  const ToolRun run = Tool({"--read", sim->announce(), "--json"});
  sim->signal(sim_signal::kResume);
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err, "No connection\n");
  // One unanswered status read: its 1000 ms time-out and a start.
  EXPECT_LT(run.ms, 3000);
  JsonValue json;
  std::string error;
  ASSERT_TRUE(ParseJson(run.out, &json, &error)) << error;
  EXPECT_EQ(json["result"].text, "no connection");
  EXPECT_EQ(json["connection"].text, "No connection");
  EXPECT_EQ(json["variant"].kind, JsonValue::kNull);
  EXPECT_EQ(json["nozzles"].kind, JsonValue::kNull);
}

TEST_F(CommandLineTest, DamagedMainSettingsExitFour) {
  MemoryImage image = FreshImage(0, 2);
  const int length = image.get(0, layout::kSettingsLength);
  image.set(0, layout::kSettings + length - 1, image.get(0, layout::kSettings + length - 1) ^ 0x5A);
  StartController(image, {});
  ASSERT_FALSE(HasFatalFailure());
  const JsonValue json = ReadJson(sim->announce(), {}, 4);
  EXPECT_EQ(json["result"].text, "wrong checksum");
  EXPECT_EQ(json["main_settings"].text, Hex(Bytes(image, 0, layout::kSettings, length)));
  EXPECT_EQ(json["nozzles"].kind, JsonValue::kNull);
  // Nothing is read after the block.
  EXPECT_EQ(MemoryRequests().size(), 3u);
  const ToolRun text = Tool({"--read", sim->announce()});
  EXPECT_EQ(text.status, 4);
  EXPECT_EQ(text.err, "Warning! Wrong CRC in main settings\n");
}

TEST_F(CommandLineTest, MissingOrBusyDeviceExitsFive) {
  ToolRun run = Tool({"--read", "/dev/tarvo6-no-such-device"});
  EXPECT_EQ(run.status, 5);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("/dev/tarvo6-no-such-device"), std::string::npos);
  EXPECT_NE(run.err.find("The port was not found"), std::string::npos) << run.err;

  // A device another program holds: the port layer's exclusive open refuses.
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  PortLayerStart();
  uint16_t held = 0;
  ASSERT_EQ(PortOpen(&held, pty.slavePath().c_str()), kPortOpened);
  run = Tool({"--read", pty.slavePath(), "--json"});
  PortClose(held);
  PortLayerStop();
  EXPECT_EQ(run.status, 5);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("The port is busy: another program holds it"), std::string::npos)
      << run.err;
}

// A signal while the Read waits for a reply (nozzle 1's record goes
// unanswered): the wait ends at once and the port is closed before the exit,
// so another user can open the device (its exclusive mode would refuse them).
TEST_F(CommandLineTest, EachTerminationSignalDuringAReadClosesThePortAndExitsSix) {
  for (int signal : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
    SCOPED_TRACE(strsignal(signal));
    StartController(FreshImage(1, 4), {"--pace", "--fault-once", "no-reply:at 0:001000"});
    ASSERT_FALSE(HasFatalFailure());
    ForgetReceived();   // the trace file is appended to
    const pid_t tool = StartTool({"--read", sim->announce()});
    const auto recordAsked = [&] {
      for (const std::string& r : MemoryRequests())
        if (r.find("at 0:001000") != std::string::npos) return true;
      return false;
    };
    ASSERT_TRUE(waitUntil(recordAsked, 10000)) << "the Read did not reach nozzle 1";
    const auto sent = std::chrono::steady_clock::now();
    kill(tool, signal);
    EXPECT_EQ(WaitProgram(tool, 5000), 6);
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(600))
        << "the 1000 ms wait for the reply was sat out";
    EXPECT_EQ(ReadFile("stdout.txt"), "");
    EXPECT_EQ(ReadFile("stderr.txt"),
              "tarvo_6: ended by a signal; the port " + sim->announce() + " is closed\n");
    EXPECT_EQ(OpenAsOrdinaryUser(sim->announce()), 0) << "the port was left locked";
    sim.reset();
  }
}

// A trace that cannot be written (a FIFO without a reader, a device) is not
// waited on: it is said once on standard error and the Read goes on.
TEST_F(CommandLineTest, ATraceThatCannotBeOpenedIsSaidOnceAndTheReadGoesOn) {
  StartController(FreshImage(1, 2), {});
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_EQ(mkfifo("wire.fifo", 0600), 0);
  for (const std::string trace : {"wire.fifo", "/dev/full"}) {
    const ToolRun run = Tool({"--trace", trace, "--read", sim->announce()}, 10000);
    EXPECT_EQ(run.status, 0) << trace;
    EXPECT_EQ(run.err, "tarvo_6: Cannot write the wire trace to " + trace +
                           ": not a regular file: a folder, a pipe or a device stands in its "
                           "place\n");
    EXPECT_NE(run.out.find("result           read\n"), std::string::npos) << run.out;
  }
}

TEST_F(CommandLineTest, BadArgumentsExitTwoWithTheErrorOnStandardError) {
  const std::vector<std::vector<std::string>> bad = {
      {"--frobnicate"},
      {"--read"},
      {"--read", "STUB", "--address", "1FF"},
      {"--read", "STUB", "--address", "G"},
      {"--read", "STUB", "--read", "STUB"},
      {"--list-ports", "--json"},
      {"--address", "1"},
      {"--json"},
      {"--list-ports", "--read", "STUB"},
      {"--read", "STUB", "-display", ":5"},
      // An option's value that begins with "--" is the next option: the value is missing.
      {"--read", "--json"},
      {"--trace", "--read", "STUB"},
      {"--read", "STUB", "--address", "--json"},
      {"--read", "STUB", "--address", "0x"},
      {"--read", "STUB", "--address", "0100"}};
  for (const auto& args : bad) {
    const ToolRun run = Tool(args);
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_EQ(run.status, 2) << joined;
    EXPECT_EQ(run.out, "") << joined;
    EXPECT_NE(run.err.find("--help"), std::string::npos) << joined << run.err;
  }
}

TEST_F(CommandLineTest, HelpAndVersionGoToStandardOutput) {
  for (const char* help : {"--help", "-h"}) {
    const ToolRun run = Tool({help});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("--read PORT [--address A] [--json]"), std::string::npos);
    EXPECT_NE(run.out.find("--list-ports"), std::string::npos);
    EXPECT_NE(run.out.find("tarvo_6 --find [PORT...]"), std::string::npos);
    EXPECT_NE(run.out.find("--trace FILE"), std::string::npos);
    EXPECT_NE(run.out.find("6 ended by a signal"), std::string::npos);
  }
  const ToolRun version = Tool({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "tarvo_6, build Mar 16 2023\n");
}

// The seams the window's discovery reads: a sysfs with two real-looking
// serial devices (their `device` link) and a console without one, no USB
// library, and the names offered in TARVO6_PORTS.
TEST_F(CommandLineTest, ListPortsShowsTheDiscoveredListWithKinds) {
  for (const char* tty : {"ttyUSB0", "ttyACM1", "tty0"}) {
    fs::create_directories(std::string("sysfs/class/tty/") + tty);
    if (std::string(tty) != "tty0") {
      fs::create_directory_symlink("/", std::string("sysfs/class/tty/") + tty + "/device");
    }
  }
  setenv("TARVO6_SYSFS", (scratch_.path() + "/sysfs").c_str(), 1);
  setenv("TARVO6_LIBUSB", (scratch_.path() + "/no_libusb.so").c_str(), 1);
  setenv("TARVO6_PORTS", "TCPS_5000 STUB /dev/pts/42 TCPC_10.0.0.9:4001 U_77 U_1234_1 UKEY", 1);
  const ToolRun run = Tool({"--list-ports"});
  unsetenv("TARVO6_SYSFS");
  unsetenv("TARVO6_LIBUSB");
  unsetenv("TARVO6_PORTS");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "/dev/pts/42          serial device\n"
            "STUB                 null\n"
            "TCPC_10.0.0.9:4001   TCP client\n"
            "TCPS_5000            TCP server\n"
            "UKEY                 USB channel\n"
            "U_1234_1             USB channel\n"
            "U_77                 USB channel\n"
            "ttyACM1              serial device\n"
            "ttyUSB0              serial device\n");
}

// --find over three ports in the order named: a controller with two groups
// (addresses 2A and 2B), a device that never answers and one that babbles
// bytes without end. Only the first is named; the others each cost one
// status read's time-out; nothing but reads reaches the controller, and
// every select frame goes to F0.
TEST_F(CommandLineTest, FindNamesOnlyThePortWhereAControllerAnswers) {
  StartController(FreshImage(1, 4, 2, {0x2A, 0x2B}), {});
  ASSERT_FALSE(HasFatalFailure());
  PtyPair silent, babbling;
  ASSERT_TRUE(silent.ok() && babbling.ok());
  std::atomic<bool> stop{false};
  std::thread babble([&] {
    uint8_t byte = 0x37;
    while (!stop) {
      std::vector<uint8_t> noise(8);
      for (uint8_t& b : noise) b = byte = static_cast<uint8_t>(byte * 73 + 41);
      babbling.send(noise);
      babbling.drain(5);
    }
  });
  const ToolRun run = Tool({"--find", silent.slavePath(), sim->announce(), babbling.slavePath()});
  stop = true;
  babble.join();

  EXPECT_EQ(run.status, 0) << run.err;
  char expected[128];
  std::snprintf(expected, sizeof expected, "%-19s  variant 1, nozzles 4, group addresses 2A 2B\n",
                sim->announce().c_str());
  EXPECT_EQ(run.out, expected);
  // Progress for each port, in the order named, on standard error.
  const size_t first = run.err.find("trying " + silent.slavePath());
  const size_t second = run.err.find("trying " + sim->announce());
  const size_t third = run.err.find("trying " + babbling.slavePath());
  EXPECT_TRUE(first < second && second < third) << run.err;
  EXPECT_NE(run.err.find("no controller answered on " + silent.slavePath()), std::string::npos);
  EXPECT_NE(run.err.find("no controller answered on " + babbling.slavePath()), std::string::npos);
  // Two unanswered status reads of 1000 ms each, and one exchange that got through.
  EXPECT_LT(run.ms, 4500);

  const std::vector<Received> received = ReceivedRequests();
  ASSERT_FALSE(received.empty());
  for (const Received& r : received) {
    ASSERT_GE(r.wire.size(), 2u);
    EXPECT_EQ(r.wire[1], 0xF0) << r.what;
  }
  const std::vector<std::string> requests = MemoryRequests();
  ASSERT_EQ(requests.size(), 3u);   // status byte, settings length, settings
  for (const std::string& r : requests) EXPECT_EQ(r.substr(0, 5), "read ") << r;
}

// With no port named, the ports --list-ports lists are tried; none answering
// exits 3 with nothing on standard output.
TEST_F(CommandLineTest, FindTriesTheListedPortsAndExitsThreeWhenNoneAnswers) {
  PtyPair silent;
  ASSERT_TRUE(silent.ok());
  fs::create_directories("sysfs/class/tty");
  setenv("TARVO6_SYSFS", (scratch_.path() + "/sysfs").c_str(), 1);
  setenv("TARVO6_LIBUSB", (scratch_.path() + "/no_libusb.so").c_str(), 1);
  setenv("TARVO6_PORTS", (silent.slavePath() + " STUB").c_str(), 1);
  const ToolRun run = Tool({"--find"});
  unsetenv("TARVO6_SYSFS");
  unsetenv("TARVO6_LIBUSB");
  unsetenv("TARVO6_PORTS");
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("trying " + silent.slavePath()), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("trying STUB"), std::string::npos) << run.err;
  // Options of --read do not go with it.
  EXPECT_EQ(Tool({"--find", "--json"}).status, 2);
}

}  // namespace

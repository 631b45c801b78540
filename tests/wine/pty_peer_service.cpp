// The device side of serial tests that run under Wine. A Windows test program
// cannot open a pseudo-terminal's master, so this Linux program holds the
// masters of a few ptys whose slaves Wine maps to COM ports, and lets a test
// play the device over a loopback TCP connection:
//
//   CLAIM            -> "COM11": a free port, held until the connection closes
//   SEND <hex>       -> "OK": the bytes are written to the master
//   RECV <n> <ms>    -> "<hex>": what the COM side wrote, until n bytes or ms passed
//   DRAIN <ms>       -> "<hex>": everything until ms of silence
//   LINE             -> "<baud> <data bits> <parity> <stop bits> <flow>": the
//                       slave's termios, as the program under test set it
//   WATCH <n> <ms>   -> "OK": in the background, reads the next n bytes (or
//                       what comes within ms) and the moment each arrived
//   WATCHED          -> "<hex> <us>,<us>,...": waits for the watch to end; each
//                       byte's arrival in microseconds after the watch began
//
// It also starts dispenser-sim for a test, which a Windows program cannot do
// on a pty (tests/support/dispenser_sim_win32.cpp):
//
//   SIM <ms> <hex arg>...  -> "OK <port>": the simulator runs with those
//                       arguments; its first line named its pty, and a COM
//                       port of the simulators' ones now leads there (or it
//                       named a TCP endpoint, passed on as it is). "ERROR"
//                       when it did not say so within ms.
//   SIGNAL <n>       -> "OK": signal n sent to it
//   STOP <n> <ms>    -> "<status>": signal n, then its exit status (128 + a
//                       signal that ended it; -1 when it had to be killed
//                       after ms). A connection that closes stops it too.
//
// Usage: pty_peer_service LINK_DIR PORT_FILE NAME... [--sim PROGRAM NAME...]
// Makes LINK_DIR/NAME point at each pty's slave (for the names after --sim,
// at a placeholder pty until a simulator takes the port), listens on
// 127.0.0.1 and writes the TCP port into PORT_FILE once everything is ready.
// Runs until killed.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/hex_text.h"
#include "tests/support/termios_line_text.h"

namespace {

struct Pty {
  std::string name;  // the COM port Wine maps onto the slave
  int master = -1;
  int slave = -1;    // held open so the master never sees a hang-up
  bool claimed = false;
};

std::vector<Pty> ptys;
std::mutex claimLock;

std::string linkDir;
std::string simProgram;
// The COM ports for simulators: each a link in linkDir, at a placeholder pty
// while no simulator holds it.
struct SimPort {
  std::string name;
  std::string placeholder;
  bool claimed = false;
};
std::vector<SimPort> simPorts;

// Points linkDir/name at target in one step: Wine, opening the port, finds
// either the old or the new target, never no link.
bool pointLink(const std::string& name, const std::string& target) {
  const std::string link = linkDir + "/" + name;
  const std::string fresh = link + ".new";
  unlink(fresh.c_str());
  return symlink(target.c_str(), fresh.c_str()) == 0 && rename(fresh.c_str(), link.c_str()) == 0;
}

void makeRaw(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return;
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
}

// Reads from the master until count bytes came or timeoutMs passed.
std::vector<uint8_t> receive(int fd, size_t count, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  std::vector<uint8_t> got;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (got.size() < count) {
    int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, left) <= 0) continue;
    uint8_t buf[4096];
    ssize_t n = read(fd, buf, std::min(sizeof buf, count - got.size()));
    if (n > 0) got.insert(got.end(), buf, buf + n);
  }
  return got;
}

// Everything that arrives until quietMs pass without a byte (0: what is
// there now).
std::vector<uint8_t> drain(int fd, int quietMs) {
  std::vector<uint8_t> got;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, quietMs) <= 0) break;
    uint8_t buf[4096];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    got.insert(got.end(), buf, buf + n);
  }
  return got;
}

bool readLine(int sock, std::string& line) {
  line.clear();
  char c;
  while (read(sock, &c, 1) == 1) {
    if (c == '\n') return true;
    line += c;
  }
  return false;
}

void writeLine(int sock, const std::string& text) {
  std::string out = text + "\n";
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n = write(sock, out.data() + done, out.size() - done);
    if (n <= 0) return;
    done += size_t(n);
  }
}

// Bytes read in the background with the moment each arrived, so a test
// can time the gaps the program under test leaves on the line while it
// goes on driving it.
struct Watch {
  std::thread reader;
  std::vector<uint8_t> bytes;
  std::vector<long> us;

  void start(int fd, size_t count, int timeoutMs) {
    finish();
    bytes.clear();
    us.clear();
    reader = std::thread([this, fd, count, timeoutMs] {
      using Clock = std::chrono::steady_clock;
      const auto begin = Clock::now();
      const auto deadline = begin + std::chrono::milliseconds(timeoutMs);
      while (bytes.size() < count && Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1) <= 0) continue;
        uint8_t buf[4096];
        ssize_t n = read(fd, buf, std::min(sizeof buf, count - bytes.size()));
        const long at = long(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - begin).count());
        for (ssize_t i = 0; i < n; ++i) {
          bytes.push_back(buf[i]);
          us.push_back(at);
        }
      }
    });
  }
  void finish() {
    if (reader.joinable()) reader.join();
  }
  std::string answer() {
    finish();
    std::string times;
    for (long t : us) times += (times.empty() ? "" : ",") + std::to_string(t);
    return ToHex(bytes) + " " + times;
  }
};

// One simulator started for one connection.
class Simulator {
 public:
  ~Simulator() { stop(SIGTERM, 5000); }

  // Starts it and waits up to ms for its first line; the port to open, or "".
  std::string start(const std::vector<std::string>& args, int ms) {
    int out[2];
    if (simProgram.empty() || pipe2(out, O_CLOEXEC) != 0) return "";
    std::vector<char*> argv{const_cast<char*>(simProgram.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const int rc = posix_spawn(&pid_, simProgram.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    stdout_ = out[0];
    if (rc != 0) {
      pid_ = -1;
      return "";
    }
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      const int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(
                               deadline - std::chrono::steady_clock::now()).count());
      pollfd p{stdout_, POLLIN, 0};
      char c;
      if (left <= 0 || poll(&p, 1, left) <= 0 || read(stdout_, &c, 1) != 1) return "";
      if (c == '\n') break;
      line += c;
    }
    if (line.rfind("/dev/", 0) != 0) return line;   // a TCP endpoint
    std::lock_guard<std::mutex> hold(claimLock);
    for (SimPort& p : simPorts)
      if (!p.claimed && pointLink(p.name, line)) {
        p.claimed = true;
        port_ = &p;
        return p.name;
      }
    return "";
  }

  void signal(int number) {
    if (pid_ > 0) kill(pid_, number);
  }

  int stop(int number, int ms) {
    int status = -1;
    if (pid_ > 0) {
      kill(pid_, number);
      status = reap(ms);
      if (status < 0) {
        kill(pid_, SIGKILL);
        reap(5000);
      }
      pid_ = -1;
    }
    if (stdout_ >= 0) close(stdout_);
    stdout_ = -1;
    if (port_) {
      std::lock_guard<std::mutex> hold(claimLock);
      pointLink(port_->name, port_->placeholder);
      port_->claimed = false;
      port_ = nullptr;
    }
    return status;
  }

 private:
  int reap(int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      int status = 0;
      const pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      if (done < 0 || std::chrono::steady_clock::now() >= deadline) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  pid_t pid_ = -1;
  int stdout_ = -1;
  SimPort* port_ = nullptr;
};

std::vector<std::string> hexWords(const std::string& text) {
  std::vector<std::string> words;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    if (end > at) {
      const std::vector<uint8_t> bytes = FromHex(text.substr(at, end - at));
      words.emplace_back(bytes.begin(), bytes.end());
    }
    at = end + 1;
  }
  return words;
}

void serve(int sock) {
  Pty* pty = nullptr;
  Watch watch;
  Simulator sim;
  std::string line;
  while (readLine(sock, line)) {
    char word[16] = {};
    std::sscanf(line.c_str(), "%15s", word);
    std::string command = word;
    std::string rest = line.size() > command.size() ? line.substr(command.size() + 1) : "";
    if (command == "SIM") {
      const int ms = std::atoi(rest.c_str());
      const size_t blank = rest.find(' ');
      const std::string port =
          sim.start(hexWords(blank == std::string::npos ? "" : rest.substr(blank + 1)), ms);
      writeLine(sock, port.empty() ? "ERROR" : "OK " + port);
    } else if (command == "SIGNAL") {
      sim.signal(std::atoi(rest.c_str()));
      writeLine(sock, "OK");
    } else if (command == "STOP") {
      int number = SIGTERM, ms = 5000;
      std::sscanf(rest.c_str(), "%d %d", &number, &ms);
      writeLine(sock, std::to_string(sim.stop(number, ms)));
    } else if (command == "CLAIM" && !pty) {
      std::lock_guard<std::mutex> hold(claimLock);
      for (Pty& p : ptys)
        if (!p.claimed) {
          p.claimed = true;
          pty = &p;
          break;
        }
      if (pty) {
        // Each test starts from a quiet raw line with nothing left over.
        makeRaw(pty->slave);
        tcflush(pty->master, TCIOFLUSH);
      }
      writeLine(sock, pty ? pty->name : "NONE");
    } else if (!pty) {
      writeLine(sock, "ERROR no port claimed");
    } else if (command == "SEND") {
      std::vector<uint8_t> bytes = FromHex(rest);
      bool ok = write(pty->master, bytes.data(), bytes.size()) == ssize_t(bytes.size());
      writeLine(sock, ok ? "OK" : "ERROR");
    } else if (command == "RECV") {
      size_t count = 0;
      int ms = 0;
      std::sscanf(rest.c_str(), "%zu %d", &count, &ms);
      writeLine(sock, ToHex(receive(pty->master, count, ms)));
    } else if (command == "DRAIN") {
      int ms = std::atoi(rest.c_str());
      writeLine(sock, ToHex(drain(pty->master, ms)));
    } else if (command == "LINE") {
      writeLine(sock, TermiosLineText(pty->slave));
    } else if (command == "WATCH") {
      size_t count = 0;
      int ms = 0;
      std::sscanf(rest.c_str(), "%zu %d", &count, &ms);
      watch.start(pty->master, count, ms);
      writeLine(sock, "OK");
    } else if (command == "WATCHED") {
      writeLine(sock, watch.answer());
    } else {
      writeLine(sock, "ERROR unknown command");
    }
  }
  watch.finish();
  close(sock);
  if (pty) {
    std::lock_guard<std::mutex> hold(claimLock);
    tcflush(pty->master, TCIOFLUSH);
    pty->claimed = false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s LINK_DIR PORT_FILE NAME... [--sim PROGRAM NAME...]\n", argv[0]);
    return 2;
  }
  // A test that ends while its simulator's pty is being read must not end us.
  signal(SIGPIPE, SIG_IGN);
  linkDir = argv[1];
  bool forSimulators = false;
  for (int i = 3; i < argc; i++) {
    if (std::strcmp(argv[i], "--sim") == 0 && i + 1 < argc) {
      simProgram = argv[++i];
      forSimulators = true;
      continue;
    }
    Pty p;
    p.name = argv[i];
    char slavePath[128];
    if (openpty(&p.master, &p.slave, slavePath, nullptr, nullptr) != 0) {
      std::perror("openpty");
      return 1;
    }
    fcntl(p.master, F_SETFD, FD_CLOEXEC);
    fcntl(p.slave, F_SETFD, FD_CLOEXEC);
    fcntl(p.master, F_SETFL, O_NONBLOCK);
    makeRaw(p.slave);
    if (!pointLink(p.name, slavePath)) {
      std::perror((linkDir + "/" + p.name).c_str());
      return 1;
    }
    if (forSimulators) {
      SimPort port;
      port.name = p.name;
      port.placeholder = slavePath;
      simPorts.push_back(port);   // the placeholder pty stays open, unclaimed by CLAIM
    } else {
      ptys.push_back(p);
    }
  }

  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listener, 16) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    std::perror("listen");
    return 1;
  }
  // Written last and renamed into place: whoever sees the file finds the
  // ptys and the listener ready.
  const std::string portFile = argv[2];
  FILE* f = std::fopen((portFile + ".new").c_str(), "w");
  if (!f) {
    std::perror(argv[2]);
    return 1;
  }
  std::fprintf(f, "%d\n", ntohs(addr.sin_port));
  std::fclose(f);
  std::rename((portFile + ".new").c_str(), portFile.c_str());

  for (;;) {
    int sock = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (sock < 0) continue;
    std::thread(serve, sock).detach();
  }
}

#include "tests/app/private_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

extern char** environ;

namespace {

// Collects what fd delivers until it is closed, a newline arrives (when
// untilNewline), or the deadline passes.
std::string ReadWithDeadline(int fd, std::chrono::steady_clock::time_point deadline,
                             bool untilNewline) {
  std::string text;
  for (;;) {
    int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now()).count());
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, left) <= 0) break;
    char buf[256];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
    if (untilNewline && text.find('\n') != std::string::npos) break;
  }
  return text;
}

}  // namespace

pid_t StartProgram(const std::vector<std::string>& argv, int stdoutFd, int stderrFd) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
  if (stderrFd >= 0) posix_spawn_file_actions_adddup2(&actions, stderrFd, 2);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

PrivateDisplay::PrivateDisplay() {
  int fds[2];
  if (pipe(fds) != 0) return;
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  std::vector<std::string> argv = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten",
                                   "tcp", "-screen", "0", "1280x1024x24", "-noreset"};
  // The server gets none of the test's output pipes: should the test die, an
  // orphaned server holding them would keep the test runner waiting.
  const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
  pid_ = StartProgram(argv, devNull, devNull);
  if (devNull >= 0) close(devNull);
  close(fds[1]);
  if (pid_ > 0) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::string number = ReadWithDeadline(fds[0], deadline, true);
    if (number.empty() || number.back() != '\n') {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    } else {
      name_ = ":" + number.substr(0, number.size() - 1);
      setenv("DISPLAY", name_.c_str(), 1);
    }
  }
  close(fds[0]);
}

PrivateDisplay::~PrivateDisplay() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

int RunProgram(const std::vector<std::string>& argv, int timeoutMs, std::string* output) {
  int fds[2] = {-1, -1};
  if (output != nullptr) {
    if (pipe(fds) != 0) return -1;
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  }
  pid_t pid = StartProgram(argv, fds[1]);
  if (fds[1] >= 0) close(fds[1]);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  if (output != nullptr) {
    if (pid > 0) *output = ReadWithDeadline(fds[0], deadline, false);
    close(fds[0]);
  }
  return WaitProgram(pid, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now()).count()));
}

int WaitProgram(pid_t pid, int timeoutMs) {
  if (pid <= 0) return -1;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  for (;;) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// DispenserSim on Linux: the simulator is a child process of the test.
#include "tests/support/dispenser_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

extern char** environ;

static_assert(sim_signal::kKill == SIGKILL && sim_signal::kKeyOff == SIGUSR1 &&
                  sim_signal::kTerminate == SIGTERM && sim_signal::kResume == SIGCONT &&
                  sim_signal::kPause == SIGSTOP,
              "the simulator's signals are named by their Linux numbers");

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// Starts the simulator with its stdout (and optionally stderr) on pipes.
int spawnSim(const std::vector<std::string>& args, int* outFd, int* errFd) {
  int out[2], err[2] = {-1, -1};
  if (pipe2(out, O_CLOEXEC) != 0) return -1;
  if (errFd && pipe2(err, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  if (errFd) posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::string path = DispenserSim::executable();
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (errFd) close(err[1]);
  *outFd = out[0];
  if (errFd) *errFd = err[0];
  return rc == 0 ? pid : -1;
}

// Waits for the child; exit status, 128 + signal, or -1 on time-out.
int reap(int pid, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (done < 0 || Clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace

std::string DispenserSim::executable() { return DISPENSER_SIM_PATH; }

std::string DispenserSim::hostPath(const std::string& path) { return path; }

DispenserSim::DispenserSim(const std::vector<std::string>& args, int startTimeoutMs) {
  pid_ = spawnSim(args, &stdout_, nullptr);
  if (pid_ < 0) return;
  auto deadline = Clock::now() + std::chrono::milliseconds(startTimeoutMs);
  std::string line;
  while (msLeft(deadline) > 0) {
    pollfd p{stdout_, POLLIN, 0};
    if (poll(&p, 1, msLeft(deadline)) <= 0) continue;
    char c;
    if (read(stdout_, &c, 1) != 1) break;
    if (c == '\n') {
      announce_ = line;
      break;
    }
    line += c;
  }
}

DispenserSim::~DispenserSim() {
  stop(SIGTERM, 5000);
  if (stdout_ >= 0) close(stdout_);
}

void DispenserSim::signal(int number) {
  if (pid_ > 0) kill(pid_, number);
}

int DispenserSim::stop(int signal, int timeoutMs) {
  if (pid_ < 0) return -1;
  kill(pid_, signal);
  int status = reap(pid_, timeoutMs);
  if (status < 0) {
    kill(pid_, SIGKILL);
    reap(pid_, timeoutMs);
  }
  pid_ = -1;
  return status;
}

int DispenserSim::run(const std::vector<std::string>& args, std::string* errorText, int timeoutMs) {
  int out = -1, err = -1;
  int pid = spawnSim(args, &out, &err);
  if (pid < 0) return -1;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  bool outOpen = true, errOpen = true;
  while ((outOpen || errOpen) && msLeft(deadline) > 0) {
    pollfd p[2] = {{outOpen ? out : -1, POLLIN, 0}, {errOpen ? err : -1, POLLIN, 0}};
    if (poll(p, 2, msLeft(deadline)) <= 0) continue;
    char buffer[512];
    if (p[0].revents) {
      if (read(out, buffer, sizeof buffer) <= 0) outOpen = false;
    }
    if (p[1].revents) {
      ssize_t n = read(err, buffer, sizeof buffer);
      if (n <= 0) errOpen = false;
      else errorText->append(buffer, static_cast<size_t>(n));
    }
  }
  close(out);
  close(err);
  int status = reap(pid, msLeft(deadline));
  if (status < 0) {
    kill(pid, SIGKILL);
    reap(pid, 1000);
  }
  return status;
}

// Every GUI test runs on an X server of its own (Xvfb), never on the desktop
// of whoever runs the tests: windows and synthetic clicks stay private, and
// parallel tests cannot steal each other's pointer.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

class PrivateDisplay {
 public:
  // Starts Xvfb on a free display number (Xvfb picks it: -displayfd) and
  // points DISPLAY at it. ok() tells whether it runs.
  PrivateDisplay();
  ~PrivateDisplay();
  PrivateDisplay(const PrivateDisplay&) = delete;
  PrivateDisplay& operator=(const PrivateDisplay&) = delete;

  bool ok() const { return pid_ > 0; }
  const std::string& name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

// Starts a program in the background (standard output to stdoutFd when it is
// not -1); its pid, or -1.
pid_t StartProgram(const std::vector<std::string>& argv, int stdoutFd = -1, int stderrFd = -1);
// Waits for a started program; its exit status, or -1 when it was killed
// (also after timeoutMs, when this kills it).
int WaitProgram(pid_t pid, int timeoutMs);

// Runs a program to its end (it is killed after timeoutMs); its exit status,
// or -1 when it could not run or was killed. Standard output goes to *output
// when given.
int RunProgram(const std::vector<std::string>& argv, int timeoutMs, std::string* output = nullptr);

#include "tests/support/ordinary_user.h"

#include <sys/wait.h>
#include <unistd.h>

int AsOrdinaryUser(int (*body)()) {
  pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (geteuid() == 0 && setuid(65534) != 0) _exit(255);
    _exit(body() & 0xFF);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

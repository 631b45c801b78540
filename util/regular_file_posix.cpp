#include "util/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

// O_NONBLOCK makes the open of a FIFO return at once; the descriptor is then
// looked at, not the path, so nothing can be swapped in between.
std::FILE* OpenRegularFile(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  const bool append = mode[0] == 'a';
  const int flags = (append ? O_WRONLY | O_APPEND | O_CREAT : O_RDONLY) | O_NONBLOCK | O_CLOEXEC |
                    O_NOCTTY;
  const int fd = open(path, flags, 0666);
  if (fd < 0) return nullptr;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return nullptr;
  }
  const int status = fcntl(fd, F_GETFL);
  if (status < 0 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    close(fd);
    return nullptr;
  }
  std::FILE* file = fdopen(fd, mode);
  if (file == nullptr) close(fd);
  return file;
}

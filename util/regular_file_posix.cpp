#include "util/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

// O_NONBLOCK makes the open of a FIFO return at once; the descriptor is then
// looked at, not the path, so nothing can be swapped in between.
namespace {

std::FILE* fail(int fd, int code, int* error) {
  if (fd >= 0) close(fd);
  if (error) *error = code;
  return nullptr;
}

}  // namespace

std::FILE* OpenRegularFile(const char* path, const char* mode, int* error) {
  if (path == nullptr || mode == nullptr) return fail(-1, EINVAL, error);
  const bool append = mode[0] == 'a';
  const int flags = (append ? O_WRONLY | O_APPEND | O_CREAT : O_RDONLY) | O_NONBLOCK | O_CLOEXEC |
                    O_NOCTTY;
  const int fd = open(path, flags, 0666);
  if (fd < 0) {
    // A FIFO without a reader refuses a non-blocking open for writing.
    return fail(-1, errno == ENXIO ? kErrorNotRegularFile : errno, error);
  }
  struct stat info;
  if (fstat(fd, &info) != 0) return fail(fd, errno, error);
  if (!S_ISREG(info.st_mode)) return fail(fd, kErrorNotRegularFile, error);
  const int status = fcntl(fd, F_GETFL);
  if (status < 0 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) return fail(fd, errno, error);
  std::FILE* file = fdopen(fd, mode);
  if (file == nullptr) return fail(fd, errno, error);
  return file;
}

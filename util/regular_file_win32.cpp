#include "util/regular_file.h"

#include <sys/stat.h>

#include <cerrno>

// Windows has no FIFOs in the folder, but a name such as "CON", "NUL" or
// "COM1" opens a device wherever it stands: only what stat calls a regular
// file is opened.
std::FILE* OpenRegularFile(const char* path, const char* mode, int* error) {
  const auto fail = [error](int code) -> std::FILE* {
    if (error) *error = code;
    return nullptr;
  };
  if (path == nullptr || mode == nullptr) return fail(EINVAL);
  struct _stat info;
  if (_stat(path, &info) == 0) {
    if ((info.st_mode & _S_IFMT) != _S_IFREG) return fail(kErrorNotRegularFile);
  } else if (mode[0] != 'a') {
    return fail(errno);
  }
  std::FILE* file = std::fopen(path, mode);
  if (file == nullptr) return fail(errno);
  return file;
}

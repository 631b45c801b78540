#include "util/regular_file.h"

#include <sys/stat.h>

// Windows has no FIFOs in the folder, but a name such as "CON", "NUL" or
// "COM1" opens a device wherever it stands: only what stat calls a regular
// file is opened.
std::FILE* OpenRegularFile(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  struct _stat info;
  if (_stat(path, &info) == 0) {
    if ((info.st_mode & _S_IFMT) != _S_IFREG) return nullptr;
  } else if (mode[0] != 'a') {
    return nullptr;
  }
  return std::fopen(path, mode);
}

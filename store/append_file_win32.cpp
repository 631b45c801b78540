#include <windows.h>

#include <cerrno>

#include "store/append_file.h"
#include "util/regular_file.h"

namespace {
// The system's error as the errno value that names it, so the reason reads
// the same as on POSIX; EIO for the rest.
int errnoOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED: return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EBUSY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_INVALID_NAME: return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    default: return EIO;
  }
}
bool fail(int* error, int code) {
  if (error) *error = code;
  return false;
}
bool fail(int* error) { return fail(error, errnoOf(GetLastError())); }
HANDLE asHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

bool AppendFile::open(const char* path, int* error) {
  close();
  // FILE_APPEND_DATA without FILE_WRITE_DATA: writes go to the end only.
  // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, which is then refused.
  HANDLE h = CreateFileA(path, FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return fail(error);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info)) {
    const DWORD code = GetLastError();
    CloseHandle(h);
    return fail(error, errnoOf(code));
  }
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(h);
    return fail(error, (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? EISDIR
                                                                            : kErrorSymbolicLink);
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  size_ = static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) |
                               info.nFileSizeLow);
  return true;
}

bool AppendFile::lastByte(uint8_t* byte, int* error) {
  OVERLAPPED at{};
  const uint64_t offset = static_cast<uint64_t>(size_ - 1);
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (size_ <= 0 || !ReadFile(asHandle(handle_), byte, 1, &got, &at) || got != 1)
    return fail(error);
  return true;
}

bool AppendFile::appendAndSync(const std::string& data, int* error) {
  size_t done = 0;
  while (done < data.size()) {
    DWORD wrote = 0;
    if (!WriteFile(asHandle(handle_), data.data() + done, static_cast<DWORD>(data.size() - done),
                   &wrote, nullptr) || wrote == 0)
      return fail(error);
    done += wrote;
  }
  if (!FlushFileBuffers(asHandle(handle_))) return fail(error);
  size_ += static_cast<int64_t>(done);
  return true;
}

// NTFS has no reservation that leaves the size alone; a full disk shows at the
// next append, which still comes before its frame is sent.
bool AppendFile::reserve(int64_t, int*) { return true; }

void AppendFile::close() {
  if (handle_ == kClosed) return;
  CloseHandle(asHandle(handle_));
  handle_ = kClosed;
}

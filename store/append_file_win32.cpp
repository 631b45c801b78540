#include <windows.h>

#include "store/append_file.h"

namespace {
bool fail(std::string* error) {
  if (error) {
    char text[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   GetLastError(), 0, text, sizeof text, nullptr);
    std::string s(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.')) s.pop_back();
    *error = s.empty() ? "system error" : s;
  }
  return false;
}
HANDLE asHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

bool AppendFile::open(const char* path, std::string* error) {
  close();
  // FILE_APPEND_DATA without FILE_WRITE_DATA: writes go to the end only.
  // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, which is then refused.
  HANDLE h = CreateFileA(path, FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return fail(error);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
    CloseHandle(h);
    SetLastError(ERROR_CANT_ACCESS_FILE);
    return fail(error);
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  size_ = static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) |
                               info.nFileSizeLow);
  return true;
}

bool AppendFile::lastByte(uint8_t* byte, std::string* error) {
  OVERLAPPED at{};
  const uint64_t offset = static_cast<uint64_t>(size_ - 1);
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (size_ <= 0 || !ReadFile(asHandle(handle_), byte, 1, &got, &at) || got != 1)
    return fail(error);
  return true;
}

bool AppendFile::appendAndSync(const std::string& data, std::string* error) {
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
bool AppendFile::reserve(int64_t, std::string*) { return true; }

void AppendFile::close() {
  if (handle_ == kClosed) return;
  CloseHandle(asHandle(handle_));
  handle_ = kClosed;
}

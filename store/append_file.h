// A file that is only ever appended to: opened without truncation, never
// through a symbolic link planted in its place, and synced to the disk on
// request. For records that must survive a crash as far as they were written.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile() { close(); }
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Opens path for appending, creating it when missing. False when it cannot,
  // with why in *error: an errno value (EISDIR, EACCES, ...; on Windows the
  // system's error as the nearest one), kErrorSymbolicLink or
  // kErrorNotRegularFile (util/regular_file.h).
  bool open(const char* path, int* error);
  // The size when opened and the file's last byte (when size > 0).
  int64_t sizeAtOpen() const { return size_; }
  bool lastByte(uint8_t* byte, int* error);
  // Writes all of data at the end and syncs it to the disk; false with the
  // reason when any of it could not be written or synced.
  bool appendAndSync(const std::string& data, int* error);
  // Has the file system set aside room for bytes more past the end, without
  // changing the file, so a full disk shows before anything depends on the
  // next append. True where the file system cannot tell.
  bool reserve(int64_t bytes, int* error);
  void close();
  bool isOpen() const { return handle_ != kClosed; }

 private:
  static constexpr intptr_t kClosed = -1;
  intptr_t handle_ = kClosed;
  int64_t size_ = 0;
};

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "store/append_file.h"
#include "util/regular_file.h"

namespace {
bool fail(int* error, int code) {
  if (error) *error = code;
  return false;
}
}  // namespace

bool AppendFile::open(const char* path, int* error) {
  close();
  // O_APPEND: every write lands at the end, whatever else has the file open.
  // O_NOFOLLOW: a symbolic link in the file's place is refused, not followed.
  const int fd = ::open(path, O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                        0644);
  if (fd < 0) {
    if (errno == ELOOP) return fail(error, kErrorSymbolicLink);
    // A FIFO without a reader refuses a non-blocking open for writing.
    return fail(error, errno == ENXIO ? kErrorNotRegularFile : errno);
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int code = S_ISDIR(st.st_mode) ? EISDIR : kErrorNotRegularFile;
    ::close(fd);
    return fail(error, code);
  }
  handle_ = fd;
  size_ = static_cast<int64_t>(st.st_size);
  return true;
}

bool AppendFile::lastByte(uint8_t* byte, int* error) {
  if (size_ <= 0) return fail(error, EINVAL);
  if (pread(static_cast<int>(handle_), byte, 1, static_cast<off_t>(size_ - 1)) != 1)
    return fail(error, errno ? errno : EIO);
  return true;
}

bool AppendFile::appendAndSync(const std::string& data, int* error) {
  const int fd = static_cast<int>(handle_);
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail(error, n < 0 ? errno : ENOSPC);
    done += static_cast<size_t>(n);
  }
  // On some file systems a full disk shows only here.
  if (fsync(fd) != 0) return fail(error, errno);
  size_ += static_cast<int64_t>(done);
  return true;
}

bool AppendFile::reserve(int64_t bytes, int* error) {
  if (fallocate(static_cast<int>(handle_), FALLOC_FL_KEEP_SIZE, static_cast<off_t>(size_),
                static_cast<off_t>(bytes)) == 0)
    return true;
  if (errno == EOPNOTSUPP || errno == ENOSYS) return true;
  return fail(error, errno);
}

void AppendFile::close() {
  if (handle_ == kClosed) return;
  ::close(static_cast<int>(handle_));
  handle_ = kClosed;
}

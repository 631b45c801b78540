#include "link/wire_trace.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/frame_decoder.h"
#include "link/frame_words.h"
#include "port/port.h"
#include "port/port_table.h"
#include "port/port_tap.h"
#include "util/regular_file.h"

namespace {

using Clock = std::chrono::steady_clock;

WireTraceTroubleSink troubleSink = nullptr;

// The tool's own frames never pause inside a frame long enough to matter: a
// write body follows its header after 50 ms, so no gap limit applies.
constexpr int64_t kNoGapLimit = INT64_MAX / 2;

// What one port's trace remembers between calls: the decoder of what was
// sent, the request the next reply answers, and the reply bytes taken so far
// (a memory read's reply is taken as data, then checksum).
struct PortTrace {
  FrameDecoder decoder{true, kNoGapLimit};
  bool haveRequest = false;
  Request request;
  std::vector<uint8_t> reply;
};

class WireTrace : public PortTap {
 public:
  WireTrace(FILE* file, std::string path, long long limit, long long size)
      : file_(file), path_(std::move(path)), limit_(limit), size_(size),
        origin_(Clock::now()) {}
  ~WireTrace() override {
    std::lock_guard<std::mutex> hold(lock_);
    for (uint16_t h = 0; h <= kPortSlotCount; ++h) flushReply(h, portName(h));
    if (file_) std::fclose(file_);
  }

  void sent(uint16_t handle, const char* name, const uint8_t* bytes, int count) override {
    std::lock_guard<std::mutex> hold(lock_);
    PortTrace& p = port(handle);
    const int64_t now = nowUs();
    std::vector<Decoded> items;
    for (int i = 0; i < count; ++i) p.decoder.feed(bytes[i], now, items);
    for (const Decoded& d : items) {
      if (!d.isRequest) {
        line(name, "tx", d.skipped.data(), d.skipped.size(), "not a request: " + d.why);
        continue;
      }
      flushReply(handle, name);
      p.request = d.request;
      p.haveRequest = true;
      line(name, "tx", d.request.wire.data(), d.request.wire.size(), describeRequest(d.request));
    }
  }

  void taken(uint16_t handle, const char* name, const uint8_t* bytes, int count) override {
    std::lock_guard<std::mutex> hold(lock_);
    PortTrace& p = port(handle);
    p.reply.insert(p.reply.end(), bytes, bytes + count);
    const int wanted = p.haveRequest ? expectedReplySize(p.request) : 0;
    if (wanted == 0 || static_cast<int>(p.reply.size()) >= wanted) flushReply(handle, name);
  }

  void dropped(uint16_t handle, const char* name, const uint8_t* bytes, int count,
               const char* why) override {
    std::lock_guard<std::mutex> hold(lock_);
    flushReply(handle, name);
    char words[96];
    std::snprintf(words, sizeof words, "dropped %d bytes %s", count, why);
    line(name, "rx", bytes, static_cast<size_t>(count), words);
  }

  // The first line of every run: the file is appended to, and the times of
  // each run count from its own start.
  void begun() {
    std::lock_guard<std::mutex> hold(lock_);
    const std::time_t now = std::time(nullptr);
    char when[64];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
    stamp("-");
    write(std::string("-- trace begun ") + when + " local time\n");
  }

  void noted(uint16_t handle, const char*, const char* words) override {
    note(handle, words);
  }

  void note(uint16_t handle, const std::string& text) {
    std::lock_guard<std::mutex> hold(lock_);
    const char* name = portName(handle);
    flushReply(handle, name);
    stamp(name);
    write("-- " + text + "\n");
  }

 private:
  PortTrace& port(uint16_t handle) {
    std::unique_ptr<PortTrace>& p = ports_[handle <= kPortSlotCount ? handle : 0];
    if (!p) p = std::make_unique<PortTrace>();
    return *p;
  }
  static const char* portName(uint16_t handle) {
    const PortSlot* slot = PortSlotOf(handle);
    return slot ? slot->name : "-";
  }

  // The reply bytes taken since the last request, as one line.
  void flushReply(uint16_t handle, const char* name) {
    std::unique_ptr<PortTrace>& p = ports_[handle <= kPortSlotCount ? handle : 0];
    if (!p || p->reply.empty()) return;
    const std::string words =
        p->haveRequest ? describeReply(p->request, p->reply) : "no request asked for this";
    line(name, "rx", p->reply.data(), p->reply.size(), words);
    p->reply.clear();
  }

  int64_t nowUs() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - origin_).count();
  }

  void stamp(const char* name) {
    const int64_t us = nowUs();
    char text[160];
    std::snprintf(text, sizeof text, "%9lld.%03lld %s ", static_cast<long long>(us / 1000),
                  static_cast<long long>(us % 1000), name);
    write(text);
  }

  void line(const char* name, const char* direction, const uint8_t* bytes, size_t count,
            const std::string& words) {
    stamp(name);
    std::string text(direction);
    static const char kHex[] = "0123456789ABCDEF";
    text.reserve(text.size() + count * 3 + words.size() + 8);
    for (size_t i = 0; i < count; ++i) {
      text += ' ';
      text += kHex[bytes[i] >> 4];
      text += kHex[bytes[i] & 0x0F];
    }
    write(text + "  | " + words + "\n");
  }

  // Each line is flushed: after a crash or a pulled cable the trace holds
  // everything up to the last frame. Past the limit the file starts over.
  void write(const std::string& text) {
    if (!file_) return;
    const bool lineEnds = text.back() == '\n';
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() ||
        (lineEnds && std::fflush(file_) != 0)) {
      stop(WireTraceTrouble::kCannotWrite, path_, errno ? errno : EIO);
      return;
    }
    size_ += static_cast<long long>(text.size());
    if (lineEnds && size_ >= limit_) rotate();
  }

  // Only a regular file is replaced by the full trace: a directory or
  // anything else of that name may be someone's, so the trace stops instead
  // of growing past its limit.
  void rotate() {
    std::fclose(file_);
    file_ = nullptr;
    const std::string old = path_ + ".1";
    std::error_code ignored;
    const std::filesystem::file_type oldType = std::filesystem::symlink_status(old, ignored).type();
    if (oldType != std::filesystem::file_type::not_found &&
        oldType != std::filesystem::file_type::regular) {
      stop(WireTraceTrouble::kBackupInTheWay, old, 0);
      return;
    }
    std::remove(old.c_str());   // rename does not replace a file on Windows
    if (std::rename(path_.c_str(), old.c_str()) != 0) {
      stop(WireTraceTrouble::kCannotWrite, path_, errno);
      return;
    }
    int error = 0;
    file_ = OpenRegularFile(path_.c_str(), "ab", &error);
    if (!file_) stop(WireTraceTrouble::kCannotWrite, path_, error);
    size_ = 0;
  }

  // The trace ends here; the sink hears of it once, since nothing more is
  // written after.
  void stop(WireTraceTrouble trouble, const std::string& path, int error) {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (troubleSink) troubleSink(trouble, path.c_str(), error);
  }

  std::mutex lock_;
  FILE* file_;
  std::string path_;
  long long limit_;
  long long size_;
  Clock::time_point origin_;
  std::unique_ptr<PortTrace> ports_[kPortSlotCount + 1];
};

WireTrace* active = nullptr;

}  // namespace

bool WireTraceStart(const char* path, long long limitBytes, int* error) {
  WireTraceStop();
  FILE* file = path && *path ? OpenRegularFile(path, "ab", error) : nullptr;
  if (!file) {
    if (error && !(path && *path)) *error = ENOENT;
    return false;
  }
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  active = new WireTrace(file, path, limitBytes, size > 0 ? size : 0);
  active->begun();
  PortSetTap(active);
  return true;
}

void WireTraceStop() {
  PortSetTap(nullptr);
  delete active;
  active = nullptr;
}

bool WireTraceOn() { return active != nullptr; }

void SetWireTraceTroubleSink(WireTraceTroubleSink sink) { troubleSink = sink; }

void WireTraceNoReply(uint16_t port, int ms) {
  if (!active) return;
  if (PortLost(port)) {
    active->note(port, PortLayerInterrupted() ? "no reply: the program is ending on a signal"
                                              : "no reply: the line is lost");
    return;
  }
  active->note(port, "no reply after " + std::to_string(ms) + " ms");
}

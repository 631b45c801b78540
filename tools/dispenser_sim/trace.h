// The trace: every frame received and every reply, in hex and in words, one
// line each, with the time since start in milliseconds.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class Trace {
 public:
  Trace() = default;
  ~Trace();
  Trace(const Trace&) = delete;
  Trace& operator=(const Trace&) = delete;

  void toStream(FILE* stream);                 // not closed by the trace
  bool toFile(const std::string& path);        // appends; false when it cannot be opened
  bool on() const { return out_ != nullptr; }
  void setOrigin(int64_t originUs) { originUs_ = originUs; }

  void bytes(int64_t nowUs, const char* direction, const std::vector<uint8_t>& data,
             const std::string& meaning);
  void note(int64_t nowUs, const std::string& text);

 private:
  void stamp(int64_t nowUs);

  FILE* out_ = nullptr;
  bool own_ = false;
  int64_t originUs_ = 0;
};

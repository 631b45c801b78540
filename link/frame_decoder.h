// Turns the bytes of requests into requests: dispenser-sim decodes what
// arrives from the tool, the wire trace what the tool sends. Frames have no
// delimiters: a request begins with a select frame (0x60, address, function,
// checksum) whose checksum is right, and its function tells how many bytes
// follow. Anything else is skipped byte by byte until the next select frame.
// A frame left incomplete for longer than the gap limit is dropped.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "link/frame_request.h"

struct Decoded {
  bool isRequest = false;
  Request request;              // when isRequest
  std::vector<uint8_t> skipped; // otherwise: bytes dropped, and why
  std::string why;
};

class FrameDecoder {
 public:
  // pointToPoint: also take read and write headers that come without a
  // select frame (the tool's link address 0); they address bank 0.
  FrameDecoder(bool pointToPoint, int64_t gapLimitUs)
      : pointToPoint_(pointToPoint), gapLimitUs_(gapLimitUs) {}

  void feed(uint8_t byte, int64_t nowUs, std::vector<Decoded>& out);
  // Forgets a partial frame (the connection was lost).
  void reset(std::vector<Decoded>& out);

 private:
  enum class Stage { Hunt, Body, WriteBody, IdentifyByte };

  void process(std::vector<Decoded>& out);
  bool hunt(std::vector<Decoded>& out);
  bool takeSelect(std::vector<Decoded>& out);
  bool takeHeaderWithoutSelect(std::vector<Decoded>& out);
  void afterSelect(std::vector<Decoded>& out);
  bool takeBody(std::vector<Decoded>& out);
  bool takeWriteBody(std::vector<Decoded>& out);
  bool takeIdentifyByte(std::vector<Decoded>& out);
  void emit(std::vector<Decoded>& out);
  void skip(size_t n, const char* why, std::vector<Decoded>& out);
  void flushGarbage(std::vector<Decoded>& out);
  void consume(size_t n);

  bool pointToPoint_;
  int64_t gapLimitUs_;
  int64_t lastByteUs_ = 0;
  Stage stage_ = Stage::Hunt;
  std::vector<uint8_t> pending_;  // received, not yet part of a request
  std::vector<uint8_t> garbage_;  // skipped bytes not yet reported
  Request current_;
};

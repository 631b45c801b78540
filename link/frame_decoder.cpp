#include "link/frame_decoder.h"

#include "link/frame.h"

namespace {
constexpr uint8_t kSelect = 0x60;
constexpr size_t kSelectSize = 4;
constexpr size_t kBodySize = 8;
constexpr size_t kGarbageReportSize = 64;  // report long runs of noise in pieces
constexpr uint8_t kProbeByte = '1';

bool checksumOk(const uint8_t* bytes, int length) {
  return (frameChecksum(bytes, length) & 0xFF) == bytes[length];
}
}  // namespace

void FrameDecoder::feed(uint8_t byte, int64_t nowUs, std::vector<Decoded>& out) {
  bool midFrame = stage_ != Stage::Hunt || !pending_.empty();
  if (midFrame && nowUs - lastByteUs_ > gapLimitUs_) {
    flushGarbage(out);
    Decoded d;
    d.skipped = stage_ == Stage::Hunt ? std::vector<uint8_t>() : current_.wire;
    d.skipped.insert(d.skipped.end(), pending_.begin(), pending_.end());
    d.why = "incomplete frame";
    out.push_back(d);
    pending_.clear();
    stage_ = Stage::Hunt;
  }
  lastByteUs_ = nowUs;
  pending_.push_back(byte);
  process(out);
}

void FrameDecoder::reset(std::vector<Decoded>& out) {
  flushGarbage(out);
  if (stage_ != Stage::Hunt || !pending_.empty()) {
    Decoded d;
    d.skipped = stage_ == Stage::Hunt ? std::vector<uint8_t>() : current_.wire;
    d.skipped.insert(d.skipped.end(), pending_.begin(), pending_.end());
    d.why = "incomplete frame (connection lost)";
    out.push_back(d);
  }
  pending_.clear();
  stage_ = Stage::Hunt;
}

void FrameDecoder::process(std::vector<Decoded>& out) {
  for (;;) {
    bool progressed = false;
    switch (stage_) {
      case Stage::Hunt: progressed = hunt(out); break;
      case Stage::Body: progressed = takeBody(out); break;
      case Stage::WriteBody: progressed = takeWriteBody(out); break;
      case Stage::IdentifyByte: progressed = takeIdentifyByte(out); break;
    }
    if (!progressed) return;
  }
}

bool FrameDecoder::hunt(std::vector<Decoded>& out) {
  if (pending_.empty()) return false;
  uint8_t first = pending_[0];
  if (first == kSelect) return takeSelect(out);
  if (pointToPoint_ && (first == 0x00 || first == 0x01)) return takeHeaderWithoutSelect(out);
  garbage_.push_back(first);
  consume(1);
  if (garbage_.size() >= kGarbageReportSize) flushGarbage(out);
  return true;
}

bool FrameDecoder::takeSelect(std::vector<Decoded>& out) {
  if (pending_.size() < kSelectSize) return false;
  if (!checksumOk(pending_.data(), 3)) {
    // Not a select frame after all: resynchronise from the next byte.
    garbage_.push_back(pending_[0]);
    consume(1);
    return true;
  }
  flushGarbage(out);
  current_ = Request();
  current_.linkAddress = pending_[1];
  current_.function = pending_[2];
  current_.wire.assign(pending_.begin(), pending_.begin() + kSelectSize);
  consume(kSelectSize);
  afterSelect(out);
  return true;
}

bool FrameDecoder::takeHeaderWithoutSelect(std::vector<Decoded>& out) {
  if (pending_.size() < kBodySize) return false;
  if (!checksumOk(pending_.data(), 7)) {
    garbage_.push_back(pending_[0]);
    consume(1);
    return true;
  }
  flushGarbage(out);
  current_ = Request();
  current_.selected = false;
  current_.function = pending_[0] == 0x00 ? 0x48 : 0x40;
  afterSelect(out);
  return true;
}

void FrameDecoder::afterSelect(std::vector<Decoded>& out) {
  int f = current_.function;
  Request& r = current_;
  if (f == 0x00) {
    stage_ = Stage::IdentifyByte;
  } else if (f >= 0x40 && f <= 0x4F) {
    r.kind = f < 0x48 ? RequestKind::Write : RequestKind::Read;
    r.bank = f & 0x07;
    stage_ = Stage::Body;
  } else if (f >= 0x10 && f <= 0x1F) {
    r.kind = RequestKind::NozzleCommand;
    r.nozzleCode = f & 0x0F;
    stage_ = Stage::Body;
  } else if (f >= 0x50 && f <= 0x5F) {
    r.kind = RequestKind::Preset;
    r.nozzleCode = f & 0x0F;
    stage_ = Stage::Body;
  } else if (f == 0x8F) {
    r.kind = RequestKind::StatusAll;
    emit(out);
  } else if (f >= 0x80 && f <= 0x8E) {
    r.kind = RequestKind::Status;
    r.nozzleCode = f & 0x0F;
    emit(out);
  } else if (f == 0xF0) {
    r.kind = RequestKind::ErrorRecord;
    emit(out);
  } else {
    r.kind = RequestKind::Unsupported;
    emit(out);
  }
}

bool FrameDecoder::takeBody(std::vector<Decoded>& out) {
  if (pending_.size() < kBodySize) return false;
  if (!checksumOk(pending_.data(), 7)) {
    // The select frame stands alone; its would-be body may hold the start of
    // the next request, so it is searched again.
    Decoded d;
    d.skipped = current_.wire;
    d.why = "body checksum wrong";
    out.push_back(d);
    stage_ = Stage::Hunt;
    return true;
  }
  Request& r = current_;
  for (size_t i = 0; i < kBodySize; ++i) r.body[i] = pending_[i];
  r.wire.insert(r.wire.end(), pending_.begin(), pending_.begin() + kBodySize);
  consume(kBodySize);
  if (r.kind == RequestKind::Read || r.kind == RequestKind::Write) {
    // Address bytes go middle, high, low.
    r.address = static_cast<uint32_t>(r.body[4] | (r.body[2] << 8) | (r.body[3] << 16));
    r.count = r.body[6];
    if (r.kind == RequestKind::Write) {
      r.data.assign(1, r.body[5]);
      if (r.count > 1) {
        stage_ = Stage::WriteBody;
        return true;
      }
    }
  }
  emit(out);
  return true;
}

bool FrameDecoder::takeWriteBody(std::vector<Decoded>& out) {
  Request& r = current_;
  size_t size = static_cast<size_t>(r.count);  // size - 1 data bytes and their checksum
  if (pending_.size() < size) return false;
  r.data.insert(r.data.end(), pending_.begin(), pending_.begin() + (size - 1));
  r.bodyChecksumOk = checksumOk(pending_.data(), static_cast<int>(size - 1));
  r.wire.insert(r.wire.end(), pending_.begin(), pending_.begin() + size);
  consume(size);
  emit(out);
  return true;
}

bool FrameDecoder::takeIdentifyByte(std::vector<Decoded>& out) {
  if (pending_.empty()) return false;
  if (pending_[0] != kProbeByte) {
    Decoded d;
    d.skipped = current_.wire;
    d.why = "probe select without '1'";
    out.push_back(d);
    stage_ = Stage::Hunt;
    return true;
  }
  current_.kind = RequestKind::Identify;
  current_.wire.push_back(pending_[0]);
  consume(1);
  emit(out);
  return true;
}

void FrameDecoder::emit(std::vector<Decoded>& out) {
  Decoded d;
  d.isRequest = true;
  d.request = current_;
  out.push_back(d);
  stage_ = Stage::Hunt;
}

void FrameDecoder::flushGarbage(std::vector<Decoded>& out) {
  if (garbage_.empty()) return;
  Decoded d;
  d.skipped = garbage_;
  d.why = "not a frame";
  out.push_back(d);
  garbage_.clear();
}

void FrameDecoder::consume(size_t n) { pending_.erase(pending_.begin(), pending_.begin() + n); }

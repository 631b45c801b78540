#include "tools/dispenser_sim/trace.h"

Trace::~Trace() {
  if (own_ && out_) std::fclose(out_);
}

void Trace::toStream(FILE* stream) { out_ = stream; }

bool Trace::toFile(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "a");
  if (!f) return false;
  out_ = f;
  own_ = true;
  return true;
}

void Trace::stamp(int64_t nowUs) {
  int64_t us = nowUs - originUs_;
  std::fprintf(out_, "%9lld.%03lld ", static_cast<long long>(us / 1000),
               static_cast<long long>((us < 0 ? -us : us) % 1000));
}

void Trace::bytes(int64_t nowUs, const char* direction, const std::vector<uint8_t>& data,
                  const std::string& meaning) {
  if (!out_) return;
  stamp(nowUs);
  std::fprintf(out_, "%s", direction);
  for (uint8_t b : data) std::fprintf(out_, " %02X", b);
  std::fprintf(out_, "  | %s\n", meaning.c_str());
  std::fflush(out_);
}

void Trace::note(int64_t nowUs, const std::string& text) {
  if (!out_) return;
  stamp(nowUs);
  std::fprintf(out_, "-- %s\n", text.c_str());
  std::fflush(out_);
}

#include "tools/dispenser_sim/outbound_line.h"

#include <algorithm>
#include <cstdio>

#include "tools/dispenser_sim/session.h"

namespace {

// The collisions draw from a generator of their own, so a seed gives the
// same reply faults whether the line collides or not.
constexpr uint32_t kCollisionSeedMix = 0x9E3779B9u;

}  // namespace

OutboundLine::OutboundLine(const LineSettings& settings, uint32_t seed, Trace& trace)
    : settings_(settings), trace_(trace), collisions_(FaultRates{}, seed ^ kCollisionSeedMix) {}

// On a half-duplex line the echo is the tool's own byte heard by its own
// receiver: it takes no wire time of its own and arrives as the byte leaves.
// Two talkers at once garble the byte the tool hears; the controller, nearer
// the other talker, is taken to have received what was sent.
void OutboundLine::sent(uint8_t byte, int64_t atUs) {
  if (!settings_.echo) return;
  uint8_t back = byte;
  if (collisions_.roll(settings_.collision)) {
    back = static_cast<uint8_t>(byte ^ (1 + collisions_.below(255)));
    char words[64];
    std::snprintf(words, sizeof words, "fault: collision, echo of %02X came back as %02X", byte,
                  back);
    trace_.note(atUs, words);
  }
  insert({back, atUs, true});
}

void OutboundLine::garbleLastEcho(int64_t atUs) {
  for (auto b = wire_.rbegin(); b != wire_.rend(); ++b) {
    if (!b->echo) continue;
    char words[64];
    std::snprintf(words, sizeof words, "fault: collision, echo of %02X came back as %02X", b->byte,
                  b->byte ^ 0x5A);
    b->byte ^= 0x5A;
    trace_.note(atUs, words);
    return;
  }
}

void OutboundLine::add(uint8_t byte, int64_t atUs) { insert({byte, atUs, false}); }

// Bytes of the same time keep the order they were added in.
void OutboundLine::insert(TimedByte b) {
  auto later = std::upper_bound(wire_.begin(), wire_.end(), b.atUs,
                                [](int64_t at, const TimedByte& t) { return at < t.atUs; });
  wire_.insert(later, b);
}

// The adapter's latency timer starts with the first byte it holds; when it
// runs out, everything held goes to the tool at once, and the next byte
// starts a new burst.
std::vector<uint8_t> OutboundLine::due(int64_t nowUs) {
  std::vector<uint8_t> out;
  for (;;) {
    const bool arrived = !wire_.empty() && wire_.front().atUs <= nowUs;
    if (settings_.usbLatencyUs <= 0) {
      if (!arrived) break;
      out.push_back(wire_.front().byte);
      wire_.pop_front();
      continue;
    }
    if (arrived && (held_.empty() || wire_.front().atUs < burstEndUs_)) {
      if (held_.empty()) burstEndUs_ = wire_.front().atUs + settings_.usbLatencyUs;
      held_.push_back(wire_.front().byte);
      wire_.pop_front();
      continue;
    }
    if (held_.empty() || burstEndUs_ > nowUs) break;
    out.insert(out.end(), held_.begin(), held_.end());
    held_.clear();
  }
  return out;
}

int64_t OutboundLine::nextEventUs() const {
  int64_t next = kNever;
  if (!wire_.empty()) next = wire_.front().atUs;
  if (!held_.empty()) next = std::min(next, burstEndUs_);
  return next;
}

void OutboundLine::clear() {
  wire_.clear();
  held_.clear();
}

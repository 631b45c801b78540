#include "tools/dispenser_sim/session.h"

#include <algorithm>

#include "tools/dispenser_sim/describe.h"
#include "tools/dispenser_sim/error_codes.h"

Session::Session(Controller& controller, const SessionSettings& settings, Trace& trace)
    : controller_(controller),
      settings_(settings),
      trace_(trace),
      decoder_(settings.pointToPoint, settings.gapLimitUs),
      faults_(settings.faults, settings.seed),
      forcedUsed_(settings.forced.size(), false),
      output_(settings.line, settings.seed, trace) {}

void Session::received(const uint8_t* bytes, size_t count, int64_t nowUs) {
  for (size_t i = 0; i < count; ++i) {
    // Paced, each byte is there only once the wire could have carried it.
    int64_t at = settings_.pace ? std::max(nowUs, lastInputUs_) + kByteTimeUs : nowUs;
    lastInputUs_ = at;
    input_.push_back({bytes[i], at});
    output_.sent(bytes[i], at);
  }
  tick(nowUs);
}

void Session::tick(int64_t nowUs) {
  std::vector<Decoded> items;
  while (!input_.empty() && input_.front().atUs <= nowUs) {
    TimedByte b = input_.front();
    input_.pop_front();
    items.clear();
    decoder_.feed(b.byte, b.atUs, items);
    decoded(items, b.atUs);
  }
  controller_.advance(nowUs);
}

std::vector<uint8_t> Session::due(int64_t nowUs) { return output_.due(nowUs); }

int64_t Session::nextEventUs() const {
  int64_t next = kNever;
  if (!input_.empty()) next = std::min(next, input_.front().atUs);
  next = std::min(next, output_.nextEventUs());
  return next;
}

void Session::connectionLost(int64_t nowUs) {
  std::vector<Decoded> items;
  decoder_.reset(items);
  decoded(items, nowUs);
  input_.clear();
  output_.clear();
}

void Session::decoded(const std::vector<Decoded>& items, int64_t nowUs) {
  for (const Decoded& d : items) {
    if (!d.isRequest) {
      trace_.bytes(nowUs, "rx", d.skipped, "skipped: " + d.why);
      continue;
    }
    const std::string description = describeRequest(d.request, controller_.shape());
    trace_.bytes(nowUs, "rx", d.request.wire, description);
    if (forced(description, ForcedKind::Collision)) output_.garbleLastEcho(nowUs);
    answer(d.request, description, nowUs);
  }
}

// True when a forced fault of this kind is meant for this request; it is
// used up then.
bool Session::forced(const std::string& description, ForcedKind kind) {
  for (size_t i = 0; i < settings_.forced.size(); ++i) {
    const ForcedFault& f = settings_.forced[i];
    if (forcedUsed_[i] || description.find(f.match) == std::string::npos) continue;
    if (f.kind != kind) return false;   // the first match decides
    forcedUsed_[i] = true;
    return true;
  }
  return false;
}

// A fault drawn at its rate, or forced on this request. The draw comes first
// and always, so a seed gives the same faults with or without forced ones.
bool Session::fault(double rate, const std::string& description, ForcedKind kind) {
  const bool drawn = faults_.roll(rate);
  return forced(description, kind) || drawn;
}

void Session::answer(const Request& request, const std::string& description, int64_t nowUs) {
  if (!controller_.addressedToUs(request)) {
    trace_.note(nowUs, "another controller's address: ignored");
    return;
  }
  const FaultRates& rates = faults_.rates();
  if (fault(rates.noReply, description, ForcedKind::NoReply)) {
    trace_.note(nowUs, "fault: request lost, no reply");
    return;
  }
  bool refusable = request.kind == RequestKind::NozzleCommand ||
                   request.kind == RequestKind::Preset ||
                   (request.kind == RequestKind::Write && request.count > 1);
  Reply reply;
  if (refusable && (fault(rates.refuse, description, ForcedKind::Refuse))) {
    trace_.note(nowUs, "fault: refusal");
    reply = controller_.refuse(errcode::kFaultRefusal);
  } else {
    reply = controller_.handle(request, nowUs);
  }
  if (reply.bytes.empty()) {
    if (!reply.meaning.empty()) trace_.note(nowUs, "no reply: " + reply.meaning);
    return;
  }
  if (reply.endsInChecksum &&
      (fault(rates.badChecksum, description, ForcedKind::Checksum))) {
    reply.bytes.back() ^= 0xFF;
    reply.meaning += " [fault: checksum wrong]";
  }
  if (fault(rates.truncate, description, ForcedKind::Truncate)) {
    reply.bytes.resize(faults_.below(static_cast<uint32_t>(reply.bytes.size())));
    reply.meaning += " [fault: truncated]";
  }
  int64_t start = nowUs + settings_.replyDelayUs;
  if (fault(rates.late, description, ForcedKind::Late)) {
    start += static_cast<int64_t>(rates.lateMs) * 1000;
    reply.meaning += " [fault: late]";
  }
  trace_.bytes(nowUs, "tx", reply.bytes, reply.meaning);
  schedule(reply.bytes, start);
  const bool noisy = fault(rates.noise, description, ForcedKind::Noise);
  const bool lateNoise = forced(description, ForcedKind::LateNoise);
  if (noisy || lateNoise) {
    std::vector<uint8_t> noise(1 + faults_.below(8));
    for (uint8_t& b : noise) b = static_cast<uint8_t>(faults_.below(256));
    trace_.bytes(nowUs, "tx", noise, lateNoise ? "fault: noise, late" : "fault: noise");
    schedule(noise, lateNoise ? start + static_cast<int64_t>(rates.lateMs) * 1000 : start);
  }
}

void Session::schedule(const std::vector<uint8_t>& bytes, int64_t startUs) {
  int64_t at = std::max(startUs, lastOutputUs_);
  for (uint8_t b : bytes) {
    if (settings_.pace) at += kByteTimeUs;
    output_.add(b, at);
  }
  lastOutputUs_ = at;
}

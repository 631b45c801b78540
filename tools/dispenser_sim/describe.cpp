#include "tools/dispenser_sim/describe.h"

#include "link/frame_words.h"

std::string describeRequest(const Request& r, const layout::Shape& shape) {
  const bool memory = r.kind == RequestKind::Read || r.kind == RequestKind::Write;
  return describeRequest(r, memory ? layout::areaHolding(shape, r.bank, r.address) : std::string());
}

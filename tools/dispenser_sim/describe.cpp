#include "tools/dispenser_sim/describe.h"

#include <cstdio>

namespace {

std::string memoryPlace(const Request& r, const layout::Shape& shape) {
  char text[48];
  std::snprintf(text, sizeof text, "%d:%06X", r.bank, static_cast<unsigned>(r.address));
  std::string area = layout::areaHolding(shape, r.bank, r.address);
  return area.empty() ? text : std::string(text) + " (" + area + ")";
}

}  // namespace

std::string describeRequest(const Request& r, const layout::Shape& shape) {
  char head[64];
  if (r.selected)
    std::snprintf(head, sizeof head, "to %02X: ", r.linkAddress);
  else
    std::snprintf(head, sizeof head, "point-to-point: ");
  char text[160];
  switch (r.kind) {
    case RequestKind::Read:
      std::snprintf(text, sizeof text, "read %d bytes at ", r.count);
      return head + std::string(text) + memoryPlace(r, shape);
    case RequestKind::Write: {
      std::snprintf(text, sizeof text, "write %d bytes at ", r.count);
      std::string s = head + std::string(text) + memoryPlace(r, shape);
      return r.bodyChecksumOk ? s : s + ", body checksum wrong";
    }
    case RequestKind::NozzleCommand:
      std::snprintf(text, sizeof text,
                    "nozzle %d command 0x%02X modifier %d value %02X%02X%02X%02X (BCD, tens of ml)",
                    r.nozzleCode, r.body[1], r.body[2], r.body[3], r.body[4], r.body[5], r.body[6]);
      return head + std::string(text);
    case RequestKind::Preset:
      std::snprintf(text, sizeof text, "nozzle %d preset %02X%02X%02X (BCD, tens of ml) grade %d",
                    r.nozzleCode, r.body[2], r.body[3], r.body[4], r.body[5]);
      return head + std::string(text);
    case RequestKind::Status:
      std::snprintf(text, sizeof text, "status of nozzle %d", r.nozzleCode);
      return head + std::string(text);
    case RequestKind::StatusAll: return head + std::string("status of all nozzles");
    case RequestKind::ErrorRecord: return head + std::string("error record");
    case RequestKind::Identify: return head + std::string("identification probe");
    case RequestKind::Unsupported:
      std::snprintf(text, sizeof text, "function 0x%02X (not supported)", r.function);
      return head + std::string(text);
  }
  return head;
}

// The port table: opening a port by name, closing it, and starting and
// stopping the layer.
#include "port/port_table.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>

#include "port/port_log.h"
#include "port/timer_resolution.h"

PortTableType PortTable;

namespace {

void closeSlot(PortSlot& slot) {
  slot.ops->close(slot);
  delete[] slot.rxRing;
  slot.rxRing = nullptr;
  slot.inUse = 0;
  TimerResolutionRelease();
}

PortOpenFailure lastOpenFailure = PortOpenFailure::Opened;

// Set from a signal handler: only a lock-free atomic may be.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// The transport a name asks for. The comparisons are case-sensitive: "stub"
// or "tcpc_..." name serial devices.
const PortOps& opsFor(const char* name) {
  if (std::strcmp(name, "STUB") == 0) return kNullPortOps;
  if (std::strncmp(name, "TCPS_", 5) == 0) return kTcpServerPortOps;
  if (std::strncmp(name, "TCPC_", 5) == 0) return kTcpClientPortOps;
  return kSerialPortOps;
}

}  // namespace

PortSlot* PortSlotOf(uint16_t handle) {
  if (handle < 1 || handle > kPortSlotCount) return nullptr;
  PortSlot& slot = PortTable.slots[handle - 1];
  return slot.inUse ? &slot : nullptr;
}

const char* PortNameOf(uint16_t handle) {
  const PortSlot* slot = PortSlotOf(handle);
  return slot ? slot->name : "";
}

void PortLayerStart() {
  if (PortTable.started) return;
  // A restart finds ports left open by the earlier run: close them rather
  // than lose their rings and keep their devices locked.
  for (PortSlot& slot : PortTable.slots) {
    if (slot.inUse) closeSlot(slot);
  }
  std::memset(&PortTable, 0, sizeof PortTable);
  interrupted = false;
  PortLogOpen();
  PortTable.started = 1;
}

void PortLayerStop() {
  if (!PortTable.started) return;
  PortLogClose();
  PortTable.started = 0;
  interrupted = false;
}

void PortLayerInterrupt() { interrupted = true; }

bool PortLayerInterrupted() { return interrupted; }

PortOpenFailure PortLastOpenFailure() { return lastOpenFailure; }

int PortOpen(uint16_t* handle, const char* name) {
  lastOpenFailure = PortOpenFailure::Other;
  if (!PortTable.started) return kPortLayerNotStarted;
  int index = 0;
  while (index < kPortSlotCount && PortTable.slots[index].inUse) ++index;
  if (index == kPortSlotCount) return kPortNoFreeSlot;
  if (name == nullptr || name[0] == '\0') return kPortNameRefused;
  // A name that does not fit in the slot is refused like an empty one rather
  // than copied past its end.
  if (strnlen(name, kPortNameSize) == kPortNameSize) return kPortNameRefused;

  PortSlot& slot = PortTable.slots[index];
  std::memset(&slot, 0, sizeof slot);
  std::memcpy(slot.name, name, std::strlen(name) + 1);

  slot.ops = &opsFor(name);
  int status = slot.ops->open(slot, name, &lastOpenFailure);
  if (status == kPortOpened) {
    slot.rxRing = new (std::nothrow) uint8_t[kRxRingSize];
    if (slot.rxRing == nullptr) {
      slot.ops->close(slot);
      status = ENOMEM;
      lastOpenFailure = PortOpenFailure::Other;
    }
  }
  if (status != kPortOpened) {
    if (status != kPortTcpOpenFailed) *handle = 0;
    std::memset(&slot, 0, sizeof slot);
    return status;
  }
  slot.rxWrite = 0;
  slot.rxRead = 0;
  *handle = static_cast<uint16_t>(index + 1);
  slot.inUse = 1;
  TimerResolutionHold();
  lastOpenFailure = PortOpenFailure::Opened;
  return kPortOpened;
}

int PortClose(uint16_t handle) {
  PortSlot* slot = PortSlotOf(handle);
  if (slot != nullptr) closeSlot(*slot);
  return kPortClosed;
}

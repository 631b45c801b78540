// The port table: opening a port by name, closing it, and starting and
// stopping the layer.
#include "port/port_table.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>

#include "port/port_log.h"
#include "port/serial_device.h"
#include "port/tcp_transport.h"

PortTableType PortTable;

namespace {

// Undoes what the kind's set-up opened.
void closeTransport(PortSlot& slot) {
  switch (slot.kind) {
    case PortKind::Serial:
      if (!slot.lineLost) SerialClose(slot.osHandle);  // a lost line's is closed already
      break;
    case PortKind::TcpServer:
    case PortKind::TcpClient: TcpClose(slot); break;
    case PortKind::Stub: break;
  }
}

void closeSlot(PortSlot& slot) {
  closeTransport(slot);
  delete[] slot.rxRing;
  slot.rxRing = nullptr;
  slot.inUse = 0;
}

PortOpenFailure lastOpenFailure = PortOpenFailure::Opened;

// Set from a signal handler: only a lock-free atomic may be.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// Chooses the kind from the name and runs its set-up: kPortOpened, or the
// status PortOpen returns (kPortTcpOpenFailed for TCP, the platform code for a
// serial device), with lastOpenFailure saying why.
int openTransport(PortSlot& slot, const char* name) {
  if (std::strcmp(name, "STUB") == 0) {
    slot.kind = PortKind::Stub;
    return kPortOpened;
  }
  const bool server = std::strncmp(name, "TCPS_", 5) == 0;
  if (server || std::strncmp(name, "TCPC_", 5) == 0) {
    slot.kind = server ? PortKind::TcpServer : PortKind::TcpClient;
    const int status = server ? TcpServerOpen(slot, name, &lastOpenFailure)
                              : TcpClientOpen(slot, name, &lastOpenFailure);
    return status == 0 ? kPortOpened : kPortTcpOpenFailed;
  }
  slot.kind = PortKind::Serial;
  const int status = SerialOpen(name, &slot.osHandle);
  if (status != 0) lastOpenFailure = SerialOpenFailure(status);
  return status;
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

  int status = openTransport(slot, name);
  if (status == kPortOpened) {
    slot.rxRing = new (std::nothrow) uint8_t[kRxRingSize];
    if (slot.rxRing == nullptr) {
      closeTransport(slot);
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
  lastOpenFailure = PortOpenFailure::Opened;
  return kPortOpened;
}

int PortClose(uint16_t handle) {
  PortSlot* slot = PortSlotOf(handle);
  if (slot != nullptr) closeSlot(*slot);
  return kPortClosed;
}

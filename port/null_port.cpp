// The null port "STUB": it opens without a device, takes every write and
// never receives a byte.
#include "port/port_ops.h"
#include "port/port_table.h"

namespace {

int nullOpen(PortSlot&, const char*, PortOpenFailure*) { return kPortOpened; }
void nullClose(PortSlot&) {}
void nullSend(PortSlot&, const uint8_t*, int) {}
void nullDropInput(PortSlot&) {}
int nullTxEmpty(PortSlot&) { return 1; }
int nullLost(PortSlot&) { return 0; }
void nullWaitReadable(PortSlot&, int) { PortSleepOneMs(); }

}  // namespace

const PortOps kNullPortOps = {
    PortKind::Stub,
    nullOpen,
    nullClose,
    nullptr,  // no connection
    nullptr,  // receives nothing: nothing to count, take or clear
    nullSend,
    nullDropInput,
    nullTxEmpty,
    nullLost,
    nullWaitReadable,
    nullptr,  // never reached: a port that receives nothing only lets the time pass
};

// The controller's end of a real line for the link's fuzz targets: one
// pseudo-terminal pair per process, its tool end opened through the port
// layer exactly as the tool opens a serial device (raw 4800 8N1), its other
// end written by the target with the bytes of a reply.
//
// The tick service is not started: time passes only when a target says so, so
// a target can run a reply into every time-out without waiting for it.
#pragma once
#include <cstddef>
#include <cstdint>

class Trk;

// Opens the line on first use (and aborts when no pseudo-terminal can be had).
uint16_t FuzzLineHandle();
// Writes bytes to the controller end and waits (at most 1 s) until the port
// holds them all, so what a link step sees does not depend on scheduling.
void FuzzLineDeliver(const uint8_t* bytes, size_t count);
// Reads and drops what the tool sent.
void FuzzLineDrainRequests();
// The same, and empties the port's receive side: a fresh line for an input.
void FuzzLineReset();
// Moves the tick on by ms.
void FuzzAdvanceTime(uint32_t ms);
// Sets a link up as the tool does (ConfigureApplicationLink: type 18, four
// nozzles, codes 1..8) on the fuzz line, in linkTable[0].
void FuzzSetUpLink(Trk& link);
// Aborts unless every time-out slot is free: a finished exchange holds none.
void FuzzCheckNoSlotHeld(const Trk& link);

// Frames as the service tool puts them on the wire, and an in-process
// simulator to send them to, for the simulator's own tests.
#pragma once
#include <cstdint>
#include <vector>

#include "tools/dispenser_sim/controller.h"
#include "tools/dispenser_sim/layout.h"
#include "tools/dispenser_sim/memory_image.h"
#include "tools/dispenser_sim/session.h"
#include "tools/dispenser_sim/trace.h"

using Bytes = std::vector<uint8_t>;

Bytes withChecksum(Bytes bytes);
Bytes operator+(Bytes a, const Bytes& b);
Bytes selectFrame(int address, int function);
Bytes readRequest(int address, int bank, uint32_t at, int count);
// Header and, for more than one byte, the body (sent separately by the tool).
Bytes writeHeader(int address, int bank, uint32_t at, const Bytes& data);
Bytes writeBody(const Bytes& data);
Bytes nozzleCommand(int address, int nozzle, int function, uint32_t valueMl);
Bytes statusRequest(int address, int nozzle);

// The controller and its session, driven with explicit times.
struct SimUnderTest {
  explicit SimUnderTest(const layout::ControllerLayout& controllerLayout, ControllerSettings controllerSettings = {},
                        SessionSettings sessionSettings = quickSession());
  static SessionSettings quickSession();

  // Sends bytes at time now; returns every reply byte scheduled so far.
  Bytes send(const Bytes& bytes);
  // A whole memory write: header, then body, as the tool sends them.
  Bytes write(int address, int bank, uint32_t at, const Bytes& data);
  Bytes read(int address, int bank, uint32_t at, int count);  // data only (checksum dropped)
  uint8_t lastErrorCode(int address);
  Bytes status(int address, int nozzle);                       // the 8-byte record

  MemoryImage memory;
  Trace trace;
  Controller controller;
  Session session;
  int64_t now = 1000000;
};

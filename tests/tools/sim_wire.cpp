#include "tests/tools/sim_wire.h"

#include "link/frame.h"
#include "tools/dispenser_sim/bcd.h"

Bytes withChecksum(Bytes bytes) {
  bytes.push_back(static_cast<uint8_t>(frameChecksum(bytes.data(), static_cast<int>(bytes.size()))));
  return bytes;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes selectFrame(int address, int function) {
  return withChecksum({0x60, static_cast<uint8_t>(address), static_cast<uint8_t>(function)});
}

Bytes readRequest(int address, int bank, uint32_t at, int count) {
  return selectFrame(address, 0x48 + bank) +
         withChecksum({0x00, 0x00, static_cast<uint8_t>(at >> 8), static_cast<uint8_t>(at >> 16),
                       static_cast<uint8_t>(at), 0x00, static_cast<uint8_t>(count)});
}

Bytes writeHeader(int address, int bank, uint32_t at, const Bytes& data) {
  return selectFrame(address, 0x40 + bank) +
         withChecksum({0x01, 0x00, static_cast<uint8_t>(at >> 8), static_cast<uint8_t>(at >> 16),
                       static_cast<uint8_t>(at), data[0], static_cast<uint8_t>(data.size())});
}

Bytes writeBody(const Bytes& data) { return withChecksum(Bytes(data.begin() + 1, data.end())); }

Bytes nozzleCommand(int address, int nozzle, int function, uint32_t valueMl) {
  Bytes body = {static_cast<uint8_t>(nozzle), static_cast<uint8_t>(function), 0, 0, 0, 0, 0};
  toBcd(valueMl / 10, body.data() + 3, 4);
  return selectFrame(address, 0x10 + nozzle) + withChecksum(body);
}

Bytes statusRequest(int address, int nozzle) { return selectFrame(address, 0x80 + nozzle); }

SessionSettings SimUnderTest::quickSession() {
  SessionSettings s;
  s.replyDelayUs = 0;
  return s;
}

SimUnderTest::SimUnderTest(const layout::ControllerLayout& controllerLayout, ControllerSettings controllerSettings,
                           SessionSettings sessionSettings)
    : controller((layout::build(controllerLayout, memory), memory), controllerSettings),
      session(controller, sessionSettings, trace) {}

Bytes SimUnderTest::send(const Bytes& bytes) {
  session.received(bytes.data(), bytes.size(), now);
  return session.due(kNever - 1);
}

Bytes SimUnderTest::write(int address, int bank, uint32_t at, const Bytes& data) {
  Bytes reply = send(writeHeader(address, bank, at, data));
  if (data.size() == 1) return reply;
  now += 60000;  // the tool waits at least 50 ms before the body
  return reply + send(writeBody(data));
}

Bytes SimUnderTest::read(int address, int bank, uint32_t at, int count) {
  Bytes reply = send(readRequest(address, bank, at, count));
  if (reply.size() != static_cast<size_t>(count) + 1) return {};
  reply.pop_back();
  return reply;
}

uint8_t SimUnderTest::lastErrorCode(int address) {
  Bytes record = send(selectFrame(address, 0xF0));
  return record.size() == 16 ? record[7] : 0xEE;
}

Bytes SimUnderTest::status(int address, int nozzle) { return send(statusRequest(address, nozzle)); }

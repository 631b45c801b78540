// A listener on every byte the port layer sends, hands out or drops: the wire
// trace installs one. With none installed each byte operation pays one test of
// a null pointer.
#pragma once
#include <cstdint>

class PortTap {
 public:
  virtual ~PortTap() = default;
  virtual void sent(uint16_t handle, const char* portName, const uint8_t* bytes, int count) = 0;
  virtual void taken(uint16_t handle, const char* portName, const uint8_t* bytes, int count) = 0;
  // why: what the bytes were dropped for ("before the request", ...).
  virtual void dropped(uint16_t handle, const char* portName, const uint8_t* bytes, int count,
                       const char* why) = 0;
  // Something on the port that carries no bytes, in words.
  virtual void noted(uint16_t, const char*, const char*) {}
};

// Installs tap as the listener (nullptr: none). Called while no port
// operation runs.
void PortSetTap(PortTap* tap);
// The installed listener, or nullptr.
PortTap* PortInstalledTap();

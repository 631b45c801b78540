#include "port/tcp_name.h"

#include <cstring>

namespace {

constexpr int kPrefixLength = 5;  // "TCPC_" or "TCPS_"

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads 1..maxDigits decimal digits at *text, no leading zero unless the
// number is 0, and at most limit. Advances *text past them.
bool readNumber(const char** text, int maxDigits, uint32_t limit, uint32_t* value) {
  const char* p = *text;
  uint32_t v = 0;
  int digits = 0;
  while (isDigit(*p)) {
    if (++digits > maxDigits) return false;
    v = v * 10 + static_cast<uint32_t>(*p - '0');
    ++p;
  }
  if (digits == 0 || v > limit) return false;
  if (digits > 1 && **text == '0') return false;
  *text = p;
  *value = v;
  return true;
}

// A dotted quad, returned in network byte order (first number in the first
// byte in memory).
bool readAddress(const char** text, uint32_t* address) {
  uint8_t bytes[4];
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (**text != '.') return false;
      ++*text;
    }
    uint32_t part = 0;
    if (!readNumber(text, 3, 255, &part)) return false;
    bytes[i] = static_cast<uint8_t>(part);
  }
  std::memcpy(address, bytes, sizeof bytes);
  return true;
}

bool readPort(const char** text, uint16_t* port) {
  uint32_t value = 0;
  if (!readNumber(text, 5, 65535, &value) || value == 0) return false;
  *port = static_cast<uint16_t>(value);
  return true;
}

// "<port>" or "<address>:<port>": an address is told by its first dot.
bool readServerEndpoint(const char** text, TcpPortName* out) {
  const char* p = *text;
  while (isDigit(*p)) ++p;
  if (*p == '.') {
    if (!readAddress(text, &out->address)) return false;
    if (**text != ':') return false;
    ++*text;
  }
  return readPort(text, &out->port);
}

}  // namespace

bool ParseTcpPortName(const char* name, TcpPortName* out) {
  if (name == nullptr || out == nullptr) return false;
  TcpPortName parsed{};
  const char* text = name + kPrefixLength;
  if (std::strncmp(name, "TCPC_", kPrefixLength) == 0) {
    if (!readAddress(&text, &parsed.address) || *text++ != ':' || !readPort(&text, &parsed.port)) {
      return false;
    }
  } else if (std::strncmp(name, "TCPS_", kPrefixLength) == 0) {
    parsed.server = true;
    if (!readServerEndpoint(&text, &parsed)) return false;
    if (*text == '@') {
      ++text;
      if (!readAddress(&text, &parsed.peerAddress)) return false;
      parsed.peerRestricted = true;
    }
  } else {
    return false;
  }
  if (*text != '\0') return false;
  *out = parsed;
  return true;
}

// Bytes as lower-case hexadecimal text and back: how the tests and the pty
// peer service on the Linux side pass bytes in their line protocol.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

inline std::string ToHex(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (uint8_t b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

inline std::string ToHex(const std::string& text) {
  return ToHex(std::vector<uint8_t>(text.begin(), text.end()));
}

inline std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
  return bytes;
}

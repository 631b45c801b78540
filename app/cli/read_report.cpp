#include "app/cli/read_report.h"

#include <string>

#include "app/core/controller_text.h"

namespace {

bool Connected(const ControllerState& c) { return c.outcome != ReadOutcome::kNoConnection; }
// The main settings were read and passed their check: N, G, g and everything
// after them belong to this Read.
bool SettingsTaken(const ControllerState& c) { return c.outcome == ReadOutcome::kRead; }
bool SettingsBlockCame(const ControllerState& c) {
  return c.outcome == ReadOutcome::kRead || c.outcome == ReadOutcome::kWrongChecksum;
}

std::string Hex(const uint8_t* bytes, int count) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
  }
  return text;
}

// Bytes outside printable ASCII are written as \u00XX, so the object stays
// valid whatever the controller sent.
std::string JsonString(const char* text) {
  std::string out = "\"";
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    if (*p == '"' || *p == '\\') {
      out += '\\';
      out += static_cast<char>(*p);
    } else if (*p < 0x20 || *p >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", *p);
      out += escaped;
    } else {
      out += static_cast<char>(*p);
    }
  }
  return out + "\"";
}

std::string JsonNumber(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string JsonInt(long value) { return std::to_string(value); }
const char* JsonBool(bool value) { return value ? "true" : "false"; }

std::string JsonNozzle(const ControllerState& c, int i) {
  const bool received = c.recordReceived[i];
  const int size = c.variant == 2 ? kShortRecordSize : kCalibrationRecordSize;
  const uint8_t* record = c.variant == 2 ? c.shortCalibration[i] : c.calibration[i];
  char coefficient[kControllerTextSize];
  char number[kControllerTextSize];
  CoefficientText(c, i, coefficient);
  NozzleNumberText(c, i, number);
  std::string out = "{\"nozzle\": " + JsonInt(i + 1);
  out += ", \"read\": " + std::string(JsonBool(received));
  out += ", \"record\": " + (received ? "\"" + Hex(record, size) + "\"" : "null");
  out += ", \"coefficient\": " + (received ? JsonNumber(CoefficientOf(c, i)) : "null");
  out += ", \"coefficient_text\": " + JsonString(received ? coefficient : "???");
  const int value = NozzleNumberOf(c, i);
  out += ", \"number\": " + (received && value >= 0 ? JsonInt(value) : "null");
  out += ", \"number_text\": " + JsonString(received ? number : "?");
  return out + "}";
}

}  // namespace

const char* OutcomeName(ReadOutcome outcome) {
  switch (outcome) {
    case ReadOutcome::kRead: return "read";
    case ReadOutcome::kNoConnection: return "no connection";
    case ReadOutcome::kSettingsNotLoaded: return "main settings not loaded";
    case ReadOutcome::kWrongDataLength: return "wrong data length";
    case ReadOutcome::kWrongChecksum: return "wrong checksum";
  }
  return "no connection";
}

void PrintReadJson(std::FILE* out, const char* port, const ControllerState& c) {
  const bool connected = Connected(c);
  const bool taken = SettingsTaken(c);
  std::string json = "{";
  json += "\"port\": " + JsonString(port);
  json += ", \"address\": " + JsonInt(c.address);
  json += ", \"result\": " + JsonString(OutcomeName(c.outcome));
  json += ", \"connection\": " + JsonString(connected ? "Connected" : "No connection");
  json += std::string(", \"line_echo\": ") + (c.lineEchoes ? "true" : "false");
  json += ", \"status_byte\": " + (connected ? JsonInt(c.controllerStatus) : "null");
  json += ", \"variant\": " + (connected ? JsonInt(c.variant) : "null");
  const bool probed = connected && c.cngProbe != CngProbe::kNotProbed;
  json += ", \"cng_diagnostics\": " +
          std::string(probed ? JsonBool(c.cngProbe == CngProbe::kPresent) : "null");
  json += ", \"cng_text\": " +
          (probed && c.cngProbe == CngProbe::kPresent ? JsonString(c.cngText) : "null");
  json += ", \"main_settings\": " +
          (SettingsBlockCame(c) ? "\"" + Hex(c.mainSettings, c.statusByte) + "\"" : "null");
  json += ", \"nozzle_count\": " + (taken ? JsonInt(c.reportedNozzleCount) : "null");
  json += ", \"group_count\": " + (taken ? JsonInt(c.groupCount) : "null");
  json += ", \"group_index\": " + (taken ? JsonInt(c.groupIndex) : "null");
  const bool common = taken && c.commonBlockReceived;
  char counter[kControllerTextSize] = "?????????";
  if (common) CommonCounterText(c, counter);
  json += ", \"common_block\": " +
          (common ? "\"" + Hex(c.commonBlock, kCommonBlockSize) + "\"" : "null");
  json += ", \"counter\": " + (common ? JsonInt(CommonCounter(c)) : "null");
  json += ", \"counter_text\": " + (taken ? JsonString(counter) : "null");
  json += ", \"nozzles\": ";
  if (taken) {
    json += "[";
    for (int i = 0; i < NozzleRowsShown(c); ++i) json += (i ? ", " : "") + JsonNozzle(c, i);
    json += "]";
  } else {
    json += "null";
  }
  const bool password = taken && c.passwordStateReceived;
  json += ", \"password_state\": " +
          (password ? "\"" + Hex(c.passwordStateAsRead, kPasswordStateSize) + "\"" : "null");
  json += ", \"password_needed\": " +
          std::string(taken ? JsonBool((c.passwordState[0] & 0x02) != 0) : "null");
  json += "}\n";
  std::fputs(json.c_str(), out);
}

void PrintReadText(std::FILE* out, const char* port, const ControllerState& c) {
  const char* line = "%-16s %s\n";
  std::fprintf(out, line, "port", port);
  std::fprintf(out, "%-16s %02X\n", "address", static_cast<unsigned>(c.address));
  std::fprintf(out, line, "connection", Connected(c) ? "Connected" : "No connection");
  if (c.lineEchoes) std::fprintf(out, line, "line", "echoes what is sent");
  if (!Connected(c)) return;
  std::fprintf(out, "%-16s %d\n", "variant", c.variant);
  if (c.cngProbe == CngProbe::kPresent) std::fprintf(out, line, "CNG diagnostics", c.cngText);
  if (SettingsBlockCame(c)) {
    std::fprintf(out, line, "main settings", Hex(c.mainSettings, c.statusByte).c_str());
  }
  std::fprintf(out, line, "result", OutcomeName(c.outcome));
  if (!SettingsTaken(c)) return;
  std::fprintf(out, "%-16s %d\n", "nozzles", c.reportedNozzleCount);
  std::fprintf(out, "%-16s %d\n", "groups", c.groupCount);
  std::fprintf(out, "%-16s %d\n", "group index", c.groupIndex);
  char text[kControllerTextSize] = "?????????";
  if (c.commonBlockReceived) CommonCounterText(c, text);
  std::fprintf(out, line, "common counter", text);
  for (int i = 0; i < NozzleRowsShown(c); ++i) {
    char label[24];   // room for any int, as the compiler checks
    std::snprintf(label, sizeof label, "nozzle %d", i + 1);
    if (!c.recordReceived[i]) {
      std::fprintf(out, "%-16s %-14s %s\n", label, "???", "?");
      continue;
    }
    char number[kControllerTextSize];
    CoefficientText(c, i, text);
    NozzleNumberText(c, i, number);
    if (number[0] == '\0') {
      std::fprintf(out, line, label, text);   // variant 0 shows no number
    } else {
      std::fprintf(out, "%-16s %-14s %s\n", label, text, number);
    }
  }
  const bool needed = (c.passwordState[0] & 0x02) != 0;
  std::fprintf(out, line, "password", needed ? "needed" : "not needed");
}

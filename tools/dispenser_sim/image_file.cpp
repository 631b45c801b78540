#include "tools/dispenser_sim/image_file.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tools/dispenser_sim/layout.h"
#include "tools/dispenser_sim/replace_file.h"

namespace {
constexpr int kBytesPerLine = 16;
}

bool saveImage(const std::string& path, const MemoryImage& memory, int commits,
               std::string* error) {
  layout::Shape shape = layout::readShape(memory);
  std::string temporary = path + ".tmp";
  FILE* f = std::fopen(temporary.c_str(), "w");
  if (!f) {
    *error = "cannot write " + temporary;
    return false;
  }
  std::fprintf(f, "# dispenser-sim memory image: bank:address, then up to 16 bytes (hex)\n");
  std::fprintf(f, "commits %d\n", commits);
  int onLine = 0;
  uint32_t expected = 0;
  for (const auto& entry : memory.bytes()) {
    int bank = static_cast<int>(entry.first >> 24);
    uint32_t address = entry.first & 0xFFFFFF;
    std::string area = layout::areaStartingAt(shape, bank, address);
    bool newLine = onLine == 0 || onLine == kBytesPerLine || entry.first != expected || !area.empty();
    if (newLine) {
      if (onLine > 0) std::fprintf(f, "\n");
      if (!area.empty()) std::fprintf(f, "# %s\n", area.c_str());
      std::fprintf(f, "%d:%06X", bank, static_cast<unsigned>(address));
      onLine = 0;
    }
    std::fprintf(f, " %02X", entry.second);
    ++onLine;
    expected = entry.first + 1;
  }
  if (onLine > 0) std::fprintf(f, "\n");
  bool ok = std::fflush(f) == 0;
  ok = std::fclose(f) == 0 && ok;
  if (!ok || !replaceFile(temporary, path)) {
    std::remove(temporary.c_str());
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

namespace {

bool parseHex(const std::string& text, unsigned long limit, unsigned long* value) {
  if (text.empty() || text.size() > 8) return false;
  char* end = nullptr;
  unsigned long v = std::strtoul(text.c_str(), &end, 16);
  if (*end != '\0' || v > limit) return false;
  for (char c : text)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  *value = v;
  return true;
}

}  // namespace

bool loadImage(const std::string& path, MemoryImage* memory, int* commits, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  memory->clear();
  *commits = 0;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::istringstream words(line);
    std::string first;
    if (!(words >> first) || first[0] == '#') continue;
    std::string where = path + " line " + std::to_string(number) + ": ";
    if (first == "commits") {
      long n = -1;
      if (!(words >> n) || n < 0 || n > 1000000000) {
        *error = where + "commits needs a count";
        return false;
      }
      *commits = static_cast<int>(n);
      continue;
    }
    size_t colon = first.find(':');
    unsigned long bank = 0, address = 0;
    if (colon == std::string::npos || !parseHex(first.substr(0, colon), 7, &bank) ||
        !parseHex(first.substr(colon + 1), 0xFFFFFF, &address)) {
      *error = where + "expected bank:address, found \"" + first + "\"";
      return false;
    }
    std::string byteText;
    uint32_t at = static_cast<uint32_t>(address);
    while (words >> byteText) {
      unsigned long value = 0;
      if (byteText.size() != 2 || !parseHex(byteText, 0xFF, &value)) {
        *error = where + "\"" + byteText + "\" is not a hexadecimal byte";
        return false;
      }
      memory->set(static_cast<int>(bank), at, static_cast<uint8_t>(value));
      at = (at + 1) & 0xFFFFFF;
    }
  }
  return true;
}

// The INI reader: the input is the file. Every section and key that the
// file's own lines name is looked up; a value handed out must fit the
// 501-byte destination the reader promises.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_file.h"
#include "store/ini_reader.h"

namespace {

// Section names ("[name") and keys ("key=") as the lines of the input write them.
void namesOf(const uint8_t* data, size_t size, std::vector<std::string>* sections,
             std::vector<std::string>* keys) {
  size_t start = 0;
  for (size_t i = 0; i <= size && sections->size() + keys->size() < 64; ++i) {
    if (i < size && data[i] != '\n' && data[i] != '\r') continue;
    std::string line(reinterpret_cast<const char*>(data) + start, i - start);
    start = i + 1;
    line = line.substr(0, line.find('\0'));
    if (!line.empty() && line[0] == '[') {
      sections->push_back(line.substr(1, line.find(']') == std::string::npos ? std::string::npos
                                                                              : line.find(']') - 1));
    } else if (line.find('=') != std::string::npos) {
      std::string key = line.substr(0, line.find('='));
      while (key.size() > 1 && key.back() == ' ') key.pop_back();
      keys->push_back(key);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = FuzzWriteFile("input.ini", data, size);
  std::vector<std::string> sections = {"", "\xCE\xE1\xF9\xE8\xE5"};
  std::vector<std::string> keys = {"", "\xCF\xEE\xF0\xF2"};
  namesOf(data, size, &sections, &keys);

  TIniReader reader;
  if (reader.Open(path.c_str()) != 1) std::abort();
  for (const std::string& section : sections) {
    reader.SectionIndex(section.c_str());
    for (const std::string& key : keys) {
      // Exactly the promised 501 bytes on the heap, so a longer copy is caught.
      char* value = static_cast<char*>(std::malloc(501));
      int result = reader.GetString(section.c_str(), key.c_str(), value);
      if (result != 1 && result != 0 && result != -3) std::abort();
      std::free(value);
    }
  }
  reader.CloseFile();
  // A second file on the same reader adds to what it holds.
  if (reader.Open(path.c_str()) != 1) std::abort();
  return 0;
}

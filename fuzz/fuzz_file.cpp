#include "fuzz/fuzz_file.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace {

struct Folder {
  std::string path;
  Folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvo_fuzz_XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      std::perror("mkdtemp");
      std::abort();
    }
    path = pattern;
  }
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace

const std::string& FuzzFolder() {
  static Folder folder;
  return folder.path;
}

std::string FuzzWriteFile(const char* name, const uint8_t* data, size_t size) {
  std::string path = FuzzFolder() + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) {
    std::perror(path.c_str());
    std::abort();
  }
  return path;
}

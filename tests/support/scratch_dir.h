// A fresh temporary working directory for the life of a test, so files the
// code under test writes in the working directory (port.out) never meet those
// of tests running in parallel.
#pragma once
#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

class ScratchDir {
 public:
  ScratchDir() {
    path_ = MakeTempDir("tarvo_test");
    if (path_.empty()) return;
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }
  ~ScratchDir() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::filesystem::path previous_;
};

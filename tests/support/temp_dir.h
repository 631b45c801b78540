// A new, empty folder in the system's temporary folder for the files one test
// writes, made the same way on every platform.
#pragma once
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

// The new folder's path, or "" when none could be made.
inline std::string MakeTempDir(const std::string& prefix) {
  std::error_code ec;
  const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  if (ec) return "";
  std::random_device seed;
  std::mt19937 rng(seed());
  for (int attempt = 0; attempt < 100; attempt++) {
    std::filesystem::path dir = base / (prefix + "." + std::to_string(rng() % 1000000000u));
    if (std::filesystem::create_directory(dir, ec)) return dir.string();
  }
  return "";
}

// Whole-file reads and writes for tests: what a test plants under its root and reads back.
#pragma once
#include <fstream>
#include <iterator>
#include <string>

namespace platform::testing {

// The file's bytes; "" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Replaces the file's bytes (made when missing).
inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << bytes;
}

}  // namespace platform::testing

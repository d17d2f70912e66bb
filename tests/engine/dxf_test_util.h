// Helpers shared by the DXF and model tests: a temporary folder per test, whole-file read/write,
// and wide paths.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/utf.h"

namespace kel::test {

class TempDir {
 public:
  TempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() /
            ("kel_dxf_" + std::string(info ? info->name() : "x") + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  std::u16string wfile(const std::string& name) const { return plat::fromUtf8(file(name)); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline void writeFile(const std::string& path, const std::string& data) {
  std::ofstream f(path, std::ios::binary);
  f << data;
}
inline std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// A DXF text from "code\nvalue\n" pairs written compactly as {code, value} lines.
inline std::string dxf(std::initializer_list<std::pair<int, const char*>> groups) {
  std::string s;
  for (const auto& [c, v] : groups) s += std::to_string(c) + "\n" + v + "\n";
  return s;
}

}  // namespace kel::test

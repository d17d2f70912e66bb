// Small helpers shared by the test programs: a temporary folder removed afterwards, file helpers,
// and capture of what a piece of code writes to a standard stream.
#pragma once
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace kel::test {

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kelmoor-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) std::abort();
    path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::string str(const std::string& name = "") const { return name.empty() ? path_.string() : (path_ / name).string(); }
  std::u16string wide(const std::string& name = "") const {
    std::string s = str(name);
    return std::u16string(s.begin(), s.end());  // test names are ASCII
  }

 private:
  std::filesystem::path path_;
};

inline void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline bool exists(const std::string& path) { return std::filesystem::exists(std::filesystem::symlink_status(path)); }

// Runs fn with the given descriptor (1 or 2) sent to a file; returns what was written.
template <class Fn>
std::string captureFd(int fd, Fn fn) {
  std::fflush(nullptr);
  char name[] = "/tmp/kelmoor-capture-XXXXXX";
  int tmp = ::mkstemp(name);
  int saved = ::dup(fd);
  ::dup2(tmp, fd);
  fn();
  std::fflush(nullptr);
  ::dup2(saved, fd);
  ::close(saved);
  ::close(tmp);
  std::string out = readFile(name);
  ::unlink(name);
  return out;
}

}  // namespace kel::test

// The import log: one line per problem met while reading a DXF file (line number, group code,
// what was wrong, what was done), opened only when the caller names a log file.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace kel::engine::dxf {

class DxfLog {
 public:
  explicit DxfLog(const char16_t* path);
  ~DxfLog();
  DxfLog(const DxfLog&) = delete;
  DxfLog& operator=(const DxfLog&) = delete;

  // A problem at a place in the file. line 0: no single line (the file as a whole).
  void problem(uint64_t line, int code, const std::string& what, const std::string& done);
  // A plain information line.
  void note(const std::string& text);
  size_t problems() const { return m_problems; }

 private:
  std::FILE* m_file = nullptr;
  size_t m_problems = 0;
};

}  // namespace kel::engine::dxf

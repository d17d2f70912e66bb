// The DXF import log (see dxf_log.h).
#include "engine/dxf/dxf_log.h"

#include "platform/utf.h"

namespace kel::engine::dxf {

DxfLog::DxfLog(const char16_t* path) {
  if (path && *path) m_file = std::fopen(plat::toPosixPath(path).c_str(), "wb");
}

DxfLog::~DxfLog() {
  if (m_file) std::fclose(m_file);
}

void DxfLog::problem(uint64_t line, int code, const std::string& what, const std::string& done) {
  ++m_problems;
  if (!m_file) return;
  if (line) std::fprintf(m_file, "line %llu: ", static_cast<unsigned long long>(line));
  if (code >= 0) std::fprintf(m_file, "group %d: ", code);
  std::fprintf(m_file, "%s; %s\n", what.c_str(), done.c_str());
}

void DxfLog::note(const std::string& text) {
  if (m_file) std::fprintf(m_file, "%s\n", text.c_str());
}

}  // namespace kel::engine::dxf

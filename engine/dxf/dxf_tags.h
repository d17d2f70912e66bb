// The group level of DXF files: splitting ASCII or binary DXF into typed groups, and writing
// groups as ASCII DXF.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "engine/acadstrc.h"
#include "engine/dxf/dxf_log.h"
#include "engine/model/tag.h"

namespace kel::engine::dxf {

// The 22 bytes a binary DXF file starts with.
inline constexpr std::string_view kBinarySentinel{"AutoCAD Binary DXF\r\n\x1a\0", 22};

// Reads a whole file's groups one at a time, up to "0 EOF" or the end of the data, so that a
// reader can turn them into records as it goes instead of holding every group of the file at
// once. String values stay the file's bytes (decoding needs the header). Comments (999) are
// skipped. The data must outlive the reader.
class TagReader {
 public:
  TagReader(std::string_view data, DxfLog& log);

  // The next group into t (all its values replaced) and where it starts (ASCII: the line of its
  // group code; binary: its byte offset). False at the end: after "0 EOF", at the end of the
  // data, or at a problem, which status() then names: eUnknownDxfFileFormat (nothing that
  // looks like DXF), eInvalidDxfCode (a group code that is no number in 0..1071) or
  // eDxfReadAborted (the data ends inside a group). Each problem has its log line.
  bool next(Tag& t, uint32_t& at);

  Acad::ErrorStatus status() const { return m_status; }
  bool binary() const { return m_binary; }
  bool sawEof() const { return m_sawEof; }    // "0 EOF" was met
  bool partial() const { return m_partial; }  // some value could not be read and was replaced
  size_t count() const { return m_count; }    // groups given so far

  // Looks ahead without reading: calls f(name) with the name of each record start (group 0)
  // after the groups given so far, in file order, until f answers false or the data ends. Names
  // are the file's bytes without padding (not decoded). Costs one quick pass over the bytes; a
  // section reader uses it to size its lists exactly before filling them.
  template <class F>
  void scanRecords(F&& f) const {
    scanRecords(+[](void* c, std::string_view name) { return (*static_cast<std::remove_reference_t<F>*>(c))(name); },
                const_cast<void*>(static_cast<const void*>(&f)));
  }

 private:
  bool nextAscii(Tag& t, uint32_t& at);
  bool nextBinary(Tag& t, uint32_t& at);
  bool line(std::string_view& l);
  void scanRecords(bool (*f)(void*, std::string_view), void* ctx) const;
  void scanBinary(bool (*f)(void*, std::string_view), void* ctx) const;
  bool fail(Acad::ErrorStatus es) {
    m_status = es;
    m_done = true;
    return false;
  }

  std::string_view m_data;
  DxfLog& m_log;
  size_t m_pos = 0;
  uint32_t m_line = 0;
  size_t m_count = 0;
  Acad::ErrorStatus m_status = Acad::eOk;
  bool m_binary = false;
  bool m_wideCodes = false;
  bool m_done = false;
  bool m_sawEof = false;
  bool m_partial = false;
};

// All groups of a file at once (for tests and tools; the importer reads them as it goes).
struct TagList {
  Tags tags;
  std::vector<uint32_t> lines;
  bool binary = false;
  bool sawEof = false;
  bool partial = false;
};
Acad::ErrorStatus readTags(std::string_view data, TagList& out, DxfLog& log);

// Formats a real the way DXF writers do: up to `precision` significant digits, always with a
// decimal point ("1.0", "0.5", "1.0E+20"). Precision is taken within 1..40.
std::string formatReal(double v, int precision);

// Appends one text group (caret notation for control characters) or one handle group.
void appendString(std::string& out, int code, std::string_view s);
void appendHandle(std::string& out, int code, uint64_t h);

// Appends one group in ASCII DXF form (code right-aligned in three columns, CRLF line ends).
void appendTag(std::string& out, const Tag& t, int precision);

}  // namespace kel::engine::dxf

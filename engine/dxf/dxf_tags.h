// The group level of DXF files: splitting ASCII or binary DXF into typed groups, and writing
// groups as ASCII DXF.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/acadstrc.h"
#include "engine/dxf/dxf_log.h"
#include "engine/model/tag.h"

namespace kel::engine::dxf {

// The 22 bytes a binary DXF file starts with.
inline constexpr std::string_view kBinarySentinel{"AutoCAD Binary DXF\r\n\x1a\0", 22};

struct TagList {
  Tags tags;
  std::vector<uint32_t> lines;  // ASCII: line of the group code; binary: byte offset
  bool binary = false;
  bool sawEof = false;          // "0 EOF" was met (reading stops there)
  bool partial = false;         // some value could not be read and was replaced
};

// Splits a whole file into groups, up to "0 EOF" or the end of the data. String values stay the
// file's bytes (decoding needs the header). Answers eOk, eUnknownDxfFileFormat (nothing that
// looks like DXF), eInvalidDxfCode (a group code that is no number in 0..1071) or
// eDxfReadAborted (the data ends inside a group).
Acad::ErrorStatus readTags(std::string_view data, TagList& out, DxfLog& log);

// Formats a real the way DXF writers do: up to `precision` significant digits, always with a
// decimal point ("1.0", "0.5", "1.0E+20").
std::string formatReal(double v, int precision);

// Appends one group in ASCII DXF form (code right-aligned in three columns, CRLF line ends).
void appendTag(std::string& out, const Tag& t, int precision);

}  // namespace kel::engine::dxf

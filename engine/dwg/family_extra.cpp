// The extra family of types (see families.h): the arc-length and jogged radius dimensions, the
// modeler-geometry entities REGION, 3DSOLID and BODY, and the subdivision mesh.
#include <algorithm>

#include "engine/dwg/families.h"
#include "engine/dwg/types_extra.h"

namespace kel::dwg {

namespace types {

std::string satBytesToUtf8(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string satUtf8ToBytes(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += char(c);
    } else if ((c & 0xE0) == 0xC0 && i + 1 < text.size()) {
      // Two-byte sequences cover U+0080..U+07FF; the data only ever holds U+0080..U+00FF.
      out += char(((c & 0x1F) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F));
      ++i;
    } else {
      out += '?';
      while (i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) ++i;
    }
  }
  return out;
}

void satLinesToTags(const std::string& blob, Tags& out) {
  size_t pos = 0;
  while (pos < blob.size()) {
    size_t end = blob.find('\n', pos);
    if (end == std::string::npos) end = blob.size();
    std::string line = blob.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    pos = end + 1;
    for (size_t at = 0, code = 1; at < line.size() || at == 0; at += kSatLinePiece, code = 3) {
      out.push_back(Tag::str(int(code), satBytesToUtf8(line.substr(at, kSatLinePiece))));
      if (line.empty()) break;
    }
  }
}

std::string satTagsToBlob(const Tags& body) {
  std::string blob;
  bool open = false;
  for (const Tag& t : body) {
    if (t.code == 1) {
      if (open) blob += '\n';
      blob += satUtf8ToBytes(t.s);
      open = true;
    } else if (t.code == 3 && open) {
      blob += satUtf8ToBytes(t.s);
    }
  }
  if (open) blob += '\n';
  return blob;
}

void pushModelerData(const Tags& part, ObjectWriter& w) {
  const std::string blob = satTagsToBlob(part);
  w.pushInt(blob.empty() ? 1 : 0);
  if (blob.empty()) return;
  w.pushInt(0);  // the unknown bit
  w.pushInt(1);  // version: text form
  for (size_t at = 0; at < blob.size(); at += kSatBlock) {
    w.pushInt(int64_t(std::min(kSatBlock, blob.size() - at)));
    w.pushText(blob.substr(at, kSatBlock));
  }
  w.pushInt(0);
}

}  // namespace types

namespace {

using namespace types;
using K = RecordKind;

// The common part of a dimension: text midpoint and elevation, the flag byte, the insertion
// scale (always 1: DXF does not carry it), and the attachment (default: middle centre) and line
// spacing factor of the AcDbDimension part alone, which share their codes with the kind's part.
void prepDimensionCommon(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  w.pushReal(realOf(b, 11));
  w.pushReal(realOf(b, 21));
  w.pushReal(realOf(b, 31));
  w.pushInt(((intOf(b, 70) & 128) ? 0 : 1) | ((intOf(b, 70) & 32) ? 2 : 0));
  w.pushReal(1);
  w.pushReal(1);
  w.pushReal(1);
  const auto fromTo = subclassRange(b, "AcDbDimension");
  size_t from = fromTo.first, to = fromTo.second;
  Tags common(b.begin() + std::ptrdiff_t(from), b.begin() + std::ptrdiff_t(to));
  w.pushInt(intOf(common, 71, 5));
  w.pushReal(realOf(common, 41, 1));
}

// The modeler data, then no wireframe cache and the closing flag set (nothing follows).
void prepModelerGeometry(const PrepInput& in, ObjectWriter& w) {
  const auto [from, to] = subclassRange(in.body, "AcDbModelerGeometry");
  pushModelerData(Tags(in.body.begin() + std::ptrdiff_t(from), in.body.begin() + std::ptrdiff_t(to)), w);
  w.pushInt(0);  // no wireframe cache
  w.pushInt(1);  // the closing flag
}

// The counts of a mesh, from its AcDbSubDMesh part: the face list and edge count as given
// (bounded by the indices present), vertices and creases as present.
void prepMESH(const PrepInput& in, ObjectWriter& w) {
  const auto fromTo = subclassRange(in.body, "AcDbSubDMesh");
  size_t from = fromTo.first, to = fromTo.second;
  Tags part(in.body.begin() + std::ptrdiff_t(from), in.body.begin() + std::ptrdiff_t(to));
  const int64_t indices = int64_t(countOf(part, 90));
  const int64_t faces = std::clamp<int64_t>(intOf(part, 93), 0, indices);
  w.pushInt(0);  // subdivision level: the base mesh
  w.pushInt(int64_t(countOf(part, 10)));
  w.pushInt(faces);
  w.pushInt(std::clamp<int64_t>(intOf(part, 94), 0, (indices - faces) / 2));
  w.pushInt(int64_t(countOf(part, 140)));
}

#define KEL_X(num, name, kind, prep, cpp, ...) \
  FamilyType { num, #name, #name, kind, &visit##name<ObjectReader>, &visit##name<ObjectWriter>, prep, cpp, {__VA_ARGS__} }

const FamilyType kExtra[] = {
    KEL_X(0, ARC_DIMENSION, K::Entity, prepDimensionCommon, "AcDbArcDimension", 51, 53),
    KEL_X(0, LARGE_RADIAL_DIMENSION, K::Entity, prepDimensionCommon, "AcDbRadialDimensionLarge", 51, 53),
    KEL_X(37, REGION, K::Entity, prepModelerGeometry, nullptr),
    KEL_X(38, 3DSOLID, K::Entity, prepModelerGeometry, nullptr),
    KEL_X(39, BODY, K::Entity, prepModelerGeometry, nullptr),
    KEL_X(0, MESH, K::Entity, prepMESH, "AcDbSubDMesh"),
};

#undef KEL_X

}  // namespace

std::span<const FamilyType> extraFamily() { return kExtra; }

}  // namespace kel::dwg

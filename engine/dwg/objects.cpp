// The common part of every DWG object record and the dispatch to the per-type descriptions.
#include "engine/dwg/objects.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <string_view>
#include <unordered_map>

#include "engine/dwg/families.h"
#include "engine/dwg/objects_types.h"

namespace kel::dwg {

using engine::ValueKind;

struct TypeDescription {
  uint16_t type;        // fixed type number (0 for class-only types)
  const char* typeName; // DWG name
  const char* dxfName;
  RecordKind kind;
  const char* table;    // table name for controls and entries
  const char* marker;   // subclass marker of a table entry
  void (*read)(ObjectReader&);
};

namespace {

using namespace types;
using K = RecordKind;

#define KEL_E(num, name, dxf) {num, #name, dxf, K::Entity, nullptr, nullptr, &visit##name<ObjectReader>}
#define KEL_O(num, name, dxf) {num, #name, dxf, K::Object, nullptr, nullptr, &visit##name<ObjectReader>}
#define KEL_C(num, name, table, fn) {num, #name, "TABLE", K::TableControl, table, nullptr, &fn<ObjectReader>}
#define KEL_T(num, name, table, marker) {num, #name, table, K::TableEntry, table, marker, &visit##name<ObjectReader>}
#define KEL_TABLE(cnum, control, readLayout, writeLayout, controlPrep, num, name, marker, entryPrep) \
  KEL_C(cnum, control, #name, visit##readLayout), KEL_T(num, name, #name, marker),

const TypeDescription kFixed[] = {
    KEL_E(1, TEXT, "TEXT"),
    KEL_E(2, ATTRIB, "ATTRIB"),
    KEL_E(3, ATTDEF, "ATTDEF"),
    KEL_E(4, BLOCK, "BLOCK"),
    KEL_E(5, ENDBLK, "ENDBLK"),
    KEL_E(6, SEQEND, "SEQEND"),
    KEL_E(7, INSERT, "INSERT"),
    KEL_E(8, MINSERT, "INSERT"),
    KEL_E(10, VERTEX_2D, "VERTEX"),
    KEL_E(11, VERTEX_3D, "VERTEX"),
    KEL_E(12, VERTEX_MESH, "VERTEX"),
    KEL_E(13, VERTEX_PFACE, "VERTEX"),
    KEL_E(14, VERTEX_PFACE_FACE, "VERTEX"),
    KEL_E(15, POLYLINE_2D, "POLYLINE"),
    KEL_E(16, POLYLINE_3D, "POLYLINE"),
    KEL_E(17, ARC, "ARC"),
    KEL_E(18, CIRCLE, "CIRCLE"),
    KEL_E(19, LINE, "LINE"),
    KEL_E(20, DIMENSION_ORDINATE, "DIMENSION"),
    KEL_E(21, DIMENSION_LINEAR, "DIMENSION"),
    KEL_E(22, DIMENSION_ALIGNED, "DIMENSION"),
    KEL_E(23, DIMENSION_ANG3PT, "DIMENSION"),
    KEL_E(24, DIMENSION_ANG2LN, "DIMENSION"),
    KEL_E(25, DIMENSION_RADIUS, "DIMENSION"),
    KEL_E(26, DIMENSION_DIAMETER, "DIMENSION"),
    KEL_E(27, POINT, "POINT"),
    KEL_E(28, 3DFACE, "3DFACE"),
    KEL_E(29, POLYLINE_PFACE, "POLYLINE"),
    KEL_E(30, POLYLINE_MESH, "POLYLINE"),
    KEL_E(31, SOLID, "SOLID"),
    {32, "TRACE", "TRACE", K::Entity, nullptr, nullptr, &visitSOLID<ObjectReader>},
    {33, "SHAPE", "SHAPE", K::Entity, nullptr, nullptr, nullptr},
    KEL_E(34, VIEWPORT, "VIEWPORT"),
    KEL_E(35, ELLIPSE, "ELLIPSE"),
    KEL_E(36, SPLINE, "SPLINE"),
    {37, "REGION", "REGION", K::Entity, nullptr, nullptr, nullptr},
    {38, "3DSOLID", "3DSOLID", K::Entity, nullptr, nullptr, nullptr},
    {39, "BODY", "BODY", K::Entity, nullptr, nullptr, nullptr},
    KEL_E(40, RAY, "RAY"),
    KEL_E(41, XLINE, "XLINE"),
    KEL_O(42, DICTIONARY, "DICTIONARY"),
    {43, "OLEFRAME", "OLEFRAME", K::Entity, nullptr, nullptr, nullptr},
    KEL_E(44, MTEXT, "MTEXT"),
    {45, "LEADER", "LEADER", K::Entity, nullptr, nullptr, nullptr},
    {46, "TOLERANCE", "TOLERANCE", K::Entity, nullptr, nullptr, nullptr},
    {47, "MLINE", "MLINE", K::Entity, nullptr, nullptr, nullptr},
    KEL_SYMBOL_TABLES(KEL_TABLE)
    // The viewport-entity table of R13..R2000 has no DXF form; its records are kept raw.
    {70, "VX_CONTROL", "VX_CONTROL", K::Object, nullptr, nullptr, nullptr},
    {71, "VX_TABLE_RECORD", "VX_TABLE_RECORD", K::Object, nullptr, nullptr, nullptr},
    KEL_O(72, GROUP, "GROUP"),
    KEL_O(73, MLINESTYLE, "MLINESTYLE"),
    {74, "OLE2FRAME", "OLE2FRAME", K::Entity, nullptr, nullptr, nullptr},
    {76, "LONG_TRANSACTION", "LONG_TRANSACTION", K::Object, nullptr, nullptr, nullptr},
    KEL_E(77, LWPOLYLINE, "LWPOLYLINE"),
    {78, "HATCH", "HATCH", K::Entity, nullptr, nullptr, nullptr},
    KEL_O(79, XRECORD, "XRECORD"),
    {80, "PLACEHOLDER", "ACDBPLACEHOLDER", K::Object, nullptr, nullptr, &visitPLACEHOLDER<ObjectReader>},
    {81, "VBA_PROJECT", "VBA_PROJECT", K::Object, nullptr, nullptr, nullptr},
    KEL_O(82, LAYOUT, "LAYOUT"),
    {498, "PROXY_ENTITY", "ACAD_PROXY_ENTITY", K::Entity, nullptr, nullptr, nullptr},
    {499, "PROXY_OBJECT", "ACAD_PROXY_OBJECT", K::Object, nullptr, nullptr, nullptr},
};

// Types that files number through their classes list, by the class's DXF name.
const TypeDescription kClassTypes[] = {
    {0, "DICTIONARYWDFLT", "ACDBDICTIONARYWDFLT", K::Object, nullptr, nullptr, &visitDICTIONARYWDFLT<ObjectReader>},
    {0, "DICTIONARYVAR", "DICTIONARYVAR", K::Object, nullptr, nullptr, &visitDICTIONARYVAR<ObjectReader>},
    {0, "PLACEHOLDER", "ACDBPLACEHOLDER", K::Object, nullptr, nullptr, &visitPLACEHOLDER<ObjectReader>},
    {0, "XRECORD", "XRECORD", K::Object, nullptr, nullptr, &visitXRECORD<ObjectReader>},
    {0, "LAYOUT", "LAYOUT", K::Object, nullptr, nullptr, &visitLAYOUT<ObjectReader>},
    {0, "PLOTSETTINGS", "PLOTSETTINGS", K::Object, nullptr, nullptr, &visitPLOTSETTINGS<ObjectReader>},
    {0, "GROUP", "GROUP", K::Object, nullptr, nullptr, &visitGROUP<ObjectReader>},
    {0, "MLINESTYLE", "MLINESTYLE", K::Object, nullptr, nullptr, &visitMLINESTYLE<ObjectReader>},
    {0, "LWPOLYLINE", "LWPOLYLINE", K::Entity, nullptr, nullptr, &visitLWPOLYLINE<ObjectReader>},
    {0, "HATCH", "HATCH", K::Entity, nullptr, nullptr, nullptr},
};

// Class DXF names that differ from the record's DXF name.
std::string canonicalClassName(const std::string& n) {
  if (n == "LWPLINE") return "LWPOLYLINE";
  return n;
}

}  // namespace

const TypeDescription* describeFixedType(uint16_t type) {
  // Looked up for every record: a table by number, built once.
  static const auto* table = [] {
    static const TypeDescription* byType[500] = {};
    for (const auto& d : kFixed)
      if (d.type < 500) byType[d.type] = &d;
    // A family's description takes the place of a fixed type the core table keeps raw.
    static std::vector<TypeDescription> fromFamilies;
    fromFamilies.reserve(familyTypes().size());
    for (const auto& f : familyTypes())
      if (f.number && f.number < 500 && f.read) {
        fromFamilies.push_back({f.number, f.typeName, f.dxfName, f.kind, nullptr, nullptr, f.read});
        byType[f.number] = &fromFamilies.back();
      }
    return byType;
  }();
  return type < 500 ? table[type] : nullptr;
}

const TypeDescription* describeClass(const std::string& dxfName) {
  const std::string n = canonicalClassName(dxfName);
  const std::string_view name = n;  // compared as a view: the length rules out most names at once
  for (const auto& d : kClassTypes)
    if (name == d.dxfName && d.read) return &d;
  static const auto* fromFamilies = [] {
    auto* v = new std::vector<TypeDescription>;
    for (const auto& f : familyTypes())
      if (f.read) v->push_back({f.number, f.typeName, f.dxfName, f.kind, nullptr, nullptr, f.read});
    return v;
  }();
  for (const auto& d : *fromFamilies)
    if (name == d.dxfName) return &d;
  for (const auto& d : kClassTypes)
    if (n == d.dxfName) return &d;
  return nullptr;
}

std::vector<std::string> describedTypeNames() {
  std::vector<std::string> out;
  for (const auto& d : kFixed)
    if (d.read) out.push_back(d.typeName);
  for (const auto& d : kClassTypes)
    if (d.read) out.push_back(d.typeName);
  for (const auto& f : familyTypes())
    if (f.read) out.push_back(f.typeName);
  return out;
}

namespace {

// Extended data: chunks of (application handle, bytes) until a zero size.
bool readExtendedData(BitReader& r, Version v, uint16_t codePage, Tags& out) {
  for (int guard = 0; guard < 4096; ++guard) {
    size_t size = uint16_t(r.BS());
    if (r.error()) return false;
    if (size == 0) return true;
    HandleRef app = r.H();
    if (r.error() || size * 8 > r.remainingBits()) return false;
    std::vector<uint8_t> chunk(size);
    for (auto& b : chunk) b = r.RC();
    out.push_back(Tag::handle(1001, app.value));
    BitReader e(chunk.data(), chunk.size(), v);
    while (e.remainingBits() >= 8 && !e.error()) {
      int code = e.RC();
      Tag t;
      switch (code) {
        case 0: {
          if (v >= Version::R2007) {
            size_t len = e.RS();
            std::u16string s;
            for (size_t i = 0; i < len && !e.error(); ++i) s += char16_t(e.RS());
            t = Tag::str(1000, utf16ToUtf8(s));
          } else {
            size_t len = e.RC();
            e.RS();  // code page
            std::string s;
            for (size_t i = 0; i < len && !e.error(); ++i) s += char(e.RC());
            t = Tag::str(1000, codePageToUtf8(s, codePage));
          }
          break;
        }
        case 2: t = Tag::str(1002, e.RC() ? "}" : "{"); break;
        // Handles in extended data are eight bytes, most significant first.
        case 3: t = Tag::handle(1003, __builtin_bswap64(e.RLL())); break;  // a layer: named in the resolution pass
        case 4: {
          size_t len = e.RC();
          t.code = 1004;
          t.kind = ValueKind::Binary;
          for (size_t i = 0; i < len && !e.error(); ++i) t.s += char(e.RC());
          break;
        }
        case 5: t = Tag::handle(1005, __builtin_bswap64(e.RLL())); break;
        case 10: case 11: case 12: case 13: {
          double x = e.RD(), y = e.RD(), z = e.RD();
          out.push_back(Tag::real(1000 + code, x));
          out.push_back(Tag::real(1010 + code, y));
          t = Tag::real(1020 + code, z);
          break;
        }
        case 40: case 41: case 42: t = Tag::real(1000 + code, e.RD()); break;
        case 70: t = Tag::integer(1070, int16_t(e.RS())); break;
        case 71: t = Tag::integer(1071, int32_t(e.RL())); break;
        default: e.setError(); break;
      }
      if (e.error()) break;
      out.push_back(std::move(t));
    }
  }
  return false;
}

// DXF readers want a point's y and z right after its x. Descriptions follow the stored order,
// which for some types interleaves two points (LINE from R2000 stores x1 x2 y1 y2): move each
// y and z up behind their x.
bool isPointX(int code) { return (code >= 10 && code <= 18) || (code >= 110 && code <= 112) || code == 210; }

void groupPoints(Tags& body) {
  for (size_t i = 0; i < body.size(); ++i) {
    const int x = body[i].code;
    if (!isPointX(x) || body[i].kind != ValueKind::Double) continue;
    for (int k = 1; k <= 2; ++k) {
      const int want = x + 10 * k;
      size_t at = i + size_t(k);
      if (at < body.size() && body[at].code == want) continue;
      size_t j = at;
      while (j < body.size() && body[j].code != want && body[j].code != x && body[j].code != 100) ++j;
      if (j >= body.size() || body[j].code != want) break;  // a 2D point, or none to move
      Tag t = std::move(body[j]);
      body.erase(body.begin() + std::ptrdiff_t(j));
      body.insert(body.begin() + std::ptrdiff_t(std::min(at, body.size())), std::move(t));
    }
  }
}

// A dimension's definition point (10) and kind (70) belong to its AcDbDimension part in DXF;
// the file stores them with the kind's own points, after it.
void dimensionCommonGroups(Tags& body) {
  auto common = std::find_if(body.begin(), body.end(),
                             [](const Tag& t) { return t.code == 100 && t.s == "AcDbDimension"; });
  if (common == body.end()) return;
  auto kindPart = std::find_if(common + 1, body.end(), [](const Tag& t) { return t.code == 100; });
  if (kindPart == body.end()) return;
  const size_t at = size_t(kindPart - body.begin());
  Tags moved, rest;
  for (size_t i = at; i < body.size(); ++i) {
    const int c = body[i].code;
    bool defPoint = (c == 10 || c == 20 || c == 30) && moved.size() < 4;
    (defPoint || c == 70 ? moved : rest).push_back(std::move(body[i]));
  }
  body.resize(at);
  body.insert(body.end(), moved.begin(), moved.end());
  body.insert(body.end(), rest.begin(), rest.end());
}

void setError(DecodedObject& out, Acad::ErrorStatus es) {
  if (out.status == Acad::eOk) out.status = es;
}

}  // namespace

// DWG stores angles in radians; DXF gives these in degrees (the rest, ellipse parameters, MTEXT
// and linetype shape rotations among them, stay in radians).
namespace {
// The groups each type gives in degrees, by DXF name: the families' lists, then the core types
// the families do not describe. Built once; every decoded record looks its name up here.
using AngleCodes = std::array<int, 6>;  // 0: unused
const AngleCodes* angleCodes(std::string_view dxfName) {
  static const auto* byName = [] {
    auto* m = new std::unordered_map<std::string_view, AngleCodes>;
    for (const auto& f : familyTypes()) m->emplace(f.dxfName, f.angles);
    static const std::pair<const char*, AngleCodes> kDegrees[] = {
        {"ARC", {50, 51}},    {"INSERT", {50}},       {"TEXT", {50, 51}},              {"ATTRIB", {50, 51}},
        {"ATTDEF", {50, 51}}, {"SHAPE", {50, 51}},    {"DIMENSION", {50, 51, 52, 53}}, {"POINT", {50}},
        {"VERTEX", {50}},     {"VIEWPORT", {50, 51}}, {"STYLE", {50}},                 {"VPORT", {50, 51}},
        {"VIEW", {50}},       {"MLINESTYLE", {51, 52}}};
    for (const auto& [type, codes] : kDegrees) m->emplace(type, codes);  // a family's list comes first
    return m;
  }();
  auto it = byName->find(dxfName);
  return it == byName->end() ? nullptr : &it->second;
}

void scaleAngles(const std::string& dxfName, Tags& body, double factor) {
  const AngleCodes* codes = angleCodes(dxfName);
  if (!codes) return;
  for (auto& t : body)
    if (t.kind == ValueKind::Double && t.code != 0 && std::find(codes->begin(), codes->end(), t.code) != codes->end())
      t.d *= factor;
}
}  // namespace

void anglesToDegrees(const std::string& dxfName, Tags& body) {
  scaleAngles(dxfName, body, 180.0 / 3.14159265358979323846);
}
void anglesToRadians(const std::string& dxfName, Tags& body) {
  scaleAngles(dxfName, body, 3.14159265358979323846 / 180.0);
}

Acad::ErrorStatus decodeObject(std::span<const uint8_t> record, const DecodeContext& ctx, DecodedObject& out) {
  out = DecodedObject{};
  const Version v = ctx.version;
  BitReader r(record, v);
  const size_t totalBits = record.size() * 8;
  size_t handleStart = totalBits;
  if (v >= Version::R2010) {
    uint64_t hsize = r.UMC();
    if (r.error() || hsize > totalBits) return out.status = Acad::eDwgObjectImproperlyRead;
    handleStart = totalBits - size_t(hsize);
  }
  out.type = r.OT();
  if (v >= Version::R2000 && v <= Version::R2007) {
    uint32_t bits = r.RL();
    if (bits > totalBits) return out.status = Acad::eDwgObjectImproperlyRead;
    handleStart = bits;
  }
  out.layout.afterType = r.positionBits();
  out.handle = r.H().value;
  if (r.error() || !readExtendedData(r, v, ctx.codePage, out.xdata))
    return out.status = Acad::eDwgObjectImproperlyRead;

  // What the type number names.
  const TypeDescription* desc = nullptr;
  const DwgClass* cls = nullptr;
  if (out.type >= 500) {
    size_t idx = out.type - 500;
    if (ctx.classes) {
      // Classes are numbered 500 on in list order; look the number up only when that fails.
      if (idx < ctx.classes->size() && (*ctx.classes)[idx].number == out.type) cls = &(*ctx.classes)[idx];
      for (size_t i = 0; !cls && i < ctx.classes->size(); ++i)
        if ((*ctx.classes)[i].number == out.type) cls = &(*ctx.classes)[i];
      if (!cls && idx < ctx.classes->size()) cls = &(*ctx.classes)[idx];
    }
    if (!cls) return out.status = Acad::eDwgObjectImproperlyRead;
    desc = describeClass(cls->dxfName);
    out.dxfName = desc ? desc->dxfName : canonicalClassName(cls->dxfName);
    out.typeName = desc ? desc->typeName : cls->dxfName;
    out.kind = desc ? desc->kind : (cls->isEntity ? RecordKind::Entity : RecordKind::Object);
  } else {
    desc = describeFixedType(out.type);
    if (!desc) return out.status = Acad::eDwgObjectImproperlyRead;
    out.dxfName = desc->dxfName;
    out.typeName = desc->typeName;
    out.kind = desc->kind;
    if (desc->table) out.table = desc->table;
  }
  const bool entity = out.kind == RecordKind::Entity;

  // Common data stream part.
  uint32_t numReactors = 0;
  bool xdicMissing = false, noLinks = true, byLayerLt = false;
  uint8_t ltFlags = 0, psFlags = 0, matFlags = 0, shadowFlags = 0;
  bool fullVs = false, faceVs = false, edgeVs = false;
  uint16_t colorRaw = 0;
  int16_t colorIndex = 256;
  uint32_t rgb = 0, alpha = 0;
  bool hasRgb = false, hasAlpha = false, colorBook = false;
  std::string colorName;
  double ltScale = 1.0;
  int invisible = 0, lineweight = 29;
  std::string preview;
  if (entity) {
    if (r.B()) {
      uint64_t size = v >= Version::R2010 ? r.BLL() : r.RL();
      if (size * 8 > r.remainingBits()) return out.status = Acad::eDwgObjectImproperlyRead;
      out.layout.previewAt = r.positionBits();
      out.layout.previewBytes = size_t(size);
      for (uint64_t i = 0; i < size; ++i) preview += char(r.RC());
    }
    if (v <= Version::R14) {
      uint32_t bits = r.RL();
      if (bits > totalBits) return out.status = Acad::eDwgObjectImproperlyRead;
      handleStart = bits;
    }
    out.entmode = r.BB();
    numReactors = uint32_t(r.BL());
    if (v <= Version::R14) byLayerLt = r.B();
    if (v >= Version::R2004) xdicMissing = r.B();
    out.layout.afterXdicFlag = r.positionBits();
    if (v <= Version::R2000) noLinks = r.B();
    if (v >= Version::R2013) r.B();  // has binary data store entry
    if (v >= Version::R2004) {
      colorRaw = uint16_t(r.BS());
      colorIndex = int16_t(colorRaw & 0x1FF);
      uint16_t flags = colorRaw >> 8;
      if (flags & 0x20) {
        alpha = uint32_t(r.BL());
        hasAlpha = true;
      }
      if (flags & 0x40) colorBook = true;
      else if (flags & 0x80) {
        rgb = uint32_t(r.BL());
        hasRgb = true;
      }
      if ((flags & 0x41) == 0x41) colorName = utf16ToUtf8(r.TV());
      if ((flags & 0x42) == 0x42) colorName = utf16ToUtf8(r.TV()) + "$" + colorName;
    } else {
      colorIndex = r.BS();
    }
    ltScale = r.BD();
    if (v >= Version::R2000) {
      ltFlags = r.BB();
      psFlags = r.BB();
    } else {
      ltFlags = byLayerLt ? 0 : 3;
    }
    if (v >= Version::R2007) {
      matFlags = r.BB();
      shadowFlags = r.RC();
    }
    out.layout.afterShadow = r.positionBits();
    if (v >= Version::R2010) {
      fullVs = r.B();
      faceVs = r.B();
      edgeVs = r.B();
    }
    invisible = r.BS();
    if (v >= Version::R2000) lineweight = r.RC();
  } else {
    if (v <= Version::R14) {
      uint32_t bits = r.RL();
      if (bits > totalBits) return out.status = Acad::eDwgObjectImproperlyRead;
      handleStart = bits;
    }
    numReactors = uint32_t(r.BL());
    if (v >= Version::R2004) xdicMissing = r.B();
    out.layout.afterXdicFlag = r.positionBits();
    if (v >= Version::R2013) r.B();
  }
  out.layout.ownData = r.positionBits();
  out.layout.handleStart = handleStart;
  out.layout.end = totalBits;
  if (r.error() || handleStart > totalBits || numReactors > (totalBits - std::min(handleStart, totalBits)) / 8)
    return out.status = Acad::eDwgObjectImproperlyRead;

  // The three streams.
  ObjectStreams s;
  s.data = BitReader(record, v);
  s.data.setPositionBits(r.positionBits());
  s.data.limitBits(handleStart);
  s.handles = BitReader(record, v);
  s.handles.setPositionBits(handleStart);
  if (v >= Version::R2007) {
    s.separateStrings = true;
    if (!locateStringStream(s.data, 0, handleStart, s.strings)) {
      setError(out, Acad::eDwgObjectImproperlyRead);
      s.strings = BitReader(record.data(), 0, v);
    }
  }
  if (s.data.error()) return out.status = Acad::eDwgObjectImproperlyRead;

  // The body is gathered in a buffer kept from record to record and handed over at its exact
  // size when the record is done: grown step by step in the record's own vector it would end
  // with much unused room, which over a large drawing is many megabytes of fresh pages.
  thread_local Tags gathered;
  gathered.clear();
  Tags& body = gathered;
  auto handOver = [&] {
    out.body.assign(std::make_move_iterator(body.begin()), std::make_move_iterator(body.end()));
    body.clear();
    if (body.capacity() > 4096) Tags().swap(body);  // after an unusually large record
  };

  // Common handles.
  ObjectReader io(s, v, out.handle, ctx.codePage, body);
  Handle layer = 0, ltype = 0, material = 0, plotstyle = 0;
  if (!entity || out.entmode == 0) out.owner = io.H(0, HandleKind::SoftPointer);
  for (uint32_t i = 0; i < numReactors && !s.handles.error(); ++i)
    out.reactors.push_back(io.H(0, HandleKind::SoftPointer));
  if (!xdicMissing) out.xdict = io.H(0, HandleKind::HardOwner);
  if (entity) {
    if (v <= Version::R14) {
      layer = io.H(0, HandleKind::HardPointer);
      if (!byLayerLt) ltype = io.H(0, HandleKind::HardPointer);
    }
    if (v <= Version::R2000 && !noLinks) {
      io.links().prev = io.H(0, HandleKind::SoftPointer);
      io.links().next = io.H(0, HandleKind::SoftPointer);
    } else if (v <= Version::R2000) {
      // Without stored links the neighbours are the handles next to this one.
      io.links().prev = out.handle - 1;
      io.links().next = out.handle + 1;
    }
    if (colorBook) io.H(0, HandleKind::HardPointer);
    if (v >= Version::R2000) {
      layer = io.H(0, HandleKind::HardPointer);
      if (ltFlags == 3) ltype = io.H(0, HandleKind::HardPointer);
    }
    if (v >= Version::R2007 && matFlags == 3) material = io.H(0, HandleKind::HardPointer);
    if (v >= Version::R2007 && shadowFlags == 3) io.H(0, HandleKind::HardPointer);
    if (v >= Version::R2000 && psFlags == 3) plotstyle = io.H(0, HandleKind::HardPointer);
    if (v >= Version::R2010) {
      if (fullVs) io.H(0, HandleKind::HardPointer);
      if (faceVs) io.H(0, HandleKind::HardPointer);
      if (edgeVs) io.H(0, HandleKind::HardPointer);
    }
    // The entity part of the body, in DXF's order.
    io.marker("AcDbEntity");
    if (out.entmode == 1) io.implied(Tag::integer(67, 1));
    io.implied(Tag::handle(8, layer));
    if (ltFlags == 1) io.implied(Tag::str(6, "ByBlock"));
    else if (ltFlags == 2) io.implied(Tag::str(6, "Continuous"));
    else if (ltFlags == 3) io.implied(Tag::handle(6, ltype));
    if (material) io.implied(Tag::handle(347, material));
    if (colorIndex != 256) io.implied(Tag::integer(62, colorIndex));
    if (hasRgb && (rgb >> 24) == 0xC2) io.implied(Tag::integer(420, int64_t(rgb & 0xFFFFFF)));
    if (!colorName.empty()) io.implied(Tag::str(430, colorName));
    if (hasAlpha && (alpha >> 24) == 3) io.implied(Tag::integer(440, int64_t(alpha)));
    if (lineweight != 29) io.implied(Tag::integer(370, lineweightFromIndex(lineweight)));
    if (ltScale != 1.0) io.implied(Tag::real(48, ltScale));
    if (invisible & 1) io.implied(Tag::integer(60, 1));
    if (plotstyle) io.implied(Tag::handle(390, plotstyle));
    if (shadowFlags) io.implied(Tag::integer(284, shadowFlags));
  }

  // Table entries: the name and the xref flags, before the type's own part.
  int entryFlags = 0;
  if (out.kind == RecordKind::TableEntry) {
    io.marker("AcDbSymbolTableRecord");
    io.marker(desc->marker);
    io.T(2);
    if (io.B(0)) entryFlags |= 64;
    if (v >= Version::R2007) {
      // From R2007 the xref index is only stored for xref-dependent entries.
      if (io.B(0)) {
        entryFlags |= 16;
        io.BS(0);  // xref index + 1
      }
    } else {
      io.BS(0);  // xref index + 1
      if (io.B(0)) entryFlags |= 16;
    }
    io.H(0, HandleKind::HardPointer);  // the xref block
  }
  out.layout.ownHandles = s.handles.positionBits();
  if (io.failed()) {
    handOver();
    out.raw.assign(record.begin(), record.end());
    return out.status = Acad::eDwgObjectImproperlyRead;
  }
  const size_t commonTags = body.size();

  // The type's own part.
  if (desc && desc->read) {
    desc->read(io);
    out.decoded = !io.failed();
  }
  if (!out.decoded) {
    body.resize(commonTags);
    out.raw.assign(record.begin(), record.end());
  } else {
    groupPoints(body);
    anglesToDegrees(out.dxfName, body);
    if (out.dxfName == "DIMENSION") dimensionCommonGroups(body);
    out.side = std::move(io.side());
    if (entryFlags) {
      for (auto& t : body)
        if (t.code == 70) {
          t.i |= entryFlags;
          entryFlags = 0;
          break;
        }
      if (entryFlags && out.side.size() && out.side[0].code == 70) out.side[0].i |= entryFlags;
    }
  }
  // Links read before a description failed may be garbage: only a decoded record links others.
  if (out.decoded) out.links = std::move(io.links());
  if (!preview.empty() && out.decoded) {
    // Entities carry their proxy graphics as 92 (size) and 310 chunks.
    body.push_back(Tag::integer(92, int64_t(preview.size())));
    for (size_t pos = 0; pos < preview.size(); pos += 127) {
      Tag t;
      t.code = 310;
      t.kind = ValueKind::Binary;
      t.s = preview.substr(pos, 127);
      body.push_back(std::move(t));
    }
  }
  handOver();
  return out.status;
}

}  // namespace kel::dwg

// The surface family of types (see families.h): procedural surfaces and the live section object.
// The descriptions are in types_surface.h; the preparation steps below supply what DXF spells
// differently.
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/dwg/families.h"
#include "engine/dwg/types_surface.h"

namespace kel::dwg {

namespace {

using namespace types;
using K = RecordKind;
using engine::ValueKind;

Tags partTags(const Tags& b, const char* marker) {
  const auto [from, to] = subclassRange(b, marker);
  return Tags(b.begin() + std::ptrdiff_t(from), b.begin() + std::ptrdiff_t(to));
}

Handle handleOf(const Tag& t) {
  if (t.kind == ValueKind::String) return Handle(std::strtoull(t.s.c_str(), nullptr, 16));
  return Handle(t.i);
}

// The modeler data of a surface from the 1/3 lines of its AcDbModelerGeometry part, then no
// wireframe, the closing flag and (R2013+) an empty revision stamp.
void prepSurfaceGeometry(const PrepInput& in, ObjectWriter& w) {
  pushModelerData(partTags(in.body, "AcDbModelerGeometry"), w);
  w.pushInt(0);  // no wireframe
  w.pushInt(1);  // the closing flag
  if (w.since(Version::R2013))
    for (int i = 0; i < 13; ++i) w.pushInt(0);  // no revision stamp
}

// What the lofted, revolved and swept surfaces store after the modeler data and DXF does not
// give: the data's format version, always 1 (the text form this writer stores), and a class
// version of 0 for the two that have one.
constexpr int64_t kModelerFormat = 1, kClassVersion = 0;

void prepLOFTEDSURFACE(const PrepInput& in, ObjectWriter& w) {
  prepSurfaceGeometry(in, w);
  w.pushInt(kModelerFormat);
  w.pushInt(0);  // cross sections and guide curves: DXF embeds them, it does not refer to any
  w.pushInt(0);
}

// The revolved entity's type is the first 90 of the part; its embedded data is not stored.
void prepREVOLVEDSURFACE(const PrepInput& in, ObjectWriter& w) {
  prepSurfaceGeometry(in, w);
  w.pushInt(kModelerFormat);
  w.pushInt(kClassVersion);
  w.pushInt(intOf(partTags(in.body, "AcDbRevolvedSurface"), 90));
}

// The swept surface's two embedded entities from its part: the profile opens with its type on
// 90, the path with its type on 91; each continues with its size on 90 and its data on the 310
// groups that follow. The size written is the byte count of the data present.
void prepSWEPTSURFACE(const PrepInput& in, ObjectWriter& w) {
  struct Embedded {
    int64_t type = 0;
    bool sized = false;
    std::string data;
  } entity[2];
  int at = -1;
  for (const Tag& t : partTags(in.body, "AcDbSweptSurface")) {
    if ((t.code == 90 && at < 0) || (t.code == 91 && at < 1)) {
      at = t.code == 90 ? 0 : 1;
      entity[at].type = engine::asInt(t);
    } else if (t.code == 90 && at >= 0 && !entity[at].sized) {
      entity[at].sized = true;
    } else if (t.code == 310 && at >= 0 && entity[at].sized) {
      entity[at].data += t.s;
    }
  }
  prepSurfaceGeometry(in, w);
  w.pushInt(kModelerFormat);
  w.pushInt(kClassVersion);
  for (const Embedded& e : entity) {
    w.pushInt(e.type);
    w.pushInt(int64_t(e.data.size()));
    w.pushText(e.data);
  }
}

void prepSECTIONOBJECT(const PrepInput& in, ObjectWriter& w) {
  const Tags part = partTags(in.body, "AcDbSection");
  w.pushInt(int64_t(countOf(part, 11)));
  w.pushInt(int64_t(countOf(part, 12)));
}

void prepSECTION_MANAGER(const PrepInput& in, ObjectWriter& w) {
  const Tags part = partTags(in.body, "AcDbSectionManager");
  w.pushInt(int64_t(countOf(part, 330)));
  for (const Tag& t : part)
    if (t.code == 330) w.pushHandle(handleOf(t));
}

// The settings record read in order: its two leading values, then per section type (opened by
// "SectionTypeSettings" on group 1) its values, sources and destination, and per geometry entry
// (opened by "SectionGeometrySettings" on group 2, closed by the end marker on group 3) sixteen
// values in stored order. Counts are those of the entries present; missing values take the
// format's defaults, a missing hatch pattern the solid fill.
struct SectionGeometry {
  int64_t i90 = 0, i91 = 0, i92 = 0, color = 7, lineweight = -1, i70 = 0, i71 = 0, i72 = 0;
  std::string layer = "0", linetype = "ByLayer", plotStyle = "ByColor", pattern = "SOLID";
  double ltScale = 1, angle = 0, spacing = 1, scale = 1;
};
struct SectionType {
  int64_t type = 0, generation = 0;
  std::vector<Handle> sources;
  Handle destBlock = 0;
  std::string destFile;
  std::vector<SectionGeometry> geoms;
};

void prepSECTION_SETTINGS(const PrepInput& in, ObjectWriter& w) {
  const Tags part = partTags(in.body, "AcDbSectionSettings");
  int64_t current = 0;
  std::vector<SectionType> types;
  SectionGeometry* g = nullptr;
  bool head = true;
  for (const Tag& t : part) {
    const bool text = t.kind == ValueKind::String;
    if (t.code == 1 && text && t.s == "SectionTypeSettings") {
      types.emplace_back();
      g = nullptr;
      head = false;
      continue;
    }
    if (head) {
      if (t.code == 90) current = engine::asInt(t);
      continue;
    }
    SectionType& ty = types.back();
    if (t.code == 2 && text && t.s == "SectionGeometrySettings") {
      ty.geoms.emplace_back();
      g = &ty.geoms.back();
      continue;
    }
    if (t.code == 3) {  // either end marker
      g = nullptr;
      continue;
    }
    if (!g) {
      switch (t.code) {
        case 90: ty.type = engine::asInt(t); break;
        case 91: ty.generation = engine::asInt(t); break;
        case 330: ty.sources.push_back(handleOf(t)); break;
        case 331: ty.destBlock = handleOf(t); break;
        case 1: ty.destFile = t.s; break;
        default: break;
      }
      continue;
    }
    switch (t.code) {
      case 90: g->i90 = engine::asInt(t); break;
      case 91: g->i91 = engine::asInt(t); break;
      case 92: g->i92 = engine::asInt(t); break;
      case 62: g->color = engine::asInt(t); break;
      case 8: g->layer = t.s; break;
      case 6: g->linetype = t.s; break;
      case 40: g->ltScale = engine::asDouble(t); break;
      case 1: g->plotStyle = t.s; break;
      case 370: g->lineweight = engine::asInt(t); break;
      case 70: g->i70 = engine::asInt(t); break;
      case 71: g->i71 = engine::asInt(t); break;
      case 72: g->i72 = engine::asInt(t); break;
      case 2: g->pattern = t.s; break;
      case 41: g->angle = engine::asDouble(t); break;
      case 42: g->spacing = engine::asDouble(t); break;
      case 43: g->scale = engine::asDouble(t); break;
      default: break;
    }
  }
  w.pushInt(current);
  w.pushInt(int64_t(types.size()));
  for (const SectionType& ty : types) {
    w.pushInt(ty.type);
    w.pushInt(ty.generation);
    w.pushInt(int64_t(ty.sources.size()));
    for (Handle h : ty.sources) w.pushHandle(h);
    w.pushHandle(ty.destBlock);
    w.pushText(ty.destFile);
    w.pushInt(int64_t(ty.geoms.size()));
    for (const SectionGeometry& e : ty.geoms) {
      w.pushInt(e.i90);
      w.pushInt(e.i91);
      w.pushInt(e.i92);
      w.pushInt(e.color);
      w.pushText(e.layer);
      w.pushText(e.linetype);
      w.pushReal(e.ltScale);
      w.pushText(e.plotStyle);
      w.pushInt(e.lineweight);
      w.pushInt(e.i70);
      w.pushInt(e.i71);
      w.pushInt(e.i72);
      w.pushText(e.pattern);
      w.pushReal(e.angle);
      w.pushReal(e.spacing);
      w.pushReal(e.scale);
    }
  }
}

#define KEL_S(name, kind, prep, cpp) \
  FamilyType { 0, #name, #name, kind, &visit##name<ObjectReader>, &visit##name<ObjectWriter>, prep, cpp, {} }

const FamilyType kSurface[] = {
    KEL_S(PLANESURFACE, K::Entity, prepSurfaceGeometry, "AcDbPlaneSurface"),
    KEL_S(EXTRUDEDSURFACE, K::Entity, prepSurfaceGeometry, "AcDbExtrudedSurface"),
    KEL_S(LOFTEDSURFACE, K::Entity, prepLOFTEDSURFACE, "AcDbLoftedSurface"),
    KEL_S(REVOLVEDSURFACE, K::Entity, prepREVOLVEDSURFACE, "AcDbRevolvedSurface"),
    KEL_S(SWEPTSURFACE, K::Entity, prepSWEPTSURFACE, "AcDbSweptSurface"),
    KEL_S(SECTIONOBJECT, K::Entity, prepSECTIONOBJECT, "AcDbSection"),
    KEL_S(SECTION_MANAGER, K::Object, prepSECTION_MANAGER, "AcDbSectionManager"),
    KEL_S(SECTION_SETTINGS, K::Object, prepSECTION_SETTINGS, "AcDbSectionSettings"),
};

#undef KEL_S

}  // namespace

std::span<const FamilyType> surfaceFamily() { return kSurface; }

}  // namespace kel::dwg

// The image family of types (see families.h): raster images, wipeouts and underlays with their
// definition and settings objects, and the small objects most drawings carry. The descriptions
// are in types_image.h; the preparation steps below supply what DXF spells differently.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "engine/dwg/families.h"
#include "engine/dwg/types_image.h"

namespace kel::dwg {

namespace {

using engine::ValueKind;
using K = RecordKind;

// The range of the first of the given subclasses the record names (the whole body when none).
std::pair<size_t, size_t> partOf(const Tags& b, std::initializer_list<const char*> markers) {
  for (const char* m : markers)
    for (const auto& t : b)
      if (t.code == 100 && t.s == m) return subclassRange(b, m);
  return {0, b.size()};
}

Handle handleOf(const Tag& t) {
  if (t.kind == ValueKind::String) return Handle(std::strtoull(t.s.c_str(), nullptr, 16));
  return Handle(t.i);
}

// IMAGE, WIPEOUT: the boundary kind and, for a polygon, its vertices without the closing repeat
// of the first one DXF adds. A record without a kind is taken as a rectangle when it gives two
// corners (or none) and as a polygon otherwise.
void prepRasterImage(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  const auto part = partOf(b, {"AcDbRasterImage", "AcDbWipeout"});
  std::vector<double> xs, ys;
  for (size_t i = part.first; i < part.second; ++i) {
    if (b[i].code == 14) xs.push_back(engine::asDouble(b[i]));
    if (b[i].code == 24) ys.push_back(engine::asDouble(b[i]));
  }
  ys.resize(xs.size(), 0.0);
  const Tag* kindTag = firstIn(b, part, 71);
  const int64_t kind = kindTag ? engine::asInt(*kindTag) : (xs.size() <= 2 ? 1 : 2);
  w.pushInt(kind);
  if (kind == 1) return;
  if (xs.size() >= 2 && xs.front() == xs.back() && ys.front() == ys.back()) {
    xs.pop_back();
    ys.pop_back();
  }
  w.pushInt(int64_t(xs.size()));
  for (size_t i = 0; i < xs.size(); ++i) {
    w.pushReal(xs[i]);
    w.pushReal(ys[i]);
  }
}

void prepIMAGEDEF(const PrepInput& in, ObjectWriter& w) {
  const auto part = partOf(in.body, {"AcDbRasterImageDef"});
  w.pushReal(realIn(in.body, part, 10, 0));
  w.pushReal(realIn(in.body, part, 20, 0));
  const Tag* loaded = firstIn(in.body, part, 280);
  w.pushInt(loaded ? engine::asInt(*loaded) != 0 : 1);  // a definition names a loaded image unless told
  const Tag* units = firstIn(in.body, part, 281);
  w.pushInt(units ? engine::asInt(*units) : 0);
}

// The sort handles (data stream) and then the entities (handle stream) of the pairs; an entity
// without a sort handle sorts as itself.
void prepSORTENTSTABLE(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  const auto part = partOf(b, {"AcDbSortentsTable"});
  std::vector<Handle> entities, sort;
  for (size_t i = part.first; i < part.second; ++i) {
    if (b[i].code != 331) continue;
    const bool paired = i + 1 < part.second && b[i + 1].code == 5;
    entities.push_back(handleOf(b[i]));
    sort.push_back(handleOf(paired ? b[i + 1] : b[i]));
  }
  w.pushInt(int64_t(sort.size()));
  for (Handle h : sort) w.pushHandle(h);
  for (Handle h : entities) w.pushHandle(h);
}

// The colour word (top byte: 0xC0 by layer, 0xC1 by block, 0xC2 true colour, 0xC3 index), the
// name flags and the names ("book$name" in DXF).
void prepDBCOLOR(const PrepInput& in, ObjectWriter& w) {
  const auto part = partOf(in.body, {"AcDbColor"});
  const Tag* index = firstIn(in.body, part, 62);
  const Tag* rgb = firstIn(in.body, part, 420);
  const int64_t i = index ? engine::asInt(*index) : 256;
  w.pushInt(index ? i : 0);
  uint32_t word = 0;
  if (rgb) word = 0xC2000000u | uint32_t(engine::asInt(*rgb) & 0xFFFFFF);
  else if (i == 256) word = 0xC0000000u;
  else if (i == 0) word = 0xC1000000u;
  else word = 0xC3000000u | uint32_t(std::abs(i) & 0xFF);
  w.pushInt(int64_t(word));
  const Tag* full = firstIn(in.body, part, 430);
  std::string name = full ? full->s : std::string(), book;
  if (size_t at = name.find('$'); at != std::string::npos) {
    book = name.substr(0, at);
    name = name.substr(at + 1);
  }
  w.pushInt((name.empty() ? 0 : 1) | (book.empty() ? 0 : 2));
  if (!name.empty()) w.pushText(name);
  if (!book.empty()) w.pushText(book);
}

void prepSPATIAL_FILTER(const PrepInput& in, ObjectWriter& w) {
  w.pushInt(int64_t(countIn(in.body, partOf(in.body, {"AcDbSpatialFilter"}), 10)));
}

void prepIDBUFFER(const PrepInput& in, ObjectWriter& w) {
  w.pushInt(0);
  w.pushInt(int64_t(countIn(in.body, partOf(in.body, {"AcDbIdBuffer"}), 330)));
}

void pushJulian(ObjectWriter& w, double date) {
  if (!(date >= 0 && date < 4294967295.0)) date = 0;
  double day = std::floor(date);
  double ms = std::round((date - day) * 86400000.0);
  if (ms >= 86400000.0) {
    day += 1;
    ms = 0;
  }
  w.pushInt(int64_t(day));
  w.pushInt(int64_t(ms));
}

void prepLAYER_INDEX(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  pushJulian(w, realIn(b, partOf(b, {"AcDbIndex"}), 40, 0));
  const auto part = partOf(b, {"AcDbLayerIndex"});
  // Each entry: 8 name, 360 buffer, 90 count; the count may be missing.
  std::vector<int64_t> counts;
  for (size_t i = part.first; i < part.second; ++i) {
    if (b[i].code == 8) counts.push_back(0);
    else if (b[i].code == 90 && !counts.empty()) counts.back() = engine::asInt(b[i]);
  }
  w.pushInt(int64_t(counts.size()));
  for (int64_t c : counts) w.pushInt(c);
}

// PDF, DWF and DGN underlays: what the record stores that DXF spells differently. The normal
// comes as 210/220/230 (default: the z axis), the rotation in degrees, each scale factor alone
// (default 1); a missing contrast is the full 100. Clip vertices are counted in the underlay's
// own part so points of other parts are never taken for them.
void prepUnderlay(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  const auto part = partOf(b, {"AcDbUnderlayReference"});
  w.pushReal(realIn(b, part, 210, 0));
  w.pushReal(realIn(b, part, 220, 0));
  w.pushReal(realIn(b, part, 230, 1));
  w.pushReal(realIn(b, part, 50, 0) * 3.14159265358979323846 / 180.0);
  w.pushReal(realIn(b, part, 41, 1));
  w.pushReal(realIn(b, part, 42, 1));
  w.pushReal(realIn(b, part, 43, 1));
  const Tag* contrast = firstIn(b, part, 281);
  w.pushInt(contrast ? std::clamp<int64_t>(engine::asInt(*contrast), 0, 255) : 100);
  w.pushInt(int64_t(countIn(b, part, 11)));
  // The boundary once more, for the second list an inverted clip gets (see visitUnderlay).
  std::vector<double> xs, ys;
  for (size_t i = part.first; i < part.second; ++i) {
    if (b[i].code == 11) xs.push_back(engine::asDouble(b[i]));
    if (b[i].code == 21) ys.push_back(engine::asDouble(b[i]));
  }
  ys.resize(xs.size(), 0.0);
  w.pushInt(int64_t(xs.size()));
  for (size_t i = 0; i < xs.size(); ++i) {
    w.pushReal(xs[i]);
    w.pushReal(ys[i]);
  }
}

#define KEL_IMAGE_TYPE(name, dxf, kind, prep, cpp) \
  {0, #name, dxf, kind, &types::visit##name<ObjectReader>, &types::visit##name<ObjectWriter>, prep, cpp, {}}

const FamilyType kImageFamily[] = {
    KEL_IMAGE_TYPE(IMAGE, "IMAGE", K::Entity, prepRasterImage, "AcDbRasterImage"),
    KEL_IMAGE_TYPE(WIPEOUT, "WIPEOUT", K::Entity, prepRasterImage, "AcDbWipeout"),
    KEL_IMAGE_TYPE(IMAGEDEF, "IMAGEDEF", K::Object, prepIMAGEDEF, "AcDbRasterImageDef"),
    KEL_IMAGE_TYPE(IMAGEDEF_REACTOR, "IMAGEDEF_REACTOR", K::Object, nullptr, "AcDbRasterImageDefReactor"),
    KEL_IMAGE_TYPE(RASTERVARIABLES, "RASTERVARIABLES", K::Object, nullptr, "AcDbRasterVariables"),
    KEL_IMAGE_TYPE(WIPEOUTVARIABLES, "WIPEOUTVARIABLES", K::Object, nullptr, "AcDbWipeoutVariables"),
    KEL_IMAGE_TYPE(SCALE, "SCALE", K::Object, nullptr, "AcDbScale"),
    KEL_IMAGE_TYPE(SORTENTSTABLE, "SORTENTSTABLE", K::Object, prepSORTENTSTABLE, "AcDbSortentsTable"),
    KEL_IMAGE_TYPE(DBCOLOR, "DBCOLOR", K::Object, prepDBCOLOR, "AcDbColor"),
    KEL_IMAGE_TYPE(SPATIAL_FILTER, "SPATIAL_FILTER", K::Object, prepSPATIAL_FILTER, "AcDbSpatialFilter"),
    KEL_IMAGE_TYPE(IDBUFFER, "IDBUFFER", K::Object, prepIDBUFFER, "AcDbIdBuffer"),
    KEL_IMAGE_TYPE(LAYER_INDEX, "LAYER_INDEX", K::Object, prepLAYER_INDEX, "AcDbLayerIndex"),
    KEL_IMAGE_TYPE(PDFUNDERLAY, "PDFUNDERLAY", K::Entity, prepUnderlay, "AcDbPdfReference"),
    KEL_IMAGE_TYPE(DWFUNDERLAY, "DWFUNDERLAY", K::Entity, prepUnderlay, "AcDbDwfReference"),
    KEL_IMAGE_TYPE(DGNUNDERLAY, "DGNUNDERLAY", K::Entity, prepUnderlay, "AcDbDgnReference"),
    {0, "PDFDEFINITION", "PDFDEFINITION", K::Object, &types::visitUnderlayDefinition<ObjectReader>,
     &types::visitUnderlayDefinition<ObjectWriter>, nullptr, "AcDbPdfDefinition", {}},
    {0, "DWFDEFINITION", "DWFDEFINITION", K::Object, &types::visitUnderlayDefinition<ObjectReader>,
     &types::visitUnderlayDefinition<ObjectWriter>, nullptr, "AcDbDwfDefinition", {}},
    {0, "DGNDEFINITION", "DGNDEFINITION", K::Object, &types::visitUnderlayDefinition<ObjectReader>,
     &types::visitUnderlayDefinition<ObjectWriter>, nullptr, "AcDbDgnDefinition", {}},
};

#undef KEL_IMAGE_TYPE

}  // namespace

std::span<const FamilyType> imageFamily() { return kImageFamily; }

}  // namespace kel::dwg

// Surfaces and live sections in DWG: the section objects of a corpus drawing decode and agree
// with the DXF the same drawing was saved as; surfaces and sections read from DXF survive
// writing and reading back with their values.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/dwg/read_dwg.h"
#include "engine/dwg/write_dwg.h"
#include "engine/io.h"
#include "engine/model/drawing.h"
#include "platform/utf.h"
#include "tests/engine/dwg_family_test_util.h"

using namespace kel::dwg;
using kel::engine::Drawing;
using kel::engine::Handle;
using kel::engine::Object;
namespace fs = std::filesystem;
using namespace kel::test;

namespace {

const fs::path kCorpus = fs::path(KEL_SHARED_DIR) / "corpus";

bool readDxfFile(Drawing& d, const fs::path& p) {
  const std::u16string in = plat::fromUtf8(p.string());
  return kel::engine::readDxf(d, in.c_str(), nullptr) == Acad::eOk;
}

// The DXF drawing written as DWG and read back; the write must not leave out `types`.
bool roundTrip(Drawing& src, Drawing& back, const std::vector<std::string>& types) {
  std::vector<uint8_t> file;
  DwgWriteInfo wi;
  if (writeDwgBytes(src, file, &wi) != Acad::eOk) return false;
  for (const auto& t : types) EXPECT_EQ(wi.skippedTypes.count(t), 0u) << t;
  DwgReadInfo ri;
  if (readDwgBytes(back, file, &ri) != Acad::eOk) return false;
  for (const auto& t : types) EXPECT_EQ(ri.rawTypes.count(t), 0u) << t << " kept raw on reading back";
  return true;
}

std::vector<std::string> texts(const Object& o, int code) {
  std::vector<std::string> v;
  for (const auto& t : o.body)
    if (t.code == code) v.push_back(t.s);
  return v;
}

// Every tag of one subclass part, as (code, text or number) for comparing two records.
std::vector<std::pair<int, std::string>> part(const Object& o, const char* marker) {
  std::vector<std::pair<int, std::string>> v;
  bool on = false;
  for (const auto& t : o.body) {
    if (t.code == 100) on = t.s == marker;
    else if (on && t.code != 92 && t.code != 310)  // entity graphics may follow the own part
      v.emplace_back(t.code, t.kind == kel::engine::ValueKind::String ? t.s : std::to_string(kel::engine::asDouble(t)));
  }
  return v;
}

// Two records' parts agree tag by tag; handles only by code (their spelling differs by source).
void expectSamePart(const Object& got, const Object& want, const char* marker) {
  const auto g = part(got, marker), w = part(want, marker);
  ASSERT_EQ(g.size(), w.size()) << marker;
  for (size_t i = 0; i < g.size(); ++i) {
    EXPECT_EQ(g[i].first, w[i].first) << marker << " #" << i;
    if (g[i].first < 330 || g[i].first > 369) {
      EXPECT_EQ(g[i].second, w[i].second) << marker << " code " << g[i].first;
    }
  }
}

const std::pair<const char*, const char*> kSectionTypes[] = {
    {"SECTIONOBJECT", "AcDbSection"}, {"SECTION_SETTINGS", "AcDbSectionSettings"}, {"SECTION_MANAGER", "AcDbSectionManager"}};

// The section records of `got` agree with those of `want`, and link up: the plane names its
// settings, the manager lists the plane.
void expectSameSections(const Drawing& got, const Drawing& want) {
  for (const auto& [type, marker] : kSectionTypes) {
    auto g = ofType(got, type), w = ofType(want, type);
    ASSERT_EQ(g.size(), 1u) << type;
    ASSERT_EQ(w.size(), 1u) << type;
    expectSamePart(*g[0], *w[0], marker);
  }
  const Object& plane = *ofType(got, "SECTIONOBJECT")[0];
  EXPECT_EQ(Handle(plane.find(360)->i), ofType(got, "SECTION_SETTINGS")[0]->handle);
  std::vector<Handle> listed;
  bool inManager = false;
  for (const auto& t : ofType(got, "SECTION_MANAGER")[0]->body) {
    if (t.code == 100) inManager = t.s == "AcDbSectionManager";
    else if (inManager && t.code == 330) listed.push_back(Handle(t.i));
  }
  EXPECT_EQ(listed, std::vector<Handle>{plane.handle});
}

}  // namespace

// The live section drawing saved by the reference application as R2018 DWG and as DXF: the
// section plane, its settings and the manager decode with the DXF's values (a field read at the
// wrong place would shift everything after it).
TEST(DwgFamilySurface, CorpusSectionDecodesAsItsDxf) {
  const fs::path dwg = kCorpus / "dwg" / "libredwg_2018_LiveSection1.dwg";
  if (!fs::exists(dwg)) GTEST_SKIP() << "no corpus";
  Drawing d, ref;
  DwgReadInfo info;
  ASSERT_EQ(readDwgBytes(d, load(dwg), &info), Acad::eOk);
  for (const auto& [type, marker] : kSectionTypes) EXPECT_EQ(info.rawTypes.count(type), 0u) << type;
  ASSERT_TRUE(readDxfFile(ref, kCorpus / "dxf-ref" / "libredwg_2018_LiveSection1.dxf"));
  expectSameSections(d, ref);
  EXPECT_EQ(ofType(d, "SECTIONOBJECT")[0]->text(1), "Section Plane (1)");
  EXPECT_EQ(texts(*ofType(d, "SECTION_SETTINGS")[0], 8), (std::vector<std::string>{"Defpoints", "0", "*_BackgroundLines", "0"}));
}

// The section drawing read from DXF, written and read back: plane, settings (with the marker
// texts on groups 1-3 that the same groups also use for values) and manager keep every value
// and their links.
TEST(DwgFamilySurface, SectionRoundTripKeepsValues) {
  const fs::path dxf = kCorpus / "dxf-ref" / "libredwg_2018_LiveSection1.dxf";
  if (!fs::exists(dxf)) GTEST_SKIP() << "no corpus";
  Drawing src, back;
  ASSERT_TRUE(readDxfFile(src, dxf));
  ASSERT_TRUE(roundTrip(src, back, {"SECTIONOBJECT", "SECTION_MANAGER", "SECTION_SETTINGS"}));
  expectSameSections(back, src);
}

// The binary groups (310) of one subclass part, joined.
static std::string binary(const Object& o, const char* marker) {
  std::string v;
  bool on = false;
  for (const auto& t : o.body) {
    if (t.code == 100) on = t.s == marker;
    else if (on && t.code == 92) break;  // the entity graphics
    else if (on && t.code == 310) v += t.s;
  }
  return v;
}

// The procedural surfaces read from DXF, written and read back: the modeler data (text form)
// unchanged, the isolines, and each type's own values but those its record has no place for
// (the entities DXF embeds in extruded, lofted and revolved surfaces, the two transforms a swept
// surface gives ahead of its options); the swept surface's embedded profile and path come back
// byte for byte. The corpus DWG of the same drawing stores its modeler data in the binary form
// inline, which has no length to skip it by: those records stay as read.
TEST(DwgFamilySurface, SurfaceRoundTripKeepsValues) {
  const fs::path dxf = kCorpus / "dxf-ref" / "libredwg_2004_Surface.dxf";
  if (!fs::exists(dxf)) GTEST_SKIP() << "no corpus";
  struct Kind {
    const char* type;
    const char* marker;
    std::set<int> dropped;
  };
  const Kind kinds[] = {{"PLANESURFACE", "AcDbPlaneSurface", {}},
                        {"EXTRUDEDSURFACE", "AcDbExtrudedSurface", {90}},
                        {"LOFTEDSURFACE", "AcDbLoftedSurface", {90}},
                        {"REVOLVEDSURFACE", "AcDbRevolvedSurface", {90}},
                        {"SWEPTSURFACE", "AcDbSweptSurface", {40, 41}}};
  Drawing src, back;
  ASSERT_TRUE(readDxfFile(src, dxf));
  std::vector<std::string> types;
  for (const Kind& k : kinds) types.push_back(k.type);
  ASSERT_TRUE(roundTrip(src, back, types));
  for (const Kind& k : kinds) {
    SCOPED_TRACE(k.type);
    auto a = ofType(src, k.type), b = ofType(back, k.type);
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(texts(*b[0], 1), texts(*a[0], 1));
    EXPECT_EQ(texts(*b[0], 3), texts(*a[0], 3));
    EXPECT_FALSE(texts(*b[0], 1).empty());
    EXPECT_EQ(part(*b[0], "AcDbSurface"), part(*a[0], "AcDbSurface"));
    // The type's own part, in DXF's order or the file's.
    const auto want = part(*a[0], k.marker), got = part(*b[0], k.marker);
    std::multiset<std::pair<int, std::string>> w, g(got.begin(), got.end());
    for (const auto& t : want)
      if (!k.dropped.count(t.first)) w.insert(t);
    for (const auto& t : w)
      if (!g.count(t)) ADD_FAILURE() << "missing " << t.first << " " << t.second;
    for (const auto& t : g)
      if (!w.count(t)) ADD_FAILURE() << "extra " << t.first << " " << t.second;
  }
  EXPECT_EQ(ofType(back, "EXTRUDEDSURFACE")[0]->real(30), 200.0);
  const Object& swept = *ofType(back, "SWEPTSURFACE")[0];
  const std::string data = binary(swept, "AcDbSweptSurface");
  EXPECT_EQ(data.size(), 135u + 44u);
  EXPECT_TRUE(data == binary(*ofType(src, "SWEPTSURFACE")[0], "AcDbSweptSurface"));

  Drawing corpus;
  DwgReadInfo info;
  ASSERT_EQ(readDwgBytes(corpus, load(kCorpus / "dwg" / "libredwg_2004_Surface.dwg"), &info), Acad::eOk);
  for (const char* type : {"PLANESURFACE", "LOFTEDSURFACE", "REVOLVEDSURFACE", "SWEPTSURFACE"})
    EXPECT_EQ(info.rawTypes.count(type), 1u) << type;
}

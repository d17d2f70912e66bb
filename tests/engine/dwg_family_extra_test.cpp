// R2018 multiline texts, R13/R14 dimension styles, arc-length and jogged radius dimensions and
// modeler-geometry entities in DWG: corpus records decode and agree with the same drawing in
// another release or as DXF; a drawing holding the new types survives writing and reading.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tests/engine/dwg_family_test_util.h"
#include "engine/dwg/read_dwg.h"
#include "engine/dwg/write_dwg.h"
#include "engine/dxf/dxf.h"
#include "engine/model/structure.h"

using namespace kel::dwg;
using kel::engine::Drawing;
using kel::engine::Object;
using kel::engine::Tag;
namespace fs = std::filesystem;

namespace {

using namespace kel::test;

const fs::path kCorpus = fs::path(KEL_SHARED_DIR) / "corpus";

bool readFile(const fs::path& p, Drawing& d, DwgReadInfo* info = nullptr) {
  std::ifstream f(p, std::ios::binary);
  std::string s((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (s.empty()) return false;
  if (p.extension() == ".dxf") return kel::engine::dxf::readDxfData(d, s, nullptr) == Acad::eOk;
  return readDwgBytes(d, std::vector<uint8_t>(s.begin(), s.end()), info) == Acad::eOk;
}

// The modeler data as one text: each 1 line continued by its 3 groups. Without the second line
// (product and save date) when `stable`.
std::string satText(const Object& o, bool stable = false) {
  std::string s;
  for (const auto& t : o.body) {
    if (t.code == 1) s += (s.empty() ? "" : "\n") + t.s;
    if (t.code == 3) s += t.s;
  }
  size_t second = s.find('\n'), third = s.find('\n', second + 1);
  return stable && third != std::string::npos ? s.substr(0, second) + s.substr(third) : s;
}

// A value of the subclass `marker` (NaN when absent).
double inPart(const Object& o, const char* marker, int code) {
  bool in = false;
  for (const auto& t : o.body) {
    if (t.code == 100) in = t.s == marker;
    if (in && t.code == code) return kel::engine::asDouble(t);
  }
  return std::nan("");
}

}  // namespace

// Nothing of these types is kept raw, except binary-form solids of R2004-R2010 files (their data
// has no length in the record).
TEST(DwgFamilyExtra, CorpusRecordsDecode) {
  const CorpusCensus& census = dwgCorpusCensus();
  if (!census.present) GTEST_SKIP() << "no corpus";
  size_t decoded = 0;
  for (std::string t : {"MTEXT", "DIMSTYLE", "ARC_DIMENSION", "3DSOLID", "REGION", "MESH"}) {
    if (census.raw.count(t))
      for (const auto& r : census.raw.at(t)) {
        const bool binarySolids = r.version >= Version::R2004 && r.version <= Version::R2010;
        if (!(binarySolids && (t == "3DSOLID" || t == "REGION"))) ADD_FAILURE() << r.file << ": " << r.n << " " << t << " kept raw";
      }
    decoded += t == "DIMSTYLE" ? 0 : census.decodedOf(t);
  }
  EXPECT_GT(decoded, 300u);
}

// The same drawing in two forms gives the same values: R2018 texts against R2013 (the column part
// read at the wrong place shifts every text after it), R14 dimension styles against R2000 (with
// the values R2000 spells differently), text-form solids and an arc dimension against DXF.
TEST(DwgFamilyExtra, CorpusValuesMatchOtherForms) {
  Drawing d13, d18, d14, d15, x15, dArc, xArc;
  if (!readFile(kCorpus / "dwg/acadsharp_sample_AC1027.dwg", d13)) GTEST_SKIP() << "no corpus";
  ASSERT_TRUE(readFile(kCorpus / "dwg/acadsharp_sample_AC1032.dwg", d18));
  std::multiset<std::string> t13, t18;
  for (auto* m : ofType(d13, "MTEXT")) t13.insert(m->text(1) + "|" + std::to_string(std::lround(m->real(10) * 1e3)));
  for (auto* m : ofType(d18, "MTEXT")) t18.insert(m->text(1) + "|" + std::to_string(std::lround(m->real(10) * 1e3)));
  EXPECT_FALSE(t18.empty());
  EXPECT_TRUE(t13 == t18);

  ASSERT_TRUE(readFile(kCorpus / "dwg/acadsharp_sample_AC1014.dwg", d14));
  ASSERT_TRUE(readFile(kCorpus / "dwg/acadsharp_sample_AC1015.dwg", d15));
  size_t compared = 0;
  for (const Object& a : d14.table("DIMSTYLE")->entries)
    for (const Object& b : d15.table("DIMSTYLE")->entries) {
      if (a.text(2) != b.text(2)) continue;
      SCOPED_TRACE(a.text(2));
      ++compared;
      for (int c : {40, 41, 42, 44, 140, 141, 147}) EXPECT_NEAR(a.real(c), b.real(c), 1e-9) << c;
      for (int c : {71, 73, 74, 77, 78, 172, 176, 271, 272, 276, 277, 279, 289}) EXPECT_EQ(a.integer(c), b.integer(c)) << c;
    }
  EXPECT_GE(compared, 1u);

  ASSERT_TRUE(readFile(kCorpus / "dxf/acadsharp_sample_AC1015_ascii.dxf", x15));
  for (const char* t : {"3DSOLID", "REGION"}) {
    std::multiset<std::string> a, b;
    for (auto* o : ofType(d15, t)) a.insert(satText(*o, true));
    for (auto* o : ofType(x15, t)) b.insert(satText(*o, true));
    ASSERT_FALSE(a.empty()) << t;
    EXPECT_GT(a.begin()->size(), 1000u) << t;
    EXPECT_TRUE(a == b) << t;
  }

  // Meshes: the face and edge indices in order, the vertex and crease counts, the vertices' sum.
  auto mesh = [](const Drawing& d) {
    std::multiset<std::vector<long>> out;
    for (auto* o : ofType(d, "MESH")) {
      std::vector<long> v(3, 0);
      double sum = 0;
      bool in = false;
      for (const auto& t : o->body) {
        if (t.code == 100) in = t.s == "AcDbSubDMesh";
        if (!in) continue;
        if (t.code == 90 || t.code == 93 || t.code == 94) v.push_back(long(t.i));
        if (t.code == 10) ++v[0], sum += t.d;
        if (t.code == 140) ++v[1];
      }
      v[2] = std::lround(sum * 1e6);
      out.insert(v);
    }
    return out;
  };
  EXPECT_EQ(mesh(d15).size(), 2u);
  EXPECT_TRUE(mesh(d15) == mesh(x15));
  EXPECT_TRUE(mesh(d18) == mesh(x15));

  ASSERT_TRUE(readFile(kCorpus / "dwg/libredwg_example_2000.dwg", dArc));
  ASSERT_TRUE(readFile(kCorpus / "dxf-ref/libredwg_example_2000.dxf", xArc));
  auto a = ofType(dArc, "ARC_DIMENSION"), b = ofType(xArc, "ARC_DIMENSION");
  ASSERT_EQ(a.size(), 1u);
  ASSERT_EQ(b.size(), 1u);
  for (int c : {10, 20, 11, 21, 42}) EXPECT_NEAR(inPart(*a[0], "AcDbDimension", c), b[0]->real(c), 1e-6) << c;
  for (int c : {13, 23, 14, 24, 15, 25, 40, 41, 16, 26, 17, 27})
    EXPECT_NEAR(inPart(*a[0], "AcDbArcDimension", c), inPart(*b[0], "AcDbArcDimension", c), 1e-6) << c;
  EXPECT_EQ(int(inPart(*a[0], "AcDbDimension", 70)) & 0x7F, b[0]->integer(70) & 0x7F);
}

// Written and read back: both dimension kinds (text rotation in degrees on both sides, arc
// parameters in radians, the kind part's own 70/71), a solid whose data has a line longer than a
// DXF line, an empty line and a character above 0x7F, a body, an empty region, a small mesh.
TEST(DwgFamilyExtra, DrawingRoundTripKeepsValues) {
  Drawing d;
  kel::engine::buildDefaultDrawing(d);
  kel::engine::Handle ms = 0;
  for (const Object& r : d.table("BLOCK_RECORD")->entries)
    if (kel::engine::sameName(r.text(2), "*Model_Space")) ms = r.handle;
  auto entity = [&](const std::string& type, std::vector<Tag> own) {
    Object e;
    e.type = type;
    e.handle = d.newHandle();
    e.owner = ms;
    e.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0")};
    e.body.insert(e.body.end(), own.begin(), own.end());
    d.entities.push_back(std::move(e));
  };
  auto dimension = [&](const char* type, int flags, const char* part, std::vector<double> own, int partial) {
    std::vector<Tag> b = {Tag::str(100, "AcDbDimension"), Tag::real(10, 4), Tag::real(20, 5), Tag::real(11, 2),
                          Tag::real(21, 3), Tag::integer(70, flags), Tag::real(42, 7.5), Tag::real(53, 30),
                          Tag::str(3, "Standard"), Tag::str(100, part)};
    for (size_t i = 0; i < own.size(); ++i) b.push_back(Tag::real(13 + int(i), own[i]));
    if (partial >= 0) b.insert(b.end(), {Tag::integer(70, partial), Tag::real(40, 0.25), Tag::real(41, 2.5), Tag::integer(71, 1)});
    else b.push_back(Tag::real(40, 0.75));
    entity(type, b);
  };
  dimension("ARC_DIMENSION", 32 | 5, "AcDbArcDimension", {1, 3, 5, 7, 9}, 1);
  dimension("LARGE_RADIAL_DIMENSION", 128 | 32 | 9, "AcDbRadialDimensionLarge", {11, 13, 15}, -1);
  const std::string longLine(600, 'k');
  entity("3DSOLID", {Tag::str(100, "AcDbModelerGeometry"), Tag::integer(70, 1), Tag::str(1, "koo nnm n o"),
                     Tag::str(1, longLine.substr(0, 255)), Tag::str(3, longLine.substr(255)), Tag::str(1, ""),
                     Tag::str(1, "3*2/ {rn \xC3\xA9 #")});
  entity("BODY", {Tag::str(100, "AcDbModelerGeometry"), Tag::integer(70, 1), Tag::str(1, "koo"), Tag::str(1, "0")});
  entity("REGION", {Tag::str(100, "AcDbModelerGeometry"), Tag::integer(70, 1)});
  std::vector<Tag> mesh = {Tag::str(100, "AcDbSubDMesh"), Tag::integer(71, 2), Tag::integer(72, 0),
                           Tag::integer(91, 0), Tag::integer(92, 3)};
  for (double x : {0.0, 1.0, 0.5}) mesh.insert(mesh.end(), {Tag::real(10, x), Tag::real(20, x * 2), Tag::real(30, 0)});
  mesh.push_back(Tag::integer(93, 4));
  for (int i : {3, 0, 1, 2}) mesh.push_back(Tag::integer(90, i));  // one face
  mesh.push_back(Tag::integer(94, 3));
  for (int i : {0, 1, 1, 2, 2, 0}) mesh.push_back(Tag::integer(90, i));  // its edges
  mesh.insert(mesh.end(), {Tag::integer(95, 3), Tag::real(140, 0), Tag::real(140, 1.5), Tag::real(140, 0),
                           Tag::integer(90, 0)});
  entity("MESH", mesh);

  std::vector<uint8_t> file;
  DwgWriteInfo wi;
  ASSERT_EQ(writeDwgBytes(d, file, &wi), Acad::eOk);
  Drawing back;
  DwgReadInfo ri;
  ASSERT_EQ(readDwgBytes(back, file, &ri), Acad::eOk);
  for (const char* t : {"ARC_DIMENSION", "LARGE_RADIAL_DIMENSION", "3DSOLID", "BODY", "REGION", "MESH"}) {
    EXPECT_EQ(wi.skippedTypes.count(t) + ri.rawTypes.count(t), 0u) << t;
    ASSERT_EQ(ofType(back, t).size(), 1u) << t;
  }
  const Object& arc = *ofType(back, "ARC_DIMENSION")[0];
  const Object& jog = *ofType(back, "LARGE_RADIAL_DIMENSION")[0];
  for (auto [c, v] : std::vector<std::pair<int, double>>{{10, 4}, {20, 5}, {11, 2}, {21, 3}, {42, 7.5}, {53, 30}, {70, 37}}) {
    EXPECT_NEAR(inPart(arc, "AcDbDimension", c), v, 1e-12) << c;
    EXPECT_NEAR(inPart(jog, "AcDbDimension", c), c == 70 ? 169 : v, 1e-12) << c;
  }
  for (auto [c, v] : std::vector<std::pair<int, double>>{{13, 1}, {15, 5}, {17, 9}, {70, 1}, {40, 0.25}, {41, 2.5}, {71, 1}})
    EXPECT_NEAR(inPart(arc, "AcDbArcDimension", c), v, 1e-12) << c;
  for (auto [c, v] : std::vector<std::pair<int, double>>{{13, 11}, {14, 13}, {15, 15}, {40, 0.75}})
    EXPECT_NEAR(inPart(jog, "AcDbRadialDimensionLarge", c), v, 1e-12) << c;
  EXPECT_EQ(arc.text(3), "Standard");

  const Object& solid = *ofType(back, "3DSOLID")[0];
  EXPECT_EQ(satText(solid), "koo nnm n o\n" + longLine + "\n\n3*2/ {rn \xC3\xA9 #");
  for (const auto& t : solid.body) {
    if (t.code == 1 || t.code == 3) {
      EXPECT_LE(t.s.size(), 255u);
    }
  }
  EXPECT_EQ(satText(*ofType(back, "BODY")[0]), "koo\n0");
  EXPECT_EQ(satText(*ofType(back, "REGION")[0]), "");
  std::vector<Tag> meshBack = ofType(back, "MESH")[0]->body;
  meshBack.erase(meshBack.begin(), std::find_if(meshBack.begin(), meshBack.end(), [](const Tag& t) { return t.s == "AcDbSubDMesh"; }));
  ASSERT_EQ(meshBack.size(), mesh.size());
  for (size_t i = 0; i < mesh.size(); ++i)
    EXPECT_TRUE(meshBack[i].code == mesh[i].code && kel::engine::asDouble(meshBack[i]) == kel::engine::asDouble(mesh[i])) << i;
}

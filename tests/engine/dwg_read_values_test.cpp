// Values of real drawings as DXF has them, where the DWG form differs: angles in degrees, a point's
// y and z right after its x, a dimension's kind and definition point in its AcDbDimension part,
// block record names from their BLOCK entity, header colours as their index alone.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "engine/dwg/objects.h"
#include "engine/dwg/read_dwg.h"
#include "engine/model/drawing.h"

namespace {

using kel::engine::Drawing;
using kel::engine::Object;
using kel::engine::Tag;

Drawing read(const std::string& name) {
  std::ifstream in(std::string(KEL_SHARED_DIR) + "/corpus/dwg/" + name, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Drawing d;
  EXPECT_EQ(kel::dwg::readDwgBytes(d, bytes), Acad::eOk) << name;
  return d;
}

const Object* entity(const Drawing& d, const std::string& type) {
  for (const auto& e : d.entities)
    if (e.type == type) return &e;
  return nullptr;
}

// Index of the first tag with `code` after the subclass marker `marker` (or -1).
int indexIn(const Object& o, const std::string& marker, int code) {
  bool in = false;
  for (size_t i = 0; i < o.body.size(); ++i) {
    const Tag& t = o.body[i];
    if (t.code == 100) in = t.s == marker;
    else if (in && t.code == code) return int(i);
  }
  return -1;
}

TEST(DwgReadValues, AnglesPointsAndDimensionsAsDxfHasThem) {
  for (const char* file : {"libredwg_2000_entities-2d.dwg", "libredwg_2000_entities-3d.dwg"}) {
    Drawing d = read(file);
    const Object* arc = entity(d, "ARC");
    ASSERT_NE(arc, nullptr) << file;
    EXPECT_NEAR(arc->real(50), 270.0, 1e-9) << file;  // stored as 3*pi/2
    const Object* insert = entity(d, "INSERT");
    ASSERT_NE(insert, nullptr) << file;
    EXPECT_NEAR(insert->real(50), 30.0, 1e-9) << file;

    const Object* line = entity(d, "LINE");
    ASSERT_NE(line, nullptr) << file;
    int x = indexIn(*line, "AcDbLine", 10);
    ASSERT_GE(x, 0);
    EXPECT_EQ(line->body[size_t(x) + 1].code, 20);
    EXPECT_EQ(line->body[size_t(x) + 2].code, 30);
    EXPECT_EQ(line->body[size_t(x) + 3].code, 11);

    const Object* dim = entity(d, "DIMENSION");
    ASSERT_NE(dim, nullptr) << file;
    EXPECT_GE(indexIn(*dim, "AcDbDimension", 70), 0) << file;
    EXPECT_GE(indexIn(*dim, "AcDbDimension", 10), 0) << file;
    EXPECT_EQ(dim->integer(70) & 7, 1) << file;  // aligned
  }
}

TEST(DwgReadValues, BlockRecordsAreNamedLikeTheirBlocks) {
  Drawing d = read("libredwg_sample_2000.dwg");
  const auto* brt = d.table("BLOCK_RECORD");
  ASSERT_NE(brt, nullptr);
  std::vector<std::string> names;
  for (const auto& e : brt->entries) names.push_back(e.text(2));
  EXPECT_EQ(names, (std::vector<std::string>{"*Model_Space", "*Paper_Space", "*Paper_Space0"}));
  for (const auto& b : d.blocks) EXPECT_EQ(b.begin.text(2), b.begin.text(3));
}

TEST(DwgReadValues, HeaderColoursAreTheirIndexAlone) {
  for (const char* file : {"acadsharp_sample_AC1018.dwg", "acadsharp_sample_AC1032.dwg"}) {
    Drawing d = read(file);
    const auto* v = d.headerVar("$CECOLOR");
    ASSERT_NE(v, nullptr) << file;
    ASSERT_EQ(v->values.size(), 1u) << file;
    EXPECT_EQ(v->values[0].code, 62);
  }
}

TEST(DwgReadValues, AngleConversionRoundTrips) {
  kel::engine::Tags body = {Tag::str(100, "AcDbText"), Tag::real(50, 1.5707963267948966), Tag::real(40, 2.5),
                            Tag::real(51, 0.25)};
  kel::dwg::anglesToDegrees("TEXT", body);
  EXPECT_NEAR(body[1].d, 90.0, 1e-12);
  EXPECT_DOUBLE_EQ(body[2].d, 2.5);  // a height is no angle
  kel::dwg::anglesToRadians("TEXT", body);
  EXPECT_NEAR(body[1].d, 1.5707963267948966, 1e-15);
  EXPECT_NEAR(body[3].d, 0.25, 1e-15);
  kel::engine::Tags ellipse = {Tag::real(41, 1.0), Tag::real(42, 2.0)};
  kel::dwg::anglesToDegrees("ELLIPSE", ellipse);  // parameters stay in radians
  EXPECT_DOUBLE_EQ(ellipse[0].d, 1.0);
}

}  // namespace

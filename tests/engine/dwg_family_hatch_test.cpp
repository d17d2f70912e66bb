// Hatches, multilines, tolerances and shapes in DWG: the corpus files' records decode in every
// release (and agree with the DXF the same drawing was saved as), and a drawing holding every
// boundary kind, pattern lines, a gradient and the other three types survives writing and reading.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/engine/dwg_family_test_util.h"
#include "engine/dwg/read_dwg.h"
#include "engine/dwg/write_dwg.h"
#include "engine/model/drawing.h"
#include "engine/model/structure.h"

using namespace kel::dwg;
using kel::engine::Drawing;
using kel::engine::Handle;
using kel::engine::Object;
using kel::engine::Tag;
namespace fs = std::filesystem;

namespace {

using namespace kel::test;

const char* const kTypes[] = {"HATCH", "MLINE", "TOLERANCE", "SHAPE"};

void expectNear(const std::vector<double>& got, const std::vector<double>& want, const char* what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-9) << what << " #" << i;
}

}  // namespace

// Every record of the four types in every corpus DWG decodes (none is kept raw), and the same
// drawing saved as DWG of several releases gives the values its DXF holds: a field read at the
// wrong place shifts everything after it, and a version branch taken wrongly fails the record.
TEST(DwgFamilyHatch, CorpusRecordsDecodeAndMatchTheirDxf) {
  const fs::path corpus = fs::path(KEL_SHARED_DIR) / "corpus";
  const CorpusCensus& census = dwgCorpusCensus();
  if (!census.present) GTEST_SKIP() << "no corpus";
  for (const char* t : kTypes)
    if (census.rawOf(t)) ADD_FAILURE() << census.rawOf(t) << " " << t << " kept raw in" << census.rawFilesOf(t);
  for (const char* t : kTypes) {
    EXPECT_GT(census.decodedOf(t), 0u) << t;
  }

  for (const char* ver : {"AC1014", "AC1015", "AC1018", "AC1021", "AC1024", "AC1027", "AC1032"}) {
    SCOPED_TRACE(ver);
    const fs::path file = corpus / "dwg" / (std::string("acadsharp_sample_") + ver + ".dwg");
    if (!fs::exists(file)) continue;
    Drawing d;
    DwgReadInfo info;
    ASSERT_EQ(readDwgBytes(d, load(file), &info), Acad::eOk);
    const bool r2004 = std::string(ver) >= "AC1018";
    bool ansi31 = false, parquet = false;
    std::vector<std::string> gradients;
    for (const Object* h : ofType(d, "HATCH")) {
      if (h->text(2) == "ANSI31") {
        ansi31 = true;
        expectNear(reals(*h, 53), {45}, "pattern line angle");
        expectNear(reals(*h, 45), {-0.0883883476483185}, "pattern offset");
        EXPECT_EQ(ints(*h, 72), (std::vector<int64_t>{1, 1, 1, 1}));
        EXPECT_EQ(ints(*h, 97), (std::vector<int64_t>{1}));
        EXPECT_NE(h->find(330), nullptr);
      }
      if (h->text(2) == "AR-PARQ1") {
        parquet = true;
        EXPECT_EQ(h->integer(78), 14);
        EXPECT_EQ(reals(*h, 49).size(), 28u);
      }
      if (h->integer(450) == 1) {
        gradients.push_back(h->text(470));
        EXPECT_EQ(h->integer(70), 1);
        EXPECT_EQ(h->body.back().code, 470);  // DXF puts the gradient last
      }
      if (h->text(470) == "LINEAR") {
        EXPECT_EQ(ints(*h, 63), (std::vector<int64_t>{5, 2}));
        EXPECT_EQ(ints(*h, 421), (std::vector<int64_t>{255, 16776960}));
      }
    }
    EXPECT_TRUE(ansi31);
    EXPECT_TRUE(parquet);
    std::sort(gradients.begin(), gradients.end());
    EXPECT_EQ(gradients, r2004 ? (std::vector<std::string>{"LINEAR", "SPHERICAL"}) : std::vector<std::string>{});

    auto mline = ofType(d, "MLINE");
    ASSERT_FALSE(mline.empty());
    bool eight = false;
    for (const Object* m : mline) {
      if (m->integer(72) != 8) continue;
      eight = true;
      EXPECT_EQ(m->text(2), "STANDARD");
      EXPECT_NEAR(m->real(40), 1.5, 1e-12);
      EXPECT_EQ(reals(*m, 11).size(), 8u);
      EXPECT_EQ(ints(*m, 74).size(), 16u);
      EXPECT_NEAR(reals(*m, 41)[0], 0.75, 1e-12);
    }
    EXPECT_TRUE(eight);
    bool fcf = false;
    for (const Object* t : ofType(d, "TOLERANCE")) {
      fcf = fcf || t->text(1).rfind("{\\Fgdt;j}%%v{\\Fgdt;n}", 0) == 0;
      EXPECT_TRUE(kel::engine::sameName(t->text(3), "Standard")) << t->text(3);
    }
    EXPECT_TRUE(fcf);
    if (std::string(ver) == "AC1027") {
      auto shape = ofType(d, "SHAPE");
      ASSERT_EQ(shape.size(), 1u);
      EXPECT_NEAR(shape[0]->real(10), 15.27702016657258, 1e-9);
      EXPECT_NEAR(shape[0]->real(40), 1.0, 1e-12);
    }
  }
}

namespace {

Object record(Drawing& d, const std::string& type, Handle owner, std::vector<Tag> body) {
  Object o;
  o.type = type;
  o.handle = d.newHandle();
  o.owner = owner;
  o.body = std::move(body);
  return o;
}

void add(std::vector<Tag>& body, std::initializer_list<Tag> tags) { body.insert(body.end(), tags); }

}  // namespace

// The four types written and read back: every boundary kind (polyline with bulges; line, arc,
// elliptic arc and a rational spline with fit data and tangents), associated boundary objects,
// pattern lines with dashes, pixel size, seeds, a gradient, angles in degrees on both sides.
TEST(DwgFamilyHatch, DrawingRoundTripKeepsValues) {
  SampleDrawing sample;
  Drawing& d = sample.d;
  const Handle ms = sample.ms;
  auto entity = [&](const std::string& type, std::vector<Tag> own) {
    Object e = record(d, type, ms, {Tag::str(100, "AcDbEntity"), Tag::str(8, "0")});
    e.body.insert(e.body.end(), own.begin(), own.end());
    d.entities.push_back(std::move(e));
    return d.entities.back().handle;
  };
  const Handle boundary = entity("LWPOLYLINE", {Tag::str(100, "AcDbPolyline"), Tag::integer(90, 2), Tag::integer(70, 1),
                                                Tag::real(10, 0), Tag::real(20, 0), Tag::real(10, 10), Tag::real(20, 0)});

  std::vector<Tag> pattern = {Tag::str(100, "AcDbHatch"), Tag::real(10, 0), Tag::real(20, 0), Tag::real(30, 2.5),
                              Tag::real(210, 0), Tag::real(220, 0), Tag::real(230, 1), Tag::str(2, "USERDEF"),
                              Tag::integer(70, 0), Tag::integer(71, 1), Tag::integer(91, 2)};
  // A polyline path with bulges, following one boundary object.
  add(pattern, {Tag::integer(92, 2 | 1), Tag::integer(72, 1), Tag::integer(73, 1), Tag::integer(93, 3),
                Tag::real(10, 0), Tag::real(20, 0), Tag::real(42, 0.5), Tag::real(10, 10), Tag::real(20, 0),
                Tag::real(42, 0), Tag::real(10, 5), Tag::real(20, 8), Tag::real(42, -1), Tag::integer(97, 1),
                Tag::handle(330, boundary)});
  // An edge path of every edge kind; bit 4 asks for the pixel size.
  add(pattern, {Tag::integer(92, 4), Tag::integer(93, 4), Tag::integer(72, 1), Tag::real(10, 0), Tag::real(20, 0),
                Tag::real(11, 4), Tag::real(21, 0), Tag::integer(72, 2), Tag::real(10, 4), Tag::real(20, 1),
                Tag::real(40, 1), Tag::real(50, 270), Tag::real(51, 90), Tag::integer(73, 1), Tag::integer(72, 3),
                Tag::real(10, 2), Tag::real(20, 2), Tag::real(11, 2), Tag::real(21, 0), Tag::real(40, 0.5),
                Tag::real(50, 0), Tag::real(51, 180), Tag::integer(73, 0), Tag::integer(72, 4), Tag::integer(94, 3),
                Tag::integer(73, 1), Tag::integer(74, 0), Tag::integer(95, 8), Tag::integer(96, 4)});
  for (double k : {0, 0, 0, 0, 1, 1, 1, 1}) pattern.push_back(Tag::real(40, k));
  const double ctrl[4][3] = {{0, 2, 1}, {0, 3, 2}, {1, 3, 0.5}, {1, 4, 1}};
  for (const auto& c : ctrl) add(pattern, {Tag::real(10, c[0]), Tag::real(20, c[1]), Tag::real(42, c[2])});
  add(pattern, {Tag::integer(97, 2), Tag::real(11, 0), Tag::real(21, 2), Tag::real(11, 1), Tag::real(21, 4),
                Tag::real(12, 0), Tag::real(22, 1), Tag::real(13, 1), Tag::real(23, 0), Tag::integer(97, 0)});
  add(pattern, {Tag::integer(75, 1), Tag::integer(76, 0), Tag::real(52, 30), Tag::real(41, 2), Tag::integer(77, 1),
                Tag::integer(78, 2), Tag::real(53, 30), Tag::real(43, 0), Tag::real(44, 0), Tag::real(45, -0.5),
                Tag::real(46, 0.866), Tag::integer(79, 0), Tag::real(53, 120), Tag::real(43, 1), Tag::real(44, 1),
                Tag::real(45, 0.2), Tag::real(46, 0.3), Tag::integer(79, 2), Tag::real(49, 0.25), Tag::real(49, -0.125),
                Tag::real(47, 0.04), Tag::integer(98, 2), Tag::real(10, 1), Tag::real(20, 1), Tag::real(10, 3),
                Tag::real(20, 2)});
  entity("HATCH", pattern);

  std::vector<Tag> grad = {Tag::str(100, "AcDbHatch"), Tag::real(10, 0), Tag::real(20, 0), Tag::real(30, 0),
                           Tag::str(2, "SOLID"), Tag::integer(70, 1), Tag::integer(71, 0), Tag::integer(91, 1),
                           Tag::integer(92, 3), Tag::integer(72, 0), Tag::integer(73, 1), Tag::integer(93, 3),
                           Tag::real(10, 0), Tag::real(20, 0), Tag::real(10, 1), Tag::real(20, 0), Tag::real(10, 0),
                           Tag::real(20, 1), Tag::integer(97, 0), Tag::integer(75, 0), Tag::integer(76, 1),
                           Tag::integer(98, 0), Tag::integer(450, 1), Tag::integer(451, 0), Tag::real(460, 0.5),
                           Tag::real(461, 0.25), Tag::integer(452, 0), Tag::real(462, 1), Tag::integer(453, 2),
                           Tag::real(463, 0), Tag::integer(63, 5), Tag::integer(421, 255), Tag::real(463, 1),
                           Tag::integer(63, 2), Tag::str(470, "CYLINDER")};
  entity("HATCH", grad);

  std::vector<Tag> mline = {Tag::str(100, "AcDbMline"), Tag::str(2, "Twin"), Tag::handle(340, 0),
                            Tag::real(40, 1.5), Tag::integer(70, 2), Tag::integer(71, 1), Tag::integer(72, 2),
                            Tag::integer(73, 2), Tag::real(10, 1), Tag::real(20, 2), Tag::real(30, 0),
                            Tag::real(210, 0), Tag::real(220, 0), Tag::real(230, 1)};
  for (double x : {1.0, 9.0}) {
    add(mline, {Tag::real(11, x), Tag::real(21, 2), Tag::real(31, 0), Tag::real(12, 1), Tag::real(22, 0),
                Tag::real(32, 0), Tag::real(13, 0), Tag::real(23, 1), Tag::real(33, 0)});
    add(mline, {Tag::integer(74, 2), Tag::real(41, 0.5), Tag::real(41, x), Tag::integer(75, 0), Tag::integer(74, 1),
                Tag::real(41, -0.5), Tag::integer(75, 1), Tag::real(42, 0.125)});
  }
  entity("MLINE", mline);
  entity("TOLERANCE", {Tag::str(100, "AcDbFcf"), Tag::str(3, "Standard"), Tag::real(10, 4), Tag::real(20, 5),
                       Tag::real(30, 6), Tag::str(1, "{\\Fgdt;j}%%v0.5"), Tag::real(210, 0), Tag::real(220, 0),
                       Tag::real(230, 1), Tag::real(11, 0.6), Tag::real(21, 0.8), Tag::real(31, 0)});
  entity("SHAPE", {Tag::str(100, "AcDbShape"), Tag::real(39, 2), Tag::real(10, 7), Tag::real(20, 8), Tag::real(30, 0),
                   Tag::real(40, 2.5), Tag::str(2, "133"), Tag::real(50, 30), Tag::real(41, 0.8), Tag::real(51, 10)});
  kel::engine::Notes notes;
  kel::engine::completeStructure(d, notes);
  // The multiline refers to its style by handle.
  Object style = record(d, "MLINESTYLE", d.objects.front().handle,
                        {Tag::str(100, "AcDbMlineStyle"), Tag::str(2, "Twin"), Tag::integer(70, 0), Tag::str(3, ""),
                         Tag::integer(62, 256), Tag::real(51, 90), Tag::real(52, 90), Tag::integer(71, 2),
                         Tag::real(49, 0.5), Tag::integer(62, 256), Tag::str(6, "BYLAYER"), Tag::real(49, -0.5),
                         Tag::integer(62, 256), Tag::str(6, "BYLAYER")});
  const Handle mlineStyle = style.handle;
  d.objects.push_back(std::move(style));
  for (Object& e : d.entities)
    if (e.type == "MLINE") e.find(340)->i = int64_t(mlineStyle);

  Drawing back;
  ASSERT_TRUE(writeAndReadBack(d, back, {std::begin(kTypes), std::end(kTypes)}));

  auto hatches = ofType(back, "HATCH");
  ASSERT_EQ(hatches.size(), 2u);
  const Object& h = hatches[0]->integer(70) == 0 ? *hatches[0] : *hatches[1];
  const Object& g = hatches[0]->integer(70) == 0 ? *hatches[1] : *hatches[0];
  EXPECT_EQ(h.real(30), 2.5);
  EXPECT_EQ(h.text(2), "USERDEF");
  EXPECT_EQ(h.integer(71), 1);
  EXPECT_EQ(ints(h, 92), (std::vector<int64_t>{3, 4}));
  EXPECT_EQ(ints(h, 93), (std::vector<int64_t>{3, 4}));
  expectNear(reals(h, 42), {0.5, 0, -1, 1, 2, 0.5, 1}, "bulges, then spline weights");
  EXPECT_EQ(ints(h, 72), (std::vector<int64_t>{1, 1, 2, 3, 4}));  // has-bulge, then the edge kinds
  expectNear(reals(h, 50), {270, 0}, "edge start angles");
  expectNear(reals(h, 51), {90, 180}, "edge end angles");
  EXPECT_EQ(ints(h, 73), (std::vector<int64_t>{1, 1, 0, 1}));  // closed, ccw, cw, rational
  expectNear(reals(h, 40), {1, 0.5, 0, 0, 0, 0, 1, 1, 1, 1}, "radius, ratio, knots");
  expectNear(reals(h, 41), {2}, "pattern scale");
  EXPECT_EQ(ints(h, 97), (std::vector<int64_t>{1, 2, 0}));  // handles, fit points, handles
  expectNear(reals(h, 21), {0, 0, 2, 4}, "edge ends, ellipse axis, fit points");
  expectNear(reals(h, 12), {0}, "start tangent");
  expectNear(reals(h, 23), {0}, "end tangent");
  ASSERT_NE(h.find(330), nullptr);
  EXPECT_EQ(Handle(h.find(330)->i), boundary);
  expectNear(reals(h, 52), {30}, "pattern angle");
  expectNear(reals(h, 53), {30, 120}, "pattern line angles");
  expectNear(reals(h, 49), {0.25, -0.125}, "dashes");
  EXPECT_EQ(h.integer(77), 1);
  expectNear(reals(h, 47), {0.04}, "pixel size");
  EXPECT_EQ(h.integer(98), 2);
  EXPECT_EQ(h.find(450), nullptr);  // no gradient: no gradient groups

  EXPECT_EQ(g.integer(450), 1);
  EXPECT_EQ(g.find(52), nullptr);
  EXPECT_EQ(g.real(460), 0.5);
  EXPECT_EQ(ints(g, 63), (std::vector<int64_t>{5, 2}));
  EXPECT_EQ(ints(g, 421), (std::vector<int64_t>{255}));
  EXPECT_EQ(g.text(470), "CYLINDER");
  EXPECT_EQ(ints(g, 73), (std::vector<int64_t>{1}));

  auto ml = ofType(back, "MLINE");
  ASSERT_EQ(ml.size(), 1u);
  EXPECT_EQ(ml[0]->text(2), "Twin");
  EXPECT_EQ(Handle(ml[0]->find(340)->i), mlineStyle);
  EXPECT_EQ(ml[0]->integer(70), 2);
  expectNear(reals(*ml[0], 11), {1, 9}, "vertices");
  expectNear(reals(*ml[0], 41), {0.5, 1, -0.5, 0.5, 9, -0.5}, "segment parameters");
  expectNear(reals(*ml[0], 42), {0.125, 0.125}, "fill parameters");

  auto tol = ofType(back, "TOLERANCE");
  ASSERT_EQ(tol.size(), 1u);
  EXPECT_EQ(tol[0]->text(3), "Standard");
  EXPECT_EQ(tol[0]->text(1), "{\\Fgdt;j}%%v0.5");
  EXPECT_EQ(tol[0]->real(21), 0.8);
  EXPECT_EQ(tol[0]->real(30), 6);

  auto shape = ofType(back, "SHAPE");
  ASSERT_EQ(shape.size(), 1u);
  EXPECT_EQ(shape[0]->text(2), "133");
  EXPECT_NEAR(shape[0]->real(50), 30, 1e-9);
  EXPECT_NEAR(shape[0]->real(51), 10, 1e-9);
  EXPECT_EQ(shape[0]->real(39), 2);
  EXPECT_EQ(shape[0]->real(41), 0.8);
}

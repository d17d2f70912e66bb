// Typed views of splines, hatches, dimensions, multilines and modeler-geometry entities: the
// parts their hooks read and write (nested hatch paths, the dimension kind's points, multiline
// vertices, modeler data lines), built as structs or given as records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/model/entities.h"

namespace ke = kel::engine;
using ke::Object;
using ke::Tag;
using ke::Vec3;

namespace {

Object record(const char* type, std::vector<Tag> body) {
  Object o;
  o.type = type;
  o.body = std::move(body);
  return o;
}
Tag S(int c, const char* v) { return Tag::str(c, v); }
Tag R(int c, double v) { return Tag::real(c, v); }
Tag I(int c, int64_t v) { return Tag::integer(c, v); }

// The codes of a body, markers as -1, for order checks.
std::vector<int> codes(const Object& o) {
  std::vector<int> out;
  for (const auto& t : o.body) out.push_back(t.code == 100 ? -1 : t.code);
  return out;
}
// Index of the first group with the code at or after `from`; -1 when there is none.
int indexOf(const Object& o, int code, int from = 0) {
  for (size_t i = size_t(from); i < o.body.size(); ++i)
    if (o.body[i].code == code) return int(i);
  return -1;
}
bool hasMarker(const Object& o, std::string_view m) {
  for (const auto& t : o.body)
    if (t.code == 100 && t.s.view() == m) return true;
  return false;
}

ke::Hatch sampleHatch() {
  ke::Hatch h;
  h.pattern = "ANSI31";
  h.elevationPoint = {0, 0, 2.5};
  ke::HatchPath poly;
  poly.flags = 2 | 1;
  poly.closed = 1;
  poly.vertices = {{0, 0, 0}, {10, 0, 0.5}, {10, 10, 0}};
  poly.sources = {0x2A};
  ke::HatchPath edges;
  edges.flags = 1;
  ke::HatchEdge line, arc, ellipse, spline;
  line.endOrMajorAxis = {5, 0, 0};
  arc.type = 2;
  arc.startOrCenter = {5, 5, 0};
  arc.radiusOrRatio = 5;
  arc.startAngle = 270;
  arc.endAngle = 90;
  ellipse.type = 3;
  ellipse.startOrCenter = {1, 1, 0};
  ellipse.endOrMajorAxis = {3, 0, 0};
  ellipse.radiusOrRatio = 0.5;
  ellipse.counterClockwise = 0;
  spline.type = 4;
  spline.rational = 1;
  spline.knots = {0, 0, 0, 0, 1, 1, 1, 1};
  spline.controlPoints = {{0, 0, 0}, {1, 2, 0}, {3, 2, 0}, {4, 0, 0}};
  spline.weights = {1, 0.5, 0.5, 1};
  spline.fitPoints = {{0, 0, 0}, {4, 0, 0}};
  spline.startTangent = {1, 1, 0};
  spline.endTangent = {1, -1, 0};
  edges.edges = {line, arc, ellipse, spline};
  edges.sources = {0x30, 0x31};
  h.paths = {poly, edges};
  h.patternLines = {{45, {0, 0, 0}, {-2.2, 2.2, 0}, {}}, {135, {1, 0, 0}, {0, 3, 0}, {2, -1}}};
  h.pixelSize = 0.25;
  h.seeds = {{5, 5, 0}};
  h.gradient.enabled = 1;
  h.gradient.angle = 0.5;
  h.gradient.tint = 1;
  h.gradient.colors = {{0, 5, 0xFF}, {1, 2, -1}};
  h.gradient.name = "LINEAR";
  return h;
}

}  // namespace

TEST(ViewsEntitiesHatch, EveryPathAndEdgeKindWritesInOrderAndReadsBack) {
  const ke::Hatch h = sampleHatch();
  const Object o = ke::encode(h);
  ke::Hatch back;
  ASSERT_TRUE(ke::decode(o, back));
  EXPECT_EQ(back, h);

  // The polyline path: flags, bulge flag, closed, count, then x/y/bulge per vertex, its sources.
  int p = indexOf(o, 92);
  ASSERT_GE(p, 0);
  EXPECT_EQ(o.body[size_t(p + 3)].i, 3);  // 93
  EXPECT_EQ(codes(o)[size_t(p + 4)], 10);
  EXPECT_EQ(codes(o)[size_t(p + 6)], 42) << "a bulge after every vertex once any vertex has one";
  int src = indexOf(o, 97, p);
  EXPECT_EQ(o.body[size_t(src)].i, 1);
  EXPECT_EQ(o.body[size_t(src + 1)].i, 0x2A);

  // The edge path: the edge types in order; the spline's fit count is followed by its fit points
  // and the path's own source count comes last.
  p = indexOf(o, 92, p + 1);
  std::vector<int64_t> types;
  for (int k = indexOf(o, 93, p) + 1; k < int(o.body.size()) && o.body[size_t(k)].code != 97; ++k)
    if (o.body[size_t(k)].code == 72) types.push_back(o.body[size_t(k)].i);
  EXPECT_EQ(types, (std::vector<int64_t>{1, 2, 3, 4}));
  const int fit = indexOf(o, 97, p);
  EXPECT_EQ(o.body[size_t(fit)].i, 2);
  EXPECT_EQ(o.body[size_t(fit + 1)].code, 11);
  EXPECT_EQ(o.body[size_t(indexOf(o, 97, fit + 1))].i, 2);

  // Pattern, seeds and the gradient after the paths, the gradient last.
  EXPECT_LT(indexOf(o, 78), indexOf(o, 98));
  EXPECT_EQ(o.body.back().code, 470);
  EXPECT_EQ(o.body[size_t(indexOf(o, 421))].i, 0xFF);
  EXPECT_EQ(indexOf(o, 421, indexOf(o, 421) + 1), -1) << "no true colour for the second gradient colour";
}

TEST(ViewsEntitiesHatch, SolidFillsAndSplineEdgesOfOlderFiles) {
  // A solid fill with no gradient writes neither pattern nor gradient groups.
  ke::Hatch solid;
  solid.pattern = "SOLID";
  solid.solid = 1;
  const Object s = ke::encode(solid);
  for (int c : {52, 41, 78, 450, 470}) EXPECT_EQ(indexOf(s, c), -1) << c;

  // A spline edge written before fit data existed ends at its control points: the 97 after it is
  // the path's source count. In the newer form a 97 of 0 comes first.
  auto hatchWith = [](std::vector<Tag> tail) {
    std::vector<Tag> b = {S(100, "AcDbEntity"), S(8, "0"), S(100, "AcDbHatch"), R(10, 0), R(20, 0), R(30, 0),
                          S(2, "SOLID"), I(70, 1), I(71, 1), I(91, 1), I(92, 0), I(93, 1), I(72, 4), I(94, 1),
                          I(73, 0), I(74, 0), I(95, 2), I(96, 2), R(40, 0), R(40, 1), R(10, 0), R(20, 0),
                          R(10, 1), R(20, 1)};
    b.insert(b.end(), tail.begin(), tail.end());
    for (Tag t : {I(75, 0), I(76, 1), I(98, 1), R(10, 7), R(20, 8)}) b.push_back(t);
    return record("HATCH", b);
  };
  for (const auto& o : {hatchWith({I(97, 1), Tag::handle(330, 0x55)}),
                        hatchWith({I(97, 0), I(97, 1), Tag::handle(330, 0x55)})}) {
    ke::Hatch h;
    ASSERT_TRUE(ke::decode(o, h));
    ASSERT_EQ(h.paths.size(), 1u);
    ASSERT_EQ(h.paths[0].edges.size(), 1u);
    EXPECT_EQ(h.paths[0].edges[0].controlPoints.size(), 2u);
    EXPECT_TRUE(h.paths[0].edges[0].fitPoints.empty());
    EXPECT_EQ(h.paths[0].sources, std::vector<ke::Handle>{0x55});
    EXPECT_EQ(h.seeds, (std::vector<Vec3>{Vec3{7, 8, 0}})) << "seed points are not the elevation point";
    EXPECT_EQ(h.elevationPoint, Vec3{});
  }
}

TEST(ViewsEntitiesDimension, TheKindDecidesSubclassAndPoints) {
  struct Case {
    int kind;
    std::vector<const char*> markers;
    std::vector<int> present, absent;
  };
  const Case cases[] = {{0, {"AcDbAlignedDimension", "AcDbRotatedDimension"}, {13, 14, 50}, {15, 16, 40}},
                        {1, {"AcDbAlignedDimension"}, {13, 14}, {15, 16, 40}},
                        {2, {"AcDb2LineAngularDimension"}, {13, 14, 15, 16}, {40, 50}},
                        {3, {"AcDbDiametricDimension"}, {15, 40}, {13, 14, 16}},
                        {4, {"AcDbRadialDimension"}, {15, 40}, {13, 14, 16}},
                        {5, {"AcDb3PointAngularDimension"}, {13, 14, 15}, {16, 40}},
                        {6, {"AcDbOrdinateDimension"}, {13, 14}, {15, 16, 40}}};
  for (const auto& c : cases) {
    ke::Dimension d;
    d.dimType = int16_t(c.kind | 32);
    d.point13 = {1, 2, 0};
    d.point14 = {3, 4, 0};
    d.point15 = {5, 6, 0};
    d.point16 = {7, 8, 0};
    d.leaderLength = 2;
    d.rotation = 30;
    const Object o = ke::encode(d);
    for (const char* m : c.markers) EXPECT_TRUE(hasMarker(o, m)) << c.kind << " " << m;
    const int part = indexOf(o, 13) >= 0 ? indexOf(o, 13) : indexOf(o, 15);
    EXPECT_GT(part, indexOf(o, 3)) << "the kind's points follow the common part";
    for (int code : c.present) EXPECT_GE(indexOf(o, code), 0) << c.kind << " " << code;
    for (int code : c.absent) EXPECT_EQ(indexOf(o, code), -1) << c.kind << " " << code;
    ke::Dimension back;
    ASSERT_TRUE(ke::decode(o, back));
    EXPECT_EQ(back.dimType, d.dimType);
    EXPECT_EQ(back.point15, c.kind >= 2 && c.kind <= 5 ? d.point15 : Vec3{}) << c.kind;
  }
}

TEST(ViewsEntitiesDimension, RecordsWithoutMarkersAndTheSharedPart) {
  // An R12 dimension: everything by code alone.
  const Object r12 = record("DIMENSION", {S(8, "DIMS"), S(2, "*D3"), R(10, 1), R(20, 2), R(11, 3), R(21, 4), I(70, 4),
                                          R(15, 9), R(25, 9), R(40, 1.5), S(1, "R<>")});
  ke::Dimension d;
  ASSERT_TRUE(ke::decode(r12, d));
  EXPECT_EQ(d.common.layer, "DIMS");
  EXPECT_EQ(d.defPoint, (Vec3{1, 2, 0}));
  EXPECT_EQ(d.point15, (Vec3{9, 9, 0}));
  EXPECT_EQ(d.leaderLength, 1.5);
  EXPECT_EQ(d.text, "R<>");

  // The arc-length dimension's own 70 and 71 stay apart from the shared part's.
  ke::ArcDimension a;
  a.dimType = 5 | 32;
  a.attachment = 1;
  a.partial = 1;
  a.hasLeader = 1;
  a.arcCenter = {1, 1, 0};
  ke::ArcDimension back;
  ASSERT_TRUE(ke::decode(ke::encode(a), back));
  EXPECT_EQ(back, a);
}

TEST(ViewsEntitiesSpline, CountsFollowTheListsAndTangentsAreOptional) {
  ke::Spline s;
  s.flags = 8 | 4;
  s.knots = {0, 0, 0, 0, 1, 1, 1, 1};
  s.controlPoints = {{0, 0, 0}, {1, 1, 0}, {2, 1, 0}, {3, 0, 0}};
  s.weights = {1, 2, 2, 1};
  s.knotCount = 99;  // stale: the lists decide
  Object o = ke::encode(s);
  EXPECT_EQ(o.find(72)->i, 8);
  EXPECT_EQ(o.find(73)->i, 4);
  EXPECT_EQ(o.find(74)->i, 0);
  EXPECT_EQ(o.find(12), nullptr);
  s.startTangent = {0, 1, 0};
  o = ke::encode(s);
  ASSERT_NE(o.find(12), nullptr);
  EXPECT_LT(indexOf(o, 12), indexOf(o, 40)) << "tangents before the knots";
  ke::Spline back;
  ASSERT_TRUE(ke::decode(o, back));
  EXPECT_EQ(back.weights, s.weights);
  EXPECT_EQ(back.startTangent, s.startTangent);
  EXPECT_EQ(back.endTangent, Vec3{});
}

TEST(ViewsEntitiesMLine, VerticesCarryTheirElementParameters) {
  const Object o = record("MLINE", {S(100, "AcDbEntity"), S(8, "0"), S(100, "AcDbMline"), S(2, "STANDARD"),
                                    R(40, 1), I(70, 0), I(71, 1), I(72, 2), I(73, 2), R(10, 0), R(20, 0), R(30, 0),
                                    R(11, 0), R(21, 0), R(31, 0), R(12, 1), R(22, 0), R(32, 0), R(13, 0), R(23, 1),
                                    R(33, 0), I(74, 2), R(41, 0), R(41, 5), I(75, 0), I(74, 1), R(41, -0.5),
                                    I(75, 1), R(42, 3), R(11, 5), R(21, 0), R(31, 0), R(12, 1), R(22, 0), R(32, 0),
                                    R(13, 0), R(23, 1), R(33, 0), I(74, 0), I(75, 0), I(74, 0), I(75, 0)});
  ke::MLine m;
  ASSERT_TRUE(ke::decode(o, m));
  ASSERT_EQ(m.vertices.size(), 2u);
  EXPECT_EQ(m.vertices[0].miter, (Vec3{0, 1, 0}));
  ASSERT_EQ(m.vertices[0].elements.size(), 2u);
  EXPECT_EQ(m.vertices[0].elements[0].params, (std::vector<double>{0, 5}));
  EXPECT_EQ(m.vertices[0].elements[1].fillParams, std::vector<double>{3});
  EXPECT_EQ(m.vertices[1].position, (Vec3{5, 0, 0}));
  EXPECT_EQ(m.vertices[1].elements.size(), 2u);
  m.vertices.pop_back();
  EXPECT_EQ(ke::encode(m).find(72)->i, 1);
}

TEST(ViewsEntitiesModeler, LongLinesSplitAndTheTypeIsKept) {
  ke::Region r;
  const std::string longLine = std::string(254, 'a') + "\xC3\xA9" + std::string(300, 'b');  // é across the cut
  r.lines = {"first", longLine, ""};
  const Object o = ke::encode(r);
  EXPECT_EQ(o.type, "REGION");
  EXPECT_FALSE(hasMarker(o, "AcDb3dSolid"));
  std::vector<int> text;
  for (const auto& t : o.body)
    if (t.code == 1 || t.code == 3) {
      text.push_back(t.code);
      EXPECT_LE(t.s.size(), 255u);
    }
  EXPECT_EQ(text, (std::vector<int>{1, 1, 3, 3, 1}));
  EXPECT_EQ(o.body[size_t(indexOf(o, 1) + 1)].s.size(), 254u) << "cut before the two-byte character";
  ke::Region back;
  ASSERT_TRUE(ke::decode(o, back));
  EXPECT_EQ(back.lines, r.lines);

  ke::Solid3d s;
  s.history = 0x77;
  const Object so = ke::encode(s);
  EXPECT_EQ(so.type, "3DSOLID");
  EXPECT_EQ(so.body.back().code, 350);
  EXPECT_EQ(ke::encode(s, 1018).find(350), nullptr) << "no history before R2007";
}

TEST(ViewsEntities, EveryTypeOfTheGroupHasAView) {
  for (const char* type : {"SPLINE", "HATCH", "DIMENSION", "ARC_DIMENSION", "LARGE_RADIAL_DIMENSION", "LEADER",
                           "TOLERANCE", "RAY", "XLINE", "MLINE", "3DSOLID", "REGION", "BODY"})
    EXPECT_NE(ke::viewOf(type), nullptr) << type;
}

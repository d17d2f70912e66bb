// The typed views of the symbol table entries and of the block and polyline framing records: what
// their hooks read and write (linetype elements, dimension style colours and older unit groups,
// block references, polyline and vertex markers, optional pointers). The corpus check covers the
// plain round trips.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <vector>

#include "engine/model/entities.h"

namespace ke = kel::engine;
using ke::Tag;

namespace {

std::vector<int> codesOf(const ke::Object& o) {
  std::vector<int> out;
  for (const auto& t : o.body) out.push_back(t.code);
  return out;
}
// The codes of o's body that follow the first group with `after`, as many as `expected` has.
void expectAfter(const ke::Object& o, int after, std::initializer_list<int> expected) {
  const auto codes = codesOf(o);
  auto it = std::find(codes.begin(), codes.end(), after);
  ASSERT_NE(it, codes.end()) << "no group " << after;
  std::vector<int> got(it + 1, it + 1 + std::min<ptrdiff_t>(ptrdiff_t(expected.size()), codes.end() - it - 1));
  EXPECT_EQ(got, std::vector<int>(expected)) << "after group " << after;
}
int countOf(const ke::Object& o, int code) {
  const auto codes = codesOf(o);
  return int(std::count(codes.begin(), codes.end(), code));
}
template <class T>
T roundTrip(const T& v, int version = 1027) {
  T back;
  EXPECT_TRUE(ke::decode(ke::encode(v, version), back));
  return back;
}

}  // namespace

TEST(ViewsTables, LinetypeElementsKeepTheirShapesAndTexts) {
  ke::Linetype lt;
  lt.name = "GAS";
  lt.patternLength = 1.5;
  ke::LinetypeDash dash, text, shape;
  dash.length = 1;
  text.length = shape.length = -0.25;
  text.type = 2, text.style = 0x11, text.scale = 0.1, text.xOffset = -0.1, text.text = "GAS";
  shape.type = 4, shape.shape = 132, shape.style = 0x12, shape.rotation = 90;
  lt.dashes = {dash, text, shape};

  const ke::Object o = ke::encode(lt, 1027);
  EXPECT_EQ(o.integer(73), 3);  // the count follows the elements
  EXPECT_EQ(o.body[0].s.view(), "AcDbSymbolTableRecord");
  expectAfter(o, 40, {49, 74, 49, 74, 75, 340, 46, 50, 44, 45, 9, 49, 74, 75, 340, 46, 50, 44, 45});
  ke::Linetype back = roundTrip(lt);
  lt.count = 3;
  EXPECT_EQ(back, lt);

  // R12 knows the element lengths only.
  const ke::Object r12 = ke::encode(lt, 1009);
  EXPECT_FALSE(r12.hasSubclasses());
  EXPECT_EQ(countOf(r12, 49), 3);
  EXPECT_EQ(countOf(r12, 74) + countOf(r12, 9), 0);

  // Read from an R12 record: each 49 is an element, whatever the count says.
  ke::Object old;
  old.type = "LTYPE";
  old.body = {Tag::str(2, "DASHED"), Tag::integer(73, 5), Tag::real(40, 0.75), Tag::real(49, 0.5), Tag::real(49, -0.25)};
  ASSERT_TRUE(ke::decode(old, back));
  ASSERT_EQ(back.dashes.size(), 2u);
  EXPECT_EQ(back.count, 2);
  EXPECT_EQ(back.dashes[1].length, -0.25);
  EXPECT_EQ(back.dashes[1].scale, 1);
}

TEST(ViewsTables, DimStyleColoursCarryTheirTrueColours) {
  ke::DimStyle s;
  s.name = "ISO";
  s.dimclrd = 1;
  s.dimclreRgb = 0x102030;
  s.dimclrt = 5;
  s.dimtfill = 2;
  s.dimtfillclr = 3;
  s.dimtfillclrRgb = 0xFF0000;
  s.dimblk = 0x40;
  const ke::Object o = ke::encode(s, 1027);
  expectAfter(o, 175, {176, 177, 420, 178, 179});
  expectAfter(o, 69, {70, 420, 140});
  expectAfter(o, 340, {342, 371});  // unset pointers are left out
  EXPECT_EQ(countOf(o, 5) + countOf(o, 270) + countOf(o, 287), 0);
  EXPECT_EQ(roundTrip(s), s);

  // A 420 belongs to the colour just before it, not to the next one.
  ke::Object d;
  d.type = "DIMSTYLE";
  d.body = {Tag::str(100, "AcDbDimStyleTableRecord"), Tag::str(2, "X"), Tag::integer(70, 0), Tag::integer(176, 1),
            Tag::integer(177, 2), Tag::integer(420, 0xABCDEF), Tag::integer(178, 3)};
  ke::DimStyle back;
  ASSERT_TRUE(ke::decode(d, back));
  EXPECT_EQ(back.dimclrdRgb, -1);
  EXPECT_EQ(back.dimclreRgb, 0xABCDEF);
  EXPECT_EQ(back.dimclrtRgb, -1);
  EXPECT_EQ(back.dimtfillclr, 0);  // one 70 only: the flags
}

TEST(ViewsTables, DimStyleOlderUnitAndFitGroupsMapBothWays) {
  ke::Object d;
  d.type = "DIMSTYLE";
  d.body = {Tag::str(100, "AcDbDimStyleTableRecord"), Tag::str(2, "R13"), Tag::integer(70, 0), Tag::str(5, "DOT"),
            Tag::integer(270, 7), Tag::integer(287, 5)};
  ke::DimStyle s;
  ASSERT_TRUE(ke::decode(d, s));
  EXPECT_EQ(s.dimblkName, "DOT");
  EXPECT_EQ(s.dimlunit, 5);  // fractional, not stacked
  EXPECT_EQ(s.dimfrac, 2);
  EXPECT_EQ(s.dimatfit, 3);
  EXPECT_EQ(s.dimtmove, 2);

  const ke::Object r14 = ke::encode(s, 1014);
  EXPECT_EQ(r14.integer(270), 7);
  EXPECT_EQ(r14.integer(287), 5);
  EXPECT_EQ(r14.text(5), "DOT");
  EXPECT_EQ(r14.find(277), nullptr);
  EXPECT_EQ(roundTrip(s, 1014), s);
  for (int unit = 1; unit <= 8; ++unit) {
    ke::DimStyle u;
    ke::Description<ke::DimStyle>::unitFromOld(unit, u);
    EXPECT_EQ(ke::Description<ke::DimStyle>::unitToOld(u), unit);
  }

  // The later groups win over the older one when a record has both.
  d.body.push_back(Tag::integer(277, 3));
  ASSERT_TRUE(ke::decode(d, s));
  EXPECT_EQ(s.dimlunit, 3);
}

TEST(ViewsTables, BlockRecordReferencesSitInTheirApplicationGroup) {
  ke::Object r;
  r.type = "BLOCK_RECORD";
  r.body = {Tag::str(100, "AcDbSymbolTableRecord"), Tag::str(100, "AcDbBlockTableRecord"), Tag::str(2, "DOOR"),
            Tag::handle(340, 0), Tag::str(102, "{BLKREFS"), Tag::handle(331, 0x2A), Tag::handle(331, 0x2B),
            Tag::str(102, "}"), Tag::integer(70, 4), Tag::integer(280, 1), Tag::integer(281, 1)};
  ke::BlockRecord b;
  ASSERT_TRUE(ke::decode(r, b));
  EXPECT_EQ(b.references, (std::vector<ke::Handle>{0x2A, 0x2B}));
  EXPECT_EQ(b.units, 4);
  EXPECT_EQ(b.scaleUniformly, 1);
  const ke::Object o = ke::encode(b, 1027);
  expectAfter(o, 340, {102, 331, 331, 102, 70});
  EXPECT_EQ(roundTrip(b), b);
  b.references.clear();
  EXPECT_EQ(ke::encode(b, 1027).find(102), nullptr);
}

TEST(ViewsTables, PolylineAndVertexMarkersFollowTheFlags) {
  ke::Polyline p;
  p.flags = 64;  // polyface mesh
  p.meshM = 4;
  p.meshN = 1;
  ke::Object po = ke::encode(p, 1027);
  EXPECT_EQ(countOf(po, 100), 2);
  EXPECT_EQ(po.body[2].s.view(), "AcDbPolyFaceMesh");
  EXPECT_EQ(roundTrip(p), p);
  p.flags = 8;
  EXPECT_EQ(ke::encode(p, 1027).body[2].s.view(), "AcDb3dPolyline");
  EXPECT_FALSE(ke::encode(p, 1009).hasSubclasses());

  ke::Vertex face;
  face.flags = 128;
  face.face[0] = 1, face.face[1] = -2, face.face[2] = 3;
  ke::Object fo = ke::encode(face, 1027);
  EXPECT_EQ(countOf(fo, 100), 2);  // AcDbEntity and AcDbFaceRecord only
  EXPECT_EQ(fo.body.back().code, 73);
  EXPECT_EQ(roundTrip(face), face);

  ke::Vertex v;
  v.flags = 128 | 64;
  v.position = {1, 2, 3};
  v.bulge = 0.5;
  ke::Object vo = ke::encode(v, 1027);
  EXPECT_EQ(vo.body[2].s.view(), "AcDbVertex");
  EXPECT_EQ(vo.body[3].s.view(), "AcDbPolyFaceMeshVertex");
  EXPECT_EQ(roundTrip(v), v);

  // Read under whatever marker the record has, the entity part left to the common reader.
  ke::Object r;
  r.type = "VERTEX";
  r.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "L1"), Tag::str(100, "AcDbVertex"),
            Tag::str(100, "AcDb3dPolylineVertex"), Tag::real(10, 4), Tag::real(20, 5), Tag::real(30, 6),
            Tag::integer(70, 32)};
  ASSERT_TRUE(ke::decode(r, v));
  EXPECT_EQ(v.common.layer, "L1");
  EXPECT_EQ(v.position, (ke::Vec3{4, 5, 6}));
  EXPECT_EQ(v.flags, 32);
}

TEST(ViewsTables, LayerAndViewportOptionalGroups) {
  ke::Layer l;
  l.name = "WALLS";
  l.trueColor = 0x00FF8000;
  l.colorName = "Book$Orange";
  l.plotStyle = 0xF;
  l.visualStyle = 0x99;
  const ke::Object lo = ke::encode(l, 1027);
  expectAfter(lo, 62, {420, 430, 6});
  expectAfter(lo, 390, {348});  // no material: no 347
  EXPECT_EQ(roundTrip(l), l);
  EXPECT_EQ(ke::encode(ke::Layer{}, 1027).find(420), nullptr);

  // A viewport read from DWG gives its ambient true colour as 420; DXF spells it 421.
  ke::Object v;
  v.type = "VPORT";
  v.body = {Tag::str(100, "AcDbViewportTableRecord"), Tag::str(2, "*Active"), Tag::real(10, 0.5),
            Tag::real(20, 0.25), Tag::integer(63, 250), Tag::integer(420, 0x112233), Tag::handle(348, 0x3C)};
  ke::Vport vp;
  ASSERT_TRUE(ke::decode(v, vp));
  EXPECT_EQ(vp.lowerLeftX, 0.5);
  EXPECT_EQ(vp.lowerLeftY, 0.25);
  EXPECT_EQ(vp.extras.ambientTrueColor, 0x112233);
  const ke::Object o = ke::encode(vp, 1027);
  EXPECT_EQ(o.find(420), nullptr);
  EXPECT_EQ(o.integer(421), 0x112233);
  EXPECT_EQ(o.find(30), nullptr);  // the corners are 2D points
  EXPECT_EQ(o.find(333), nullptr);
  EXPECT_EQ(roundTrip(vp), vp);
}

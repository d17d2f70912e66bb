// Typed views of attributes, multileaders, viewports, images, wipeouts and the text entities: the
// parts their hooks read and write (multileader sections, embedded MTEXT, columns, 2D points,
// groups whose meaning depends on their place), given as records or built as structs.
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
void P(std::vector<Tag>& b, int c, double x, double y, double z) {
  b.insert(b.end(), {R(c, x), R(c + 10, y), R(c + 20, z)});
}
int count(const Object& o, int code) {
  int n = 0;
  for (const auto& t : o.body) n += t.code == code;
  return n;
}
int indexOf(const Object& o, int code, int from = 0) {
  for (size_t i = size_t(from); i < o.body.size(); ++i)
    if (o.body[i].code == code) return int(i);
  return -1;
}
template <class T>
T roundTrip(const T& v) {
  T back;
  EXPECT_TRUE(ke::decode(ke::encode(v), back));
  return back;
}

}  // namespace

// A text multileader as a DXF file gives it: the sections put each value in its place, the
// leader's first 11 is the dogleg direction and the graphics size a DWG record ends with is not
// taken for the text colour.
TEST(ViewsAnnotation, MultiLeaderSectionsFromRecord) {
  std::vector<Tag> b = {S(100, "AcDbEntity"), S(8, "0"), S(100, "AcDbMLeader"), I(270, 2), S(300, "CONTEXT_DATA{"),
                        R(40, 1)};
  P(b, 10, 1083.68, 23.24, 0);
  b.insert(b.end(), {R(41, 0.18), I(290, 1), S(304, "hello"), Tag::handle(340, 0x11)});
  P(b, 12, 1083.77, 23.35, 0);
  b.insert(b.end(), {R(43, 1.44), I(90, -1073741824), I(296, 0)});
  P(b, 110, 1050.2, 8.2, 0);
  b.insert(b.end(), {I(297, 0), S(302, "LEADER{"), I(290, 1), I(291, 1)});
  P(b, 10, 1083.3, 23.2, 0);
  P(b, 11, -1, 0, 0);
  P(b, 11, 5, 6, 0);  // a break on the dogleg
  P(b, 12, 7, 8, 0);
  b.insert(b.end(), {I(90, 0), R(40, 0.36), S(304, "LEADER_LINE{")});
  P(b, 10, 1050.2, 8.2, 0);
  P(b, 10, 1060, 9, 0);
  b.insert(b.end(), {I(90, 1)});
  P(b, 11, 1, 1, 0);
  P(b, 12, 2, 2, 0);
  b.insert(b.end(), {I(91, 0), S(305, "}"), I(271, 0), S(303, "}"), I(272, 9), I(273, 9), S(301, "}"),
                     Tag::handle(340, 0xD8), I(90, 279552), I(170, 1), I(92, -1056964608)});
  P(b, 10, 2, 2, 2);
  b.insert(b.end(), {Tag::handle(330, 0x99), I(177, 1), R(44, 0.5), S(302, "VALUE"), I(295, 0), I(92, 3),
                     S(310, "abc")});
  ke::MultiLeader m;
  ASSERT_TRUE(ke::decode(record("MULTILEADER", b), m));
  const ke::MLeaderContext& c = m.context;
  EXPECT_EQ(c.contentBase, (Vec3{1083.68, 23.24, 0}));
  EXPECT_TRUE(c.hasText);
  EXPECT_EQ(c.text.text, "hello");
  EXPECT_EQ(c.text.style, 0x11u);
  EXPECT_EQ(c.text.width, 1.44);
  EXPECT_EQ(c.text.color, -1073741824);
  EXPECT_EQ(c.planeOrigin, (Vec3{1050.2, 8.2, 0}));
  ASSERT_EQ(c.leaders.size(), 1u);
  const ke::MLeaderLeader& l = c.leaders[0];
  EXPECT_EQ(l.connection, (Vec3{1083.3, 23.2, 0}));
  EXPECT_EQ(l.doglegDirection, (Vec3{-1, 0, 0}));
  ASSERT_EQ(l.breaks.size(), 1u);
  EXPECT_EQ(l.breaks[0].end, (Vec3{7, 8, 0}));
  EXPECT_EQ(l.doglegLength, 0.36);
  ASSERT_EQ(l.lines.size(), 1u);
  ASSERT_EQ(l.lines[0].points.size(), 2u);
  EXPECT_EQ(l.lines[0].points[1], (Vec3{1060, 9, 0}));
  ASSERT_EQ(l.lines[0].breaks.size(), 1u);
  EXPECT_EQ(l.lines[0].breaks[0].segment, 1);
  EXPECT_EQ(l.lines[0].breaks[0].breaks.at(0).start, (Vec3{1, 1, 0}));
  EXPECT_EQ(m.style, 0xD8u);
  EXPECT_EQ(m.overrides, 279552);
  EXPECT_EQ(m.textColor, -1056964608);
  EXPECT_EQ(m.blockScale, (Vec3{2, 2, 2}));
  ASSERT_EQ(m.labels.size(), 1u);
  EXPECT_EQ(m.labels[0].attdef, 0x99u);
  EXPECT_EQ(m.labels[0].text, "VALUE");
  EXPECT_EQ(m.common.graphics, std::vector<std::string>{"abc"});
}

// Block content with two leaders, arrows and a line of its own look, written and read back; the
// sections are opened and closed in order and the text part is left out.
TEST(ViewsAnnotation, MultiLeaderBlockContentWritten) {
  ke::MultiLeader m;
  m.contentType = 1;
  m.context.hasBlock = true;
  m.context.block.block = 0x2A;
  m.context.block.matrix.assign(16, 0.5);
  for (int k = 0; k < 2; ++k) {
    ke::MLeaderLeader l;
    l.index = k;
    ke::MLeaderLine n;
    n.points = {{0, 0, 0}, {double(k), 1, 0}};
    n.overrides = k;  // the second line has its own look
    n.color = k ? 5 : n.color;
    l.lines.push_back(n);
    m.context.leaders.push_back(l);
  }
  m.arrows = {{1, 0x30}};
  const Object o = ke::encode(m);
  EXPECT_EQ(roundTrip(m), m);
  EXPECT_EQ(count(o, 304), 2);  // two lines, no text
  EXPECT_EQ(count(o, 47), 16);
  EXPECT_EQ(count(o, 92), 2);   // the second line's colour and the multileader's text colour
  const int open = indexOf(o, 300), leader = indexOf(o, 302), close = indexOf(o, 301);
  ASSERT_TRUE(open >= 0 && leader > open && close > leader);
  EXPECT_EQ(indexOf(o, 303, leader), indexOf(o, 302, leader + 1) - 1);  // one leader ends, the next begins
  EXPECT_GT(indexOf(o, 345), close);
}

// MTEXT: columns as a DWG record gives them (heights in 50 after the column type, no rotation),
// as an embedded object after 101 (whose codes must not reach the main part), a background, and a
// long text split between whole characters.
TEST(ViewsAnnotation, MTextColumnsBackgroundAndPieces) {
  ke::MText m;
  ASSERT_TRUE(ke::decode(record("MTEXT", {S(100, "AcDbEntity"), S(8, "0"), S(100, "AcDbMText"), R(40, 2.5),
                                           S(1, "x"), I(75, 2), I(76, 2), R(48, 10), R(49, 1), I(79, 0), I(78, 0),
                                           R(50, 4), R(50, 6)}),
                         m));
  EXPECT_EQ(m.rotation, 0);
  EXPECT_EQ(m.columnHeights, (std::vector<double>{4, 6}));
  EXPECT_EQ(m.columnCount, 2);
  EXPECT_EQ(roundTrip(m), m);

  ASSERT_TRUE(ke::decode(record("MTEXT", {S(100, "AcDbEntity"), S(8, "0"), S(100, "AcDbMText"), R(40, 100),
                                           R(41, 86), S(1, "X"), R(50, 30), I(73, 1), R(44, 1),
                                           S(101, "Embedded Object"), I(70, 1), R(11, 1657), R(40, 86.4),
                                           R(41, 7), I(71, 1), I(72, 3), R(44, 20), R(45, 2), I(73, 0), I(74, 1),
                                           R(46, 9), R(46, 8)}),
                         m));
  EXPECT_EQ(m.height, 100);
  EXPECT_EQ(m.width, 86);
  EXPECT_EQ(m.rotation, 30);
  EXPECT_EQ(m.lineSpacing, 1);
  EXPECT_EQ(m.xDirection, (Vec3{1, 0, 0}));
  EXPECT_EQ(m.columnType, 1);
  EXPECT_EQ(m.columnCount, 3);
  EXPECT_EQ(m.columnWidth, 20);
  EXPECT_TRUE(m.columnFlowReversed);
  EXPECT_EQ(m.columnHeights, (std::vector<double>{9, 8}));
  EXPECT_EQ(roundTrip(m), m);

  ke::MText t;
  t.text = std::string(249, 'a') + "\xC3\xA9" + std::string(10, 'b');  // é across the 250-byte edge
  Object o = ke::encode(t);
  EXPECT_EQ(count(o, 90), 0);  // no background, none written
  EXPECT_EQ(count(o, 75), 0);
  ASSERT_EQ(count(o, 3), 1);
  EXPECT_EQ(o.body[size_t(indexOf(o, 3))].s.size(), 249u);
  t.bgFill = 1;
  t.bgTrueColor = 0x123456;
  o = ke::encode(t);
  EXPECT_GT(indexOf(o, 421), indexOf(o, 44));
  EXPECT_EQ(roundTrip(t), t);
}

// Attributes: the vertical alignment a DWG record gives in the text part, the lock alone (a 280
// after the tag is not the version), and a multi-line definition with its embedded MTEXT.
TEST(ViewsAnnotation, AttributesAndEmbeddedMText) {
  ke::Attribute a;
  std::vector<Tag> b = {S(100, "AcDbEntity"), S(8, "0"), S(100, "AcDbText")};
  P(b, 10, 1, 2, 0);
  b.insert(b.end(), {R(40, 2.5), S(1, "42"), I(74, 2), S(100, "AcDbAttribute"), S(2, "NUM"), I(73, 0), I(70, 8),
                     I(280, 1)});
  ASSERT_TRUE(ke::decode(record("ATTRIB", b), a));
  EXPECT_EQ(a.vAlign, 2);
  EXPECT_EQ(a.version, 0);
  EXPECT_TRUE(a.lockPosition);
  EXPECT_EQ(a.flags, 8);
  EXPECT_EQ(a.value, "42");
  EXPECT_EQ(roundTrip(a), a);

  ke::AttributeDefinition d;
  b = {S(100, "AcDbEntity"), S(8, "0"), S(100, "AcDbText"), R(40, 0.4), S(1, ""), S(100, "AcDbAttributeDefinition"),
       I(280, 0), S(3, "Enter:"), S(2, "MULTI"), I(70, 0), I(74, 3), I(280, 1), I(71, 4), I(72, 0)};
  P(b, 11, 954.8, 6.4, 0);
  b.push_back(S(101, "Embedded Object"));
  P(b, 10, 954.8, 6.4, 0);
  b.insert(b.end(), {R(40, 0.41), R(41, 0), I(71, 1), I(72, 5), S(1, "two\\Plines"), I(73, 1), R(44, 1)});
  ASSERT_TRUE(ke::decode(record("ATTDEF", b), d));
  EXPECT_EQ(d.prompt, "Enter:");
  EXPECT_EQ(d.tag, "MULTI");
  EXPECT_EQ(d.fieldLength, 0);  // the MTEXT's 73 stays in the MTEXT
  EXPECT_EQ(d.vAlign, 3);
  EXPECT_EQ(d.lineKind, 4);
  EXPECT_EQ(d.mtextAlignPoint, (Vec3{954.8, 6.4, 0}));
  ASSERT_TRUE(d.hasMText);
  EXPECT_EQ(d.mtext.text, "two\\Plines");
  EXPECT_EQ(d.mtext.attachment, 1);
  EXPECT_EQ(d.mtext.direction, 5);
  const Object o = ke::encode(d);
  const int at = indexOf(o, 101);
  ASSERT_GT(at, 0);
  EXPECT_EQ(o.body[size_t(at) + 1].code, 10);  // the MTEXT's groups follow without markers
  EXPECT_EQ(indexOf(o, 100, at), -1);
  EXPECT_EQ(roundTrip(d), d);
}

// Images and wipeouts: size and clip vertices are 2D, the count follows the vertices, graphics
// after the image part belong to the entity; viewports: 2D points and DWG's frozen-layer code.
TEST(ViewsAnnotation, RasterAndViewportPoints) {
  ke::Wipeout w;
  w.pixelsU = 640;
  w.pixelsV = 480;
  w.clipType = 2;
  w.clipVertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 0}};
  w.clipCount = 4;
  Object o = ke::encode(w);
  EXPECT_EQ(o.type, "WIPEOUT");
  EXPECT_EQ(count(o, 14), 4);
  EXPECT_EQ(count(o, 34), 0);
  EXPECT_EQ(count(o, 33), 0);
  EXPECT_EQ(o.find(91)->i, 4);
  EXPECT_EQ(indexOf(o, 13), indexOf(o, 32) + 1);
  EXPECT_EQ(indexOf(o, 14), indexOf(o, 91) + 1);
  EXPECT_EQ(roundTrip(w), w);
  o.body.insert(o.body.end(), {I(92, 3), S(310, "xyz")});
  ke::Wipeout g;
  ASSERT_TRUE(ke::decode(o, g));
  EXPECT_EQ(g.common.graphics, std::vector<std::string>{"xyz"});
  EXPECT_EQ(g.clipVertices, w.clipVertices);

  ke::Viewport v;
  ASSERT_TRUE(ke::decode(record("VIEWPORT", {S(100, "AcDbEntity"), S(8, "0"), S(100, "AcDbViewport"), R(40, 24),
                                              R(12, 7.5), R(22, 4), R(14, 0.5), R(24, 0.25),
                                              Tag::handle(341, 0x10), Tag::handle(341, 0x11)}),
                         v));
  EXPECT_EQ(v.viewCenter, (Vec3{7.5, 4, 0}));
  EXPECT_EQ(v.snapSpacing, (Vec3{0.5, 0.25, 0}));
  EXPECT_EQ(v.frozenLayers, (std::vector<ke::Handle>{0x10, 0x11}));
  o = ke::encode(v);
  EXPECT_EQ(count(o, 331), 2);
  EXPECT_EQ(count(o, 32), 0);
  EXPECT_EQ(roundTrip(v), v);
}

// Vertex identifiers of a light polyline, only where given.
TEST(ViewsAnnotation, PolylineVertexIds) {
  ke::LwPolyline p;
  p.vertices = {{0, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0.5, 7}};
  p.count = 2;
  const Object o = ke::encode(p);
  EXPECT_EQ(count(o, 91), 1);
  EXPECT_EQ(indexOf(o, 91), indexOf(o, 42) + 1);
  EXPECT_EQ(roundTrip(p), p);
}

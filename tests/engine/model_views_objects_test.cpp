// The hooks of the object views: paired and nested groups, free data, groups written only when
// set, and the types whose two parts each have a hook.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/model/entities.h"

using namespace kel::engine;

namespace {

Object rec(const char* type, std::initializer_list<Tag> body) {
  Object o;
  o.type = type;
  o.body = body;
  return o;
}
Tag S(int c, const char* v) { return Tag::str(c, v); }
Tag I(int c, int64_t v) { return Tag::integer(c, v); }
Tag R(int c, double v) { return Tag::real(c, v); }
Tag H(int c, Handle h) { return Tag::handle(c, h); }

std::vector<int> codes(const Object& o) {
  std::vector<int> out;
  for (const auto& t : o.body) out.push_back(t.code);
  return out;
}
// The groups of `o` from the marker `sub` up to the next marker.
std::vector<int> codesIn(const Object& o, const char* sub) {
  std::vector<int> out;
  bool in = false;
  for (const auto& t : o.body) {
    if (t.code == 100) in = t.s == sub;
    else if (in) out.push_back(t.code);
  }
  return out;
}

template <class T>
T roundTrip(const T& v) {
  T back;
  EXPECT_TRUE(decode(encode(v), back));
  return back;
}

}  // namespace

TEST(ViewsObjects, DictionaryEntriesKeepTheirOwnershipAndDefault) {
  // Mixed soft and hard entries, and a handle that follows no name.
  Object o = rec("ACDBDICTIONARYWDFLT", {S(100, "AcDbDictionary"), I(280, 1), I(281, 2), H(350, 0x99), S(3, "A"),
                                         H(360, 0x10), S(3, "B"), H(350, 0x11), S(100, "AcDbDictionaryWithDefault"),
                                         H(340, 0x20)});
  DictionaryWithDefault d;
  ASSERT_TRUE(decode(o, d));
  EXPECT_TRUE(d.hardOwner);
  EXPECT_EQ(d.cloning, 2);
  ASSERT_EQ(d.entries.size(), 2u);
  EXPECT_EQ(d.entries[0], (DictionaryEntry{"A", 0x10, true}));
  EXPECT_EQ(d.entries[1], (DictionaryEntry{"B", 0x11, false}));
  EXPECT_EQ(d.defaultObject, 0x20u);

  const Object e = encode(d);
  EXPECT_EQ(codesIn(e, "AcDbDictionary"), (std::vector<int>{280, 281, 3, 360, 3, 350}));
  EXPECT_EQ(codesIn(e, "AcDbDictionaryWithDefault"), (std::vector<int>{340}));
  EXPECT_EQ(roundTrip(d), d);
  // A plain dictionary does not take the other type's records.
  Dictionary plain;
  EXPECT_FALSE(decode(o, plain));
  // Before R2000 there are no flags.
  EXPECT_EQ(codes(encode(d, 1014)), (std::vector<int>{100, 3, 360, 3, 350, 100, 340}));
}

TEST(ViewsObjects, XrecordKeepsItsDataAsWritten) {
  // Data that looks like structure (markers, brackets, a second 280, a pointer) stays data.
  Object o = rec("XRECORD", {S(100, "AcDbXrecord"), I(280, 3), S(102, "{APP"), I(280, 7), S(100, "AcDbOther"),
                             H(330, 0x5A), R(10, 1.5), R(20, 2.5), S(310, "bin"), S(102, "}"), I(1071, 9)});
  o.body[8].kind = ValueKind::Binary;
  Xrecord x;
  ASSERT_TRUE(decode(o, x));
  EXPECT_EQ(x.cloning, 3);
  ASSERT_EQ(x.data.size(), 9u);
  EXPECT_EQ(x.data[1].code, 280);
  EXPECT_EQ(x.data[6].kind, ValueKind::Binary);
  const Object e = encode(x);
  ASSERT_EQ(e.body.size(), o.body.size());
  EXPECT_EQ(codes(e), codes(o));
  EXPECT_EQ(roundTrip(x), x);

  // Data that does not start with the flag leaves the default; equality sees values and kinds.
  Xrecord y;
  ASSERT_TRUE(decode(rec("XRECORD", {S(100, "AcDbXrecord"), S(1, "text"), R(40, 2)}), y));
  EXPECT_EQ(y.cloning, 1);
  EXPECT_EQ(y.data.size(), 2u);
  Xrecord z = y;
  z.data[1] = R(40, 3);
  EXPECT_NE(y, z);
  z.data[1] = I(40, 2);
  z.data[1].kind = ValueKind::Int64;
  EXPECT_NE(y, z);
}

TEST(ViewsObjects, LayoutHooksWriteEachPartsOptionalHandles) {
  Layout l;
  l.pageSetupName = "Setup";
  l.name = "Sheet 1";
  l.plotFlags = 16;
  l.layoutFlags = 2;
  l.limitsMaxX = 420;
  l.blockRecord = 0x58;
  const Object bare = encode(l);
  const std::vector<int> layoutCodes = codesIn(bare, "AcDbLayout");
  EXPECT_EQ(layoutCodes.front(), 1);
  EXPECT_EQ(layoutCodes.back(), 330);  // no null 331/345/346
  EXPECT_EQ(codesIn(bare, "AcDbPlotSettings").back(), 149);

  l.shadePlot = 0x70;
  l.lastViewport = 0x71;
  l.baseUcs = 0x73;
  const Object full = encode(l);
  EXPECT_EQ(codesIn(full, "AcDbPlotSettings").back(), 333);
  const std::vector<int> tail = codesIn(full, "AcDbLayout");
  EXPECT_EQ(std::vector<int>(tail.end() - 3, tail.end()), (std::vector<int>{330, 331, 346}));
  const Layout back = roundTrip(l);
  EXPECT_EQ(back, l);
  EXPECT_EQ(back.pageSetupName, "Setup");  // the two 1s and 70s stay in their parts
  EXPECT_EQ(back.plotFlags, 16);
  EXPECT_EQ(back.layoutFlags, 2);
  // A page setup alone is the first part.
  const Object ps = encode(PlotSettings(l));
  EXPECT_EQ(ps.type, "PLOTSETTINGS");
  const std::vector<int> pc = codes(ps);
  EXPECT_EQ(std::count(pc.begin(), pc.end(), 100), 1);
  EXPECT_EQ(pc.back(), 333);
}

TEST(ViewsObjects, PairedListsSortentsAndLayerIndex) {
  SortentsTable s;
  ASSERT_TRUE(decode(rec("SORTENTSTABLE", {S(100, "AcDbSortentsTable"), H(330, 0x1F), H(5, 0x77), H(331, 0x353),
                                           H(5, 0x35A), H(331, 0x35A), H(5, 0x354)}),
                     s));
  EXPECT_EQ(s.block, 0x1Fu);
  ASSERT_EQ(s.entries.size(), 2u);  // the 5 before any entity is dropped
  EXPECT_EQ(s.entries[1], (SortentsEntry{0x35A, 0x354}));
  EXPECT_EQ(codes(encode(s)), (std::vector<int>{100, 330, 331, 5, 331, 5}));
  EXPECT_EQ(roundTrip(s), s);

  LayerIndex li;
  li.timestamp = 2459000.5;
  li.entries = {{"0", 0x40, 3}, {"Walls", 0x41, 12}};
  const Object e = encode(li);
  EXPECT_EQ(codesIn(e, "AcDbIndex"), (std::vector<int>{40}));
  EXPECT_EQ(codesIn(e, "AcDbLayerIndex"), (std::vector<int>{8, 360, 90, 8, 360, 90}));
  EXPECT_EQ(roundTrip(li), li);
  SpatialIndex si{2459000.25};
  EXPECT_EQ(codes(encode(si)), (std::vector<int>{100, 40, 100}));
  EXPECT_EQ(roundTrip(si), si);
}

TEST(ViewsObjects, SpatialFilterTellsFrontDistanceFromMatrices) {
  std::initializer_list<Tag> head = {S(100, "AcDbFilter"), S(100, "AcDbSpatialFilter"), I(70, 2), R(10, 1), R(20, 2),
                                     R(10, 3), R(20, 4), R(210, 0), R(220, 0), R(230, 1), R(11, 0), R(21, 0), R(31, 0),
                                     I(71, 1), I(72, 1), R(40, 7.5), I(73, 1), R(41, -2)};
  Object o = rec("SPATIAL_FILTER", head);
  for (int k = 0; k < 24; ++k) o.body.push_back(R(40, k));
  SpatialFilter f;
  ASSERT_TRUE(decode(o, f));
  EXPECT_EQ(f.boundary, (std::vector<SpatialFilter::Point2>{{1, 2}, {3, 4}}));
  EXPECT_EQ(f.frontDistance, 7.5);
  EXPECT_EQ(f.backDistance, -2);
  EXPECT_EQ(f.inverseInsert[0], 0);
  EXPECT_EQ(f.inverseInsert[11], 11);
  EXPECT_EQ(f.clipTransform[0], 12);
  EXPECT_EQ(f.clipTransform[11], 23);
  EXPECT_EQ(codes(encode(f)), codes(o));  // 2D points: no 30s

  // Without the front plane every 40 is a matrix value; the count follows the boundary.
  f.frontClip = 0;
  f.boundary.push_back({5, 6});
  const Object e = encode(f);
  EXPECT_EQ(e.find(70)->i, 3);
  EXPECT_EQ(std::count_if(e.body.begin(), e.body.end(), [](const Tag& t) { return t.code == 40; }), 24);
  const SpatialFilter back = roundTrip(f);
  EXPECT_EQ(back.count, 3);
  EXPECT_EQ(back.inverseInsert, f.inverseInsert);
  EXPECT_EQ(codesIn(e, "AcDbFilter"), std::vector<int>{});
}

TEST(ViewsObjects, DbColorWritesOnlyWhatIsGiven) {
  DbColor c;
  EXPECT_EQ(codes(encode(c)), (std::vector<int>{100}));
  c.trueColor = 0x336699;
  c.name = "RAL CLASSIC$RAL 1000";
  EXPECT_EQ(codes(encode(c)), (std::vector<int>{100, 420, 430}));
  c.index = 0;  // ByBlock is a value, not "none"
  EXPECT_EQ(roundTrip(c), c);
}

TEST(ViewsObjects, GeoDataCurrentFormAndTheOldOneKeptAsRead) {
  GeoData g;
  g.coordinateType = 2;
  g.hostBlock = 0x1F;
  g.designPoint = {10, 20, 0};
  g.northX = 0.6;
  g.northY = 0.8;
  g.coordinateSystem = std::string(300, 'x') + "\xC3\xA9" + std::string(300, 'y');  // split between characters
  g.mesh = {{1, 2, 3, 4}, {5, 6, 7, 8}};
  g.faces = {{0, 1, 0}};
  const Object e = encode(g);
  const std::vector<int> c = codes(e);
  EXPECT_EQ(std::count(c.begin(), c.end(), 303), 2);
  EXPECT_EQ(e.find(93)->i, 2);
  EXPECT_EQ(roundTrip(g), g);
  for (const auto& t : e.body) EXPECT_LE(t.isText() ? t.s.size() : 0u, 255u) << t.code;

  // The 2009 form: 12/22 and 13/23 mean other things there, so its groups are kept whole.
  Object old = rec("GEODATA", {S(100, "AcDbGeoData"), I(90, 1), I(70, 0), H(330, 0x1F), R(40, 4702004.1),
                               R(12, -1181127.7), R(22, -8854428.8), R(13, -9.9), R(23, -60.2), S(3, "CIVIL3D_DATA_BEGIN"),
                               S(4, "CIVIL3D_DATA_END")});
  GeoData v1;
  ASSERT_TRUE(decode(old, v1));
  EXPECT_EQ(v1.version, 1);
  EXPECT_EQ(v1.legacy.size(), 9u);
  EXPECT_TRUE(v1.mesh.empty());
  EXPECT_EQ(codes(encode(v1)), codes(old));
}

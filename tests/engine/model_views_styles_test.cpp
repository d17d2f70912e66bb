// The typed views of the style objects: what their hooks make of the repeated and positional
// groups (elements, rows, the visual-style layouts, material maps), and which groups each version
// gets. Round trips of real records are the corpus check's.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "engine/model/entities.h"

using namespace kel::engine;

namespace {

// A record from "code value" pairs, each value typed by its code.
Object record(const char* type, const char* marker, const std::vector<std::pair<int, std::string>>& groups) {
  Object o;
  o.type = type;
  o.body.push_back(Tag::str(100, marker));
  for (const auto& [code, value] : groups) {
    switch (kindOf(code)) {
      case ValueKind::String: o.body.push_back(Tag::str(code, value)); break;
      case ValueKind::Double: o.body.push_back(Tag::real(code, std::stod(value))); break;
      case ValueKind::Handle: o.body.push_back(Tag::handle(code, std::stoull(value, nullptr, 16))); break;
      default: o.body.push_back(Tag::integer(code, std::stoll(value))); break;
    }
  }
  return o;
}

std::vector<int> codes(const Object& o) {
  std::vector<int> out;
  for (const auto& t : o.body) out.push_back(t.code);
  return out;
}

size_t countOf(const Object& o, int code) {
  size_t n = 0;
  for (const auto& t : o.body) n += t.code == code;
  return n;
}

template <class T>
T roundTrip(const T& v, int version = 1027) {
  T out;
  EXPECT_TRUE(decode(encode(v, version), out));
  return out;
}

}  // namespace

TEST(ViewsStyles, MlineStyleElementsTakeTheColoursAfterTheirOffsets) {
  // A fill colour with a true colour, then two elements, the second with a true colour too.
  const Object o = record("MLINESTYLE", "AcDbMlineStyle",
                          {{2, "TWO"}, {70, "1"}, {3, "d"}, {62, "3"}, {420, "65280"}, {51, "45"}, {52, "135"},
                           {71, "2"}, {49, "0.5"}, {62, "1"}, {6, "DASHED"}, {49, "-0.5"}, {62, "5"}, {420, "255"},
                           {6, "BYLAYER"}});
  MlineStyle s;
  ASSERT_TRUE(decode(o, s));
  EXPECT_EQ(s.fill, (StyleColor{3, 65280, ""}));
  EXPECT_EQ(s.startAngle, 45);
  EXPECT_EQ(s.endAngle, 135);
  ASSERT_EQ(s.elements.size(), 2u);
  EXPECT_EQ(s.elements[0].color, (StyleColor{1, -1, ""}));
  EXPECT_EQ(s.elements[0].linetype, "DASHED");
  EXPECT_EQ(s.elements[1].offset, -0.5);
  EXPECT_EQ(s.elements[1].color.trueColor, 255);

  // Without a fill colour the elements' colours stay theirs.
  MlineStyle bare;
  decode(record("MLINESTYLE", "AcDbMlineStyle", {{2, "B"}, {71, "1"}, {49, "0"}, {62, "2"}}), bare);
  EXPECT_EQ(bare.fill.index, 256);
  ASSERT_EQ(bare.elements.size(), 1u);
  EXPECT_EQ(bare.elements[0].color.index, 2);

  // The count follows the elements; the groups come in DXF order.
  s.elements.push_back({1.5, {}, "CENTER"});
  const Object e = encode(s);
  EXPECT_EQ(codes(e), (std::vector<int>{100, 2, 70, 3, 62, 420, 51, 52, 71, 49, 62, 6, 49, 62, 420, 6, 49, 62, 6}));
  EXPECT_EQ(e.integer(71), 3);
  MlineStyle back = roundTrip(s);
  s.count = 3;
  EXPECT_EQ(back, s);
}

TEST(ViewsStyles, MLeaderStyleWritesLaterGroupsOnlyForTheirReleases) {
  MLeaderStyle s;
  s.blockScale = {2, 3, 4};
  s.textColor = int32_t(0xC2FF0000u);
  s.bottomAttachment = 4;
  const Object e2013 = encode(s, 1027), e2004 = encode(s, 1018);
  for (int code : {179, 271, 272, 273, 298}) {
    EXPECT_EQ(countOf(e2013, code), 1u) << code;
    EXPECT_EQ(countOf(e2004, code), 0u) << code;
  }
  // The block scale sits between the block colour and its switch.
  const auto c = codes(e2013);
  const auto at = std::find(c.begin(), c.end(), 94) - c.begin();
  EXPECT_EQ(std::vector<int>(c.begin() + at, c.begin() + at + 5), (std::vector<int>{94, 47, 49, 140, 293}));
  EXPECT_EQ(roundTrip(s), s);
  MLeaderStyle old = roundTrip(s, 1018);
  EXPECT_EQ(old.bottomAttachment, 9);  // not in the older record: its default
  EXPECT_EQ(old.blockScale, s.blockScale);
}

TEST(ViewsStyles, TableStyleTellsTheVersionFromTheSuppressFlag) {
  std::vector<std::pair<int, std::string>> row = {{7, "Standard"}, {140, "0.2"}, {170, "2"}, {62, "1"}, {63, "7"},
                                                  {283, "1"}};
  for (int k = 0; k < 6; ++k) {
    row.push_back({274 + k, "-2"});
    row.push_back({284 + k, "1"});
    row.push_back({64 + k, "0"});
  }
  // Before R2007: no version, the one 280 is the suppress-title flag.
  std::vector<std::pair<int, std::string>> g = {{3, "T"}, {70, "1"}, {71, "0"}, {40, "0.1"}, {41, "0.2"},
                                                {280, "1"}, {281, "0"}};
  for (int r = 0; r < 3; ++r) g.insert(g.end(), row.begin(), row.end());
  TableStyle s;
  ASSERT_TRUE(decode(record("TABLESTYLE", "AcDbTableStyle", g), s));
  EXPECT_EQ(s.version, 0);
  EXPECT_TRUE(s.suppressTitle);
  EXPECT_EQ(s.flowDirection, 1);
  ASSERT_EQ(s.rows.size(), 3u);
  EXPECT_TRUE(s.rows[2].fillOn);
  EXPECT_EQ(s.rows[1].textColor.index, 1);

  // From R2007: the version opens the record, the flag follows.
  g.insert(g.begin(), {280, "2"});
  ASSERT_TRUE(decode(record("TABLESTYLE", "AcDbTableStyle", g), s));
  EXPECT_EQ(s.version, 2);
  EXPECT_TRUE(s.suppressTitle);

  // A true colour belongs to the colour before it; value formats are written from R2007 on.
  s.rows[0].borders[3].color.trueColor = 0x123456;
  s.rows[2].format = "%lu2";
  const Object e = encode(s, 1027), old = encode(s, 1018);
  EXPECT_EQ(countOf(e, 90), 3u);
  EXPECT_EQ(countOf(old, 90), 0u);
  EXPECT_EQ(countOf(old, 280), 1u);
  EXPECT_EQ(roundTrip(s), s);
  const TableStyle back = roundTrip(s, 1018);
  EXPECT_EQ(back.rows[0].borders[3].color.trueColor, 0x123456);
  EXPECT_TRUE(back.suppressTitle);
  EXPECT_EQ(back.rows[2].format, "");

  // A new style has the three standard rows.
  const TableStyle fresh;
  EXPECT_EQ(countOf(encode(fresh), 7), 3u);
  EXPECT_EQ(roundTrip(fresh), fresh);
}

TEST(ViewsStyles, VisualStyleKeepsEachLayout) {
  VisualStyle s;
  s.description = "Shaded";
  s.faceOpacity = 0.6;
  s.faceMonoColor = {3, 0x00FF00, ""};
  s.edgeSilhouetteColor = {1, -1, "BOOK$RED"};
  s.edgeHidePrecision = true;
  s.shadowType = 2;
  for (int16_t layout : {0, 1, 2}) {
    // Flags from R2010, the later settings from R2013.
    s.layout = layout;
    s.overrides = layout ? std::vector<int16_t>{1, 0, 1} : std::vector<int16_t>{};
    s.more = layout == 2 ? standardLaterSettings() : std::vector<VisualStyleSetting>{};
    const Object e = encode(s);
    VisualStyle back;
    ASSERT_TRUE(decode(e, back));
    EXPECT_EQ(back, s) << "layout " << layout;
    const auto c = codes(e);
    if (layout == 0) {
      // The legacy colour before the mono colour and its true colour after it; no flags.
      const auto at = std::find(c.begin(), c.end(), 62) - c.begin();
      EXPECT_EQ(std::vector<int>(c.begin() + at, c.begin() + at + 3), (std::vector<int>{62, 63, 421}));
      EXPECT_EQ(countOf(e, 176), 0u);
      EXPECT_EQ(countOf(e, 425), 0u);
    } else if (layout == 1) {
      EXPECT_EQ(countOf(e, 176), 28u);
      EXPECT_EQ(countOf(e, 421), 1u);
      EXPECT_EQ(countOf(e, 430), 1u);
    } else {
      EXPECT_EQ(countOf(e, 70), 2u);
      EXPECT_EQ(e.body[5].code, 70);
      EXPECT_EQ(asInt(e.body[5]), 58);
      EXPECT_EQ(countOf(e, 176), 58u);
      EXPECT_EQ(countOf(e, 1), 1u);  // the stroke texture of the standard later settings
    }
  }
  // The numbered layout by position: the seventh setting is the mono colour.
  std::vector<std::pair<int, std::string>> g = {{2, "X"}, {70, "4"}, {177, "3"}, {291, "1"}, {70, "29"}};
  for (int k = 0; k < 6; ++k) g.insert(g.end(), {{90, std::to_string(k)}, {176, "0"}});
  g.insert(g.end(), {{62, "4"}, {420, "255"}, {176, "1"}});
  for (int k = 7; k < 29; ++k) g.insert(g.end(), {{90, "7"}, {176, "0"}});
  VisualStyle n;
  ASSERT_TRUE(decode(record("VISUALSTYLE", "AcDbVisualStyle", g), n));
  EXPECT_EQ(n.type, 4);
  EXPECT_TRUE(n.internalUse);
  EXPECT_EQ(n.faceSpecular, 5);
  EXPECT_EQ(n.faceMonoColor, (StyleColor{4, 255, ""}));
  EXPECT_EQ(n.overrides, (std::vector<int16_t>{0, 0, 0, 0, 0, 0, 1}));
  ASSERT_EQ(n.more.size(), 1u);
  EXPECT_EQ(n.more[0].number, 7);
}

TEST(ViewsStyles, MaterialMapsAndColours) {
  Material m;
  m.name = "Brick";
  m.diffuse = {1, 0.8, int32_t(0xC2804020u)};
  m.specular.factor = 0.4;
  m.diffuseMap.file = "brick.png";
  m.diffuseMap.matrix = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  m.bumpMap.source = 0;
  m.opacityMap.source = 2;
  m.opacityMap.texture = 1;
  m.opacityMap.textureColor2 = {1, 0.5, int32_t(0xC2000080u)};
  m.refractionMap.matrix.assign(16, 0.5);
  m.gloss = 0.9;
  m.channels = 17;
  const Object e = encode(m);
  // The diffuse colour is given as it replaces the object's; the others are not.
  EXPECT_EQ(countOf(e, 91), 1u);
  EXPECT_EQ(countOf(e, 90), 0u);
  EXPECT_EQ(countOf(e, 98), 1u);  // the marble's vein colour
  EXPECT_EQ(countOf(e, 277), 1u);
  EXPECT_EQ(countOf(e, 43), 16u);
  EXPECT_EQ(countOf(e, 147), 16u);
  // Gloss comes between the diffuse map's matrix and the specular colour.
  const auto c = codes(e);
  const auto gloss = std::find(c.begin(), c.end(), 44) - c.begin();
  EXPECT_EQ(c[size_t(gloss - 1)], 43);
  EXPECT_EQ(c[size_t(gloss + 1)], 76);
  EXPECT_EQ(roundTrip(m), m);
  // The R2007 values are not in older records.
  const Material old = roundTrip(m, 1018);
  EXPECT_EQ(old.channels, 0);
  EXPECT_EQ(old.diffuseMap, m.diffuseMap);

  // A short record: what is not given keeps its default; a texture's groups go to the map whose
  // source they follow.
  Material d;
  ASSERT_TRUE(decode(record("MATERIAL", "AcDbMaterial",
                            {{1, "Global"}, {72, "0"}, {77, "0"}, {94, "63"}, {175, "2"}, {277, "0"}, {278, "1"},
                             {460, "0.3"}, {95, "42"}, {176, "3"}}),
                     d));
  EXPECT_EQ(d.opacityMap.textureColor1, (MaterialColor{1, 0.3, 42}));
  EXPECT_EQ(d.opacityMap.projection, 3);
  EXPECT_EQ(d.diffuseMap.textureColor1, MaterialColor{});
  EXPECT_EQ(d.diffuseMap.source, 0);
  EXPECT_EQ(d.specularMap.source, 0);
  EXPECT_EQ(d.reflectionMap.source, 1);
  EXPECT_EQ(d.opacity, 1);
  EXPECT_EQ(d.channels, 63);
}

// Lights, the sun, helixes and visual styles in DWG: the corpus records decode in every release
// (with the values the same drawing's DXF gives), and a drawing holding them survives writing and
// reading back, visual styles given in any of their three DXF forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/dwg/read_dwg.h"
#include "engine/dwg/write_dwg.h"
#include "engine/model/drawing.h"
#include "engine/model/structure.h"
#include "tests/engine/dwg_family_test_util.h"

using namespace kel::dwg;
using kel::engine::Drawing;
using kel::engine::Handle;
using kel::engine::Object;
using kel::engine::Tag;
namespace fs = std::filesystem;

namespace {

using namespace kel::test;

const char* const kTypes[] = {"LIGHT", "SUN", "HELIX", "VISUALSTYLE", "MATERIAL"};

// The property values of a visual style in its R2013 form: what follows the second 70, without
// the flags and true colours.
std::vector<Tag> visualProps(const Object& o) {
  std::vector<Tag> out;
  int seen = 0;
  for (const auto& t : o.body) {
    if (seen < 2) {
      seen += t.code == 70;
      continue;
    }
    if (t.code != 176 && t.code != 420) out.push_back(t);
  }
  return out;
}

const Object* named(const Drawing& d, const std::string& type, const std::string& name) {
  for (const Object* o : ofType(d, type))
    if (o->text(2) == name || o->text(1) == name) return o;
  return nullptr;
}

}  // namespace

TEST(DwgFamilyRender, CorpusRecordsDecodeInEveryRelease) {
  const fs::path dir = fs::path(KEL_SHARED_DIR) / "corpus" / "dwg";
  if (!fs::exists(dir)) GTEST_SKIP() << "no corpus";
  std::map<std::string, size_t> raw, decoded;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().extension() != ".dwg") continue;
    Drawing d;
    DwgReadInfo info;
    readDwgBytes(d, load(e.path()), &info);
    for (const char* t : kTypes) {
      if (info.rawTypes.count(t)) raw[t] += info.rawTypes.at(t);
      decoded[t] += ofType(d, t).size();
    }
  }
  for (const char* t : kTypes) {
    EXPECT_EQ(raw[t], 0u) << t;
    EXPECT_GT(decoded[t], 0u) << t;
  }

  // One drawing saved as every release: the values its DXF gives. The visual style's layout
  // differs before R2010, in R2010 and from R2013 on.
  for (const char* ver : {"r14", "2000", "2004", "2007", "2010", "2013", "2018"}) {
    SCOPED_TRACE(ver);
    const std::string v = ver;
    Drawing d;
    ASSERT_EQ(readDwgBytes(d, load(dir / ("libredwg_example_" + v + ".dwg"))), Acad::eOk);
    const Object* light = named(d, "LIGHT", "Spotlight1");
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(light->integer(70), 3);
    EXPECT_DOUBLE_EQ(light->real(40), 5.4);
    EXPECT_NEAR(light->real(50), 45, 1e-9);  // hotspot and falloff in degrees
    EXPECT_NEAR(light->real(51), 50, 1e-9);
    auto suns = ofType(d, "SUN");
    ASSERT_EQ(suns.size(), 1u);
    EXPECT_EQ(suns[0]->integer(92), 54000000);
    EXPECT_EQ(suns[0]->integer(63), 7);
    if (v != "r14" && v != "2000") {
      EXPECT_EQ(suns[0]->integer(421), 0xFFFFFF);
    }

    const Object* sand = named(d, "MATERIAL", v == "r14" ? "GOLDEN_SAND" : "Golden Sand");
    ASSERT_NE(sand, nullptr);
    EXPECT_EQ(sand->integer(90), -1027297396);  // ambient colour, overridden
    EXPECT_NEAR(sand->real(44), 0.9, 1e-7);      // gloss, before the specular map as in DXF
    EXPECT_NEAR(sand->real(145), 1.4, 1e-7);
    if (v >= "2007" && v != "r14") {
      EXPECT_NEAR(sand->real(468), 0.0375, 1e-7);
    }

    const Object* wire = named(d, "VISUALSTYLE", "2dWireframe");
    ASSERT_NE(wire, nullptr);
    EXPECT_EQ(wire->integer(70), 4);
    if (v == "2010") {
      EXPECT_EQ(ints(*wire, 176).size(), 28u);
      EXPECT_EQ(wire->integer(177), 2);
      EXPECT_EQ(wire->integer(63), 7);
      EXPECT_EQ(wire->integer(421), 0xFFFFFF);
      EXPECT_EQ(wire->integer(65), 257);  // "no colour", stored as a colour word
    } else if (v == "2013" || v == "2018") {
      EXPECT_EQ(wire->integer(177), 3);
      auto props = visualProps(*wire);
      ASSERT_EQ(props.size(), 58u);
      EXPECT_EQ(ints(*wire, 70), (std::vector<int64_t>{4, 58}));
      EXPECT_EQ(props[1].i, 2);  // lighting quality
      EXPECT_DOUBLE_EQ(props[5].d, 30.0);
      EXPECT_EQ(props[6].i, 7);
      EXPECT_EQ(props[10].i, 257);
      EXPECT_EQ(props[54].s, "strokes_ogs.tif");
      EXPECT_EQ(ints(*wire, 176)[51], 0);  // a property the style leaves unset
    } else {
      // The old order: the face modifier after the colour mode, the intersection linetype
      // after the obscured one, R2007's extra value at the end.
      std::vector<int> codes;
      for (const auto& t : wire->body)
        if (t.code != 100) codes.push_back(t.code);
      auto at = [&](int c) { return std::find(codes.begin(), codes.end(), c) - codes.begin(); };
      EXPECT_EQ(at(90), at(73) + 1);
      EXPECT_EQ(at(175), at(75) + 1);
      EXPECT_EQ(wire->integer(63), 7);
      EXPECT_EQ(wire->integer(65), 257);
      EXPECT_DOUBLE_EQ(wire->real(40), -0.6);
      EXPECT_EQ(wire->integer(93), 1);
      EXPECT_EQ(wire->integer(291), 0);
      EXPECT_EQ(codes.back(), 45);
    }
  }

  // A helix: its spline part and its own.
  for (const char* ver : {"2000", "2007", "2018"}) {
    SCOPED_TRACE(ver);
    Drawing d;
    ASSERT_EQ(readDwgBytes(d, load(dir / (std::string("libredwg_") + ver + "_Helix.dwg"))), Acad::eOk);
    auto helix = ofType(d, "HELIX");
    ASSERT_EQ(helix.size(), 1u);
    EXPECT_NEAR(reals(*helix[0], 40).back(), 6.827831659934211, 1e-9);  // the radius, after the knots
    EXPECT_EQ(reals(*helix[0], 41).back(), 3);                  // turns
    EXPECT_EQ(helix[0]->integer(290), 1);
    EXPECT_GT(helix[0]->integer(73), 3);
  }
}

// A light, a sun, a helix and visual styles in the three DXF forms written as AC1027 and read back.
TEST(DwgFamilyRender, DrawingRoundTripKeepsValues) {
  SampleDrawing sample;
  Drawing& d = sample.d;
  const Handle root = sample.root, ms = sample.ms;
  auto add = [&](std::vector<Object>& into, const std::string& type, Handle owner, std::vector<Tag> body) {
    sample.add(into, type, owner, std::move(body));
  };
  add(d.entities, "LIGHT", ms,
      {Tag::str(100, "AcDbEntity"), Tag::str(8, "0"), Tag::str(100, "AcDbLight"), Tag::integer(90, 1),
       Tag::str(1, "Lamp"), Tag::integer(70, 3), Tag::integer(290, 1), Tag::integer(63, 5), Tag::real(40, 2.5),
       Tag::real(10, 1), Tag::real(20, 2), Tag::real(30, 3), Tag::real(11, 4), Tag::real(21, 5), Tag::real(31, 0),
       Tag::integer(72, 2), Tag::real(41, 1), Tag::real(42, 10), Tag::real(50, 45), Tag::real(51, 50),
       Tag::integer(293, 1), Tag::integer(91, 512), Tag::integer(280, 3)});
  // A helix of control points (degree 3, four points) with its axis.
  std::vector<Tag> helix = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0"),    Tag::str(100, "AcDbSpline"),
                            Tag::integer(70, 8),         Tag::integer(71, 3),  Tag::integer(72, 8),
                            Tag::integer(73, 4)};
  for (double k : {0, 0, 0, 0, 1, 1, 1, 1}) helix.push_back(Tag::real(40, k));
  for (int i = 0; i < 4; ++i) {
    helix.push_back(Tag::real(10, i));
    helix.push_back(Tag::real(20, i * i));
    helix.push_back(Tag::real(30, 0.25 * i));
  }
  for (Tag t : {Tag::str(100, "AcDbHelix"), Tag::integer(90, 31), Tag::integer(91, 8), Tag::real(10, 0),
                Tag::real(20, 0), Tag::real(30, 0), Tag::real(11, 2), Tag::real(21, 0), Tag::real(31, 0),
                Tag::real(12, 0), Tag::real(22, 0), Tag::real(32, 1), Tag::real(40, 2), Tag::real(41, 4.5),
                Tag::real(42, 0.25), Tag::integer(290, 1), Tag::integer(280, 1)})
    helix.push_back(t);
  add(d.entities, "HELIX", ms, helix);
  add(d.objects, "SUN", root,
      {Tag::str(100, "AcDbSun"), Tag::integer(90, 1), Tag::integer(290, 1), Tag::integer(63, 7), Tag::real(40, 0.75),
       Tag::integer(291, 1), Tag::integer(91, 2458383), Tag::integer(92, 54000000), Tag::integer(70, 1),
       Tag::integer(71, 256), Tag::integer(280, 1)});
  // The same style in the pre-R2010 form, the R2010 form and the R2013 list.
  std::vector<Tag> old = {Tag::str(100, "AcDbVisualStyle"), Tag::str(2, "Old"), Tag::integer(70, 1),
                          Tag::integer(71, 2), Tag::integer(72, 1), Tag::integer(73, 1), Tag::integer(90, 2),
                          Tag::real(40, -0.6), Tag::real(41, 30), Tag::integer(62, 5), Tag::integer(63, 3),
                          Tag::integer(74, 1), Tag::integer(91, 4), Tag::integer(64, 7), Tag::integer(65, 257),
                          Tag::integer(75, 1), Tag::integer(175, 1), Tag::real(42, 1), Tag::integer(92, 8),
                          Tag::integer(66, 7), Tag::real(43, 1), Tag::integer(76, 1), Tag::integer(77, 6),
                          Tag::integer(78, 2), Tag::integer(67, 7), Tag::integer(79, 5), Tag::integer(170, 0),
                          Tag::integer(171, 0), Tag::integer(290, 0), Tag::integer(174, 0), Tag::integer(93, 13),
                          Tag::real(44, 0), Tag::integer(173, 0), Tag::integer(291, 0), Tag::real(45, 0)};
  add(d.objects, "VISUALSTYLE", root, old);
  std::vector<Tag> r2010 = {Tag::str(100, "AcDbVisualStyle"), Tag::str(2, "Mid"), Tag::integer(70, 1),
                            Tag::integer(177, 2), Tag::integer(291, 1)};
  for (size_t i = 3; i < old.size(); ++i) {
    if (old[i].code == 62 || old[i].code == 174 || old[i].code == 291 || old[i].code == 45) continue;
    r2010.push_back(old[i]);
    r2010.push_back(Tag::integer(176, old[i].code == 92 ? 0 : 1));
  }
  add(d.objects, "VISUALSTYLE", root, r2010);
  std::vector<Tag> list = {Tag::str(100, "AcDbVisualStyle"), Tag::str(2, "New"), Tag::integer(70, 1),
                           Tag::integer(177, 3), Tag::integer(291, 0), Tag::integer(70, 58)};
  for (int i = 0; i < 58; ++i) {
    if (i == 54) list.push_back(Tag::str(1, "pencil.tif"));
    else if (i == 6) list.push_back(Tag::integer(62, 3));
    else if (i == 4) list.push_back(Tag::real(40, 0.25));
    else if (i == 24 || (i >= 28 && i < 37)) list.push_back(Tag::integer(290, i % 2));
    else if (i == 9 || i == 10 || i == 15 || i == 20 || i == 41 || i == 44 || i == 51)
      list.push_back(Tag::integer(62, 7));
    else if (i == 5 || i == 13 || i == 16 || i == 26 || i == 38 || i == 39 || i == 52 || i == 56 || i == 57)
      list.push_back(Tag::real(40, 1));
    else if (i == 45 || i == 49 || i == 55) list.push_back(Tag::integer(290, 1));
    else list.push_back(Tag::integer(90, i));
    list.push_back(Tag::integer(176, i == 51 ? 0 : 1));
  }
  add(d.objects, "VISUALSTYLE", root, list);
  // A material as DXF gives it: defaults left out, a file map with its matrix.
  std::vector<Tag> mat = {Tag::str(100, "AcDbMaterial"), Tag::str(1, "Tiles"), Tag::str(2, "brown"),
                          Tag::integer(70, 1), Tag::integer(90, -1023410177), Tag::str(3, "tiles.png")};
  for (int i = 0; i < 16; ++i) mat.push_back(Tag::real(43, i % 5 == 0 ? 0.5 : 0));
  for (Tag t : {Tag::real(44, 0.85), Tag::integer(77, 0), Tag::real(143, 0.55), Tag::str(8, "bump.png"),
                Tag::real(145, 1.4), Tag::real(468, 0.25), Tag::integer(94, 2)})
    mat.push_back(t);
  add(d.objects, "MATERIAL", root, mat);
  kel::engine::Notes notes;
  kel::engine::completeStructure(d, notes);

  Drawing back;
  DwgReadInfo ri;
  ASSERT_TRUE(writeAndReadBack(d, back, {std::begin(kTypes), std::end(kTypes)}, nullptr, &ri));
  EXPECT_EQ(ri.raw, 0u);

  const Object* light = named(back, "LIGHT", "Lamp");
  ASSERT_NE(light, nullptr);
  EXPECT_EQ(light->integer(72), 2);
  EXPECT_NEAR(light->real(50), 45, 1e-9);
  EXPECT_NEAR(light->real(51), 50, 1e-9);
  EXPECT_EQ(reals(*light, 10), (std::vector<double>{1}));
  EXPECT_EQ(light->integer(91), 512);
  EXPECT_EQ(light->integer(280), 3);
  EXPECT_EQ(light->find(295), nullptr);

  auto h = ofType(back, "HELIX");
  ASSERT_EQ(h.size(), 1u);
  EXPECT_EQ(reals(*h[0], 40), (std::vector<double>{0, 0, 0, 0, 1, 1, 1, 1, 2}));  // knots, radius
  EXPECT_EQ(reals(*h[0], 41), (std::vector<double>{4.5}));
  EXPECT_EQ(reals(*h[0], 12), (std::vector<double>{0}));
  EXPECT_EQ(reals(*h[0], 10).size(), 5u);  // four control points and the axis base
  EXPECT_EQ(h[0]->integer(90), 31);

  auto sun = ofType(back, "SUN");
  ASSERT_EQ(sun.size(), 1u);
  EXPECT_EQ(sun[0]->integer(92), 54000000);
  EXPECT_DOUBLE_EQ(sun[0]->real(40), 0.75);
  EXPECT_EQ(sun[0]->integer(70), 1);

  const Object* tiles = named(back, "MATERIAL", "Tiles");
  ASSERT_NE(tiles, nullptr);
  EXPECT_EQ(tiles->text(2), "brown");
  EXPECT_EQ(tiles->integer(90), -1023410177);
  EXPECT_EQ(tiles->integer(91, 0), 0);  // diffuse colour not overridden: none stored
  EXPECT_EQ(tiles->integer(72), 1);     // a file map unless told
  EXPECT_EQ(tiles->text(3), "tiles.png");
  EXPECT_EQ(reals(*tiles, 43)[5], 0.5);
  EXPECT_EQ(reals(*tiles, 47)[5], 1);  // a map without a matrix gets the identity
  EXPECT_EQ(tiles->integer(73), 2);
  EXPECT_DOUBLE_EQ(tiles->real(42), 1);
  EXPECT_DOUBLE_EQ(tiles->real(44), 0.85);
  EXPECT_EQ(tiles->text(8), "bump.png");
  EXPECT_EQ(tiles->integer(273), 0);
  EXPECT_DOUBLE_EQ(tiles->real(140), 1);
  EXPECT_DOUBLE_EQ(tiles->real(468), 0.25);
  EXPECT_EQ(tiles->integer(94), 2);

  // Every form comes back as the R2013 list with its values in place.
  for (const char* name : {"Old", "Mid", "New"}) {
    SCOPED_TRACE(name);
    const Object* vs = named(back, "VISUALSTYLE", name);
    ASSERT_NE(vs, nullptr);
    auto props = visualProps(*vs);
    ASSERT_EQ(props.size(), 58u);
    auto flags = ints(*vs, 176);
    ASSERT_EQ(flags.size(), 58u);
    EXPECT_EQ(vs->integer(177), 3);
    if (std::string(name) == "New") {
      EXPECT_EQ(props[6].i, 3);
      EXPECT_DOUBLE_EQ(props[4].d, 0.25);
      EXPECT_EQ(props[54].s, "pencil.tif");
      EXPECT_EQ(props[40].i, 40);
      EXPECT_EQ(props[29].i, 1);
      EXPECT_EQ(flags[51], 0);
    } else {
      EXPECT_EQ(props[0].i, 2);
      EXPECT_EQ(props[3].i, 2);  // face modifier
      EXPECT_DOUBLE_EQ(props[4].d, 0.6);  // an opacity that is off, by its sign in the older forms
      EXPECT_DOUBLE_EQ(props[5].d, 30);
      EXPECT_EQ(props[6].i, 3);
      EXPECT_EQ(props[10].i, 257);
      EXPECT_EQ(props[12].i, 1);
      EXPECT_EQ(props[14].i, 8);
      EXPECT_EQ(props[25].i, 13);
      EXPECT_EQ(props[54].s, "strokes_ogs.tif");  // R2013 properties the older forms lack
      EXPECT_EQ(flags[14], std::string(name) == "Mid" ? 0 : 1);
    }
  }
}

// The drawing model: default content, the upgrade of an R12 drawing to the full structure, and the
// typed views' table-driven decode/encode.
#include <gtest/gtest.h>

#include <set>
#include <unordered_set>

#include "engine/dbmain.h"
#include "engine/info.h"
#include "engine/model/drawing.h"
#include "engine/model/entities.h"
#include "engine/model/structure.h"
#include "tests/engine/dxf_test_util.h"

using kel::test::dxf;
using kel::test::TempDir;
using kel::test::writeFile;
namespace ke = kel::engine;

namespace {
// Every record's handle is unique and below the seed; every owner and pointer resolves.
void expectConsistent(ke::Drawing& d) {
  std::unordered_set<ke::Handle> all;
  d.forEachObject([&](const ke::Object& o) {
    EXPECT_NE(o.handle, 0u) << o.type;
    EXPECT_TRUE(all.insert(o.handle).second) << "duplicate " << o.type;
  });
  EXPECT_GT(ke::handseed(d), d.maxHandle());
  d.forEachObject([&](const ke::Object& o) {
    if (o.owner) {
      EXPECT_TRUE(all.count(o.owner)) << o.type << " owner";
    }
    for (const auto& t : o.body)
      if (ke::isPointerCode(t.code) && t.kind == ke::ValueKind::Handle && t.i) {
        EXPECT_TRUE(all.count(ke::Handle(t.i))) << o.type << " group " << t.code;
      }
  });
}
ke::Handle recordOf(ke::Drawing& d, const std::string& block) {
  for (const auto& r : d.table("BLOCK_RECORD")->entries)
    if (ke::sameName(r.text(2), block)) return r.handle;
  return 0;
}
}  // namespace

TEST(ModelStructure, DefaultDrawingHasStandardContent) {
  AcDbDatabase db(true, true);
  auto& d = db.drawing();
  ASSERT_EQ(d.tables.size(), 9u);
  for (size_t i = 0; i < 9; ++i) EXPECT_EQ(d.tables[i].name, ke::standardTables()[i]);
  std::set<std::string> ltypes;
  for (const auto& e : d.table("LTYPE")->entries) ltypes.insert(e.text(2));
  EXPECT_EQ(ltypes, (std::set<std::string>{"ByBlock", "ByLayer", "Continuous"}));
  EXPECT_EQ(d.table("LAYER")->entries.at(0).text(2), "0");
  EXPECT_NE(d.block("*Model_Space"), nullptr);
  EXPECT_NE(d.block("*Paper_Space"), nullptr);
  EXPECT_EQ(d.objects.front().type, "DICTIONARY");
  size_t layouts = 0;
  for (const auto& o : d.objects) layouts += o.type == "LAYOUT";
  EXPECT_EQ(layouts, 2u);
  expectConsistent(d);
  // An empty database is really empty.
  AcDbDatabase empty(false, true);
  EXPECT_TRUE(empty.drawing().tables.empty());
  EXPECT_EQ(empty.handseed().value(), 1u);
}

TEST(ModelStructure, R12DrawingIsUpgraded) {
  TempDir dir;
  // R12: no handles, no block records, no objects; $MODEL_SPACE block, a polyline with vertices,
  // an insert with an attribute, paper-space text, a dimension style naming its arrow block.
  std::string r12 = dxf({
      {0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, "AC1009"}, {9, "$DWGCODEPAGE"}, {3, "ANSI_1252"},
      {0, "ENDSEC"}, {0, "SECTION"}, {2, "TABLES"}, {0, "TABLE"}, {2, "LAYER"}, {70, "1"}, {0, "LAYER"},
      {2, "WALLS"}, {70, "0"}, {62, "3"}, {6, "CONTINUOUS"}, {0, "ENDTAB"}, {0, "TABLE"}, {2, "DIMSTYLE"},
      {70, "1"}, {0, "DIMSTYLE"}, {2, "ARROWS"}, {70, "0"}, {5, "TICK"}, {6, ""}, {0, "ENDTAB"}, {0, "ENDSEC"},
      {0, "SECTION"}, {2, "BLOCKS"}, {0, "BLOCK"}, {8, "0"}, {2, "$MODEL_SPACE"}, {70, "0"}, {10, "0"},
      {20, "0"}, {30, "0"}, {3, "$MODEL_SPACE"}, {0, "ENDBLK"}, {8, "0"}, {0, "BLOCK"}, {8, "0"}, {2, "TICK"},
      {70, "2"}, {10, "0"}, {20, "0"}, {30, "0"}, {3, "TICK"}, {0, "ATTDEF"}, {8, "0"}, {10, "0"}, {20, "0"},
      {30, "0"}, {40, "1"}, {1, "x"}, {3, "Tag?"}, {2, "T"}, {70, "0"}, {0, "ARC"}, {8, "0"}, {10, "0"},
      {20, "0"}, {30, "0"}, {40, "1"}, {50, "0"}, {51, "90"}, {0, "ENDBLK"}, {8, "0"}, {0, "ENDSEC"},
      {0, "SECTION"}, {2, "ENTITIES"}, {0, "POLYLINE"}, {8, "WALLS"}, {66, "1"}, {70, "1"}, {0, "VERTEX"},
      {8, "WALLS"}, {10, "0"}, {20, "0"}, {30, "0"}, {0, "VERTEX"}, {8, "WALLS"}, {10, "5"}, {20, "0"},
      {30, "0"}, {0, "SEQEND"}, {8, "WALLS"}, {0, "INSERT"}, {8, "0"}, {66, "1"}, {2, "TICK"}, {10, "1"},
      {20, "1"}, {30, "0"}, {0, "ATTRIB"}, {8, "0"}, {10, "1"}, {20, "1"}, {30, "0"}, {40, "1"}, {1, "v"},
      {2, "T"}, {70, "0"}, {0, "SEQEND"}, {8, "0"}, {0, "TEXT"}, {8, "0"}, {67, "1"}, {10, "2"}, {20, "3"},
      {30, "0"}, {40, "1"}, {1, "paper"}, {72, "1"}, {11, "2"}, {21, "3"}, {31, "0"}, {73, "2"},
      {0, "ENDSEC"}, {0, "EOF"}});
  writeFile(dir.file("r12.dxf"), r12);
  AcDbDatabase db(false, true);
  std::u16string in = dir.wfile("r12.dxf"), log = dir.wfile("r12.log");
  ASSERT_EQ(db.dxfIn(in.c_str(), log.c_str()), Acad::eOk);
  auto& d = db.drawing();
  expectConsistent(d);
  EXPECT_EQ(d.tables.size(), 9u);
  ke::Handle ms = recordOf(d, "*Model_Space"), ps = recordOf(d, "*Paper_Space"), tick = recordOf(d, "TICK");
  ASSERT_TRUE(ms && ps && tick);
  EXPECT_EQ(d.block("*Model_Space")->begin.owner, ms);
  // Owners: polyline in model space, its vertices and end under it; text on paper.
  const auto& e = d.entities;
  ASSERT_EQ(e.size(), 8u);
  EXPECT_EQ(e[0].owner, ms);
  EXPECT_EQ(e[1].owner, e[0].handle);
  EXPECT_EQ(e[3].owner, e[0].handle);
  EXPECT_EQ(e[5].owner, e[4].handle);
  EXPECT_EQ(e[7].owner, ps);
  // Subclass markers, by type and flags.
  auto markers = [](const ke::Object& o) {
    std::vector<std::string> m;
    for (const auto& t : o.body)
      if (t.code == 100) m.push_back(t.s);
    return m;
  };
  EXPECT_EQ(markers(e[0]), (std::vector<std::string>{"AcDbEntity", "AcDb2dPolyline"}));
  EXPECT_EQ(markers(e[1]), (std::vector<std::string>{"AcDbEntity", "AcDbVertex", "AcDb2dVertex"}));
  EXPECT_EQ(markers(e[5]), (std::vector<std::string>{"AcDbEntity", "AcDbText", "AcDbAttribute"}));
  EXPECT_EQ(markers(e[7]), (std::vector<std::string>{"AcDbEntity", "AcDbText", "AcDbText"}));
  const auto& arc = d.block("TICK")->entities.at(1);
  EXPECT_EQ(markers(arc), (std::vector<std::string>{"AcDbEntity", "AcDbCircle", "AcDbArc"}));
  EXPECT_EQ(d.block("TICK")->entities.at(0).owner, tick);
  // The dimension style now points at the arrow's block record.
  const auto& ds = d.table("DIMSTYLE")->entries;
  auto it = std::find_if(ds.begin(), ds.end(), [](const ke::Object& o) { return o.text(2) == "ARROWS"; });
  ASSERT_NE(it, ds.end());
  ASSERT_NE(it->find(342), nullptr);
  EXPECT_EQ(ke::Handle(it->find(342)->i), tick);
  EXPECT_EQ(it->find(5), nullptr);
  // Typed view of the upgraded text.
  ke::Text t;
  ASSERT_TRUE(ke::decode(e[7], t));
  EXPECT_EQ(t.text, "paper");
  EXPECT_EQ(t.vAlign, 2);
  EXPECT_EQ(t.common.paperSpace, 1);
  // The description counts per layout.
  std::string info = ke::describe(db, false);
  EXPECT_NE(info.find("layout Model: INSERT=1 POLYLINE=1"), std::string::npos) << info;
  EXPECT_NE(info.find("layout Layout1: TEXT=1"), std::string::npos) << info;
  EXPECT_NE(info.find("blocks: 1"), std::string::npos) << info;
  EXPECT_EQ(ke::describe(db, true).find('\n'), std::string::npos);
}

TEST(ModelStructure, DuplicateAndDanglingHandlesAreRepaired) {
  ke::Drawing d;
  buildDefaultDrawing(d);
  ke::Handle ms = d.table("BLOCK_RECORD")->entries.front().handle;
  ke::Line l;
  ke::Object& a = ke::addEntity(d, d.entities, ms, l);
  ke::Handle dup = a.handle;
  ke::Object& b = ke::addEntity(d, d.entities, ms, l);
  b.handle = dup;
  b.body.push_back(ke::Tag::handle(340, 0xFFFFFF));  // points nowhere
  ke::Notes notes;
  ke::completeStructure(d, notes);
  expectConsistent(d);
  EXPECT_NE(d.entities[0].handle, d.entities[1].handle);
  EXPECT_EQ(d.entities[1].find(340)->i, 0);
  EXPECT_GE(notes.size(), 2u);
}

TEST(ModelTypes, DecodeAndEncodeAreInverse) {
  ke::Line l;
  l.common.layer = "L1";
  l.common.color = 3;
  l.start = {1, 2, 3};
  l.end = {4, 5, 6};
  ke::Line l2;
  ASSERT_TRUE(ke::decode(ke::encode(l), l2));
  EXPECT_EQ(l2, l);
  ke::Circle c;
  EXPECT_FALSE(ke::decode(ke::encode(l), c));  // wrong type

  ke::LwPolyline p;
  p.flags = 1;
  p.vertices = {{0, 0, 0, 0, 0.5}, {10, 0, 1, 2, 0}, {10, 10, 0, 0, 0}};
  ke::Object po = ke::encode(p);
  EXPECT_EQ(po.integer(90), 3);
  ke::LwPolyline p2;
  ASSERT_TRUE(ke::decode(po, p2));
  p.count = 3;
  EXPECT_EQ(p2, p);

  ke::Face f;
  f.type = "3DFACE";
  f.invisibleEdges = 5;
  f.corner[2] = {1, 1, 1};
  ke::Object fo = ke::encode(f);
  EXPECT_EQ(fo.type, "3DFACE");
  EXPECT_EQ(fo.find(39), nullptr);  // faces have no thickness
  ke::Face f2;
  ASSERT_TRUE(ke::decode(fo, f2));
  EXPECT_EQ(f2, f);

  ke::Arc a;
  a.startAngle = 10;
  a.endAngle = 200;
  ke::Object ao = ke::encode(a, 1009);  // R12: no subclass markers
  EXPECT_FALSE(ao.hasSubclasses());
  ke::Arc a2;
  ASSERT_TRUE(ke::decode(ao, a2));
  EXPECT_EQ(a2, a);

  ke::Layer lay;
  lay.name = "Dims";
  ke::Object lo = ke::encode(lay, 1009);
  EXPECT_EQ(lo.find(290), nullptr);  // the plot flag exists from AC1015 on
  EXPECT_NE(ke::encode(lay, 1027).find(290), nullptr);
}

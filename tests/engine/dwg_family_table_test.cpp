// Tables in DWG: every corpus record of the table types decodes (both cell layouts, R13 to R2018),
// the cells read from a DWG agree with the DXF the same drawing was saved as, the content layout
// built from DXF keeps cells, sizes and spans, and DXF -> DWG -> model keeps the tables (from a DXF
// of any release), the table style's row formats, the cell style map and the table geometry.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "engine/dwg/read_dwg.h"
#include "engine/dwg/types_table.h"
#include "engine/dwg/write_dwg.h"
#include "engine/dxf/dxf.h"
#include "engine/model/drawing.h"
#include "tests/engine/dwg_family_test_util.h"

using namespace kel::dwg;
using kel::engine::Drawing;
using kel::engine::Handle;
using kel::engine::Object;
using kel::engine::Tag;
namespace fs = std::filesystem;

namespace {

using kel::test::ints;
using kel::test::load;
using kel::test::reals;

const fs::path kCorpus = fs::path(KEL_SHARED_DIR) / "corpus";

bool readDxfFile(Drawing& d, const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  return kel::engine::dxf::readDxfData(d, text, nullptr) == Acad::eOk;
}

std::map<Handle, const Object*> byHandle(const Drawing& d, const std::string& type) {
  std::map<Handle, const Object*> out;
  for (const Object* o : kel::test::ofType(d, type)) out[o->handle] = o;
  return out;
}

// One cell of a table's DXF groups: its kind, span and text (the value's text, or the inline
// text of files before R2007).
struct Cell {
  int64_t type = 0, merged = 0, cols = 0, rows = 0;
  std::string text;
  bool operator==(const Cell&) const = default;
};

std::vector<Cell> cellsOf(const Object& o) {
  std::vector<Cell> out;
  bool inTable = false;
  for (const auto& t : o.body) {
    if (t.code == 100) inTable = t.s == "AcDbTable";
    if (!inTable) continue;
    if (t.code == 171) {
      out.emplace_back();
      out.back().type = kel::engine::asInt(t);
    }
    if (out.empty()) continue;
    Cell& c = out.back();
    if (t.code == 173) c.merged = kel::engine::asInt(t);
    if (t.code == 175) c.cols = kel::engine::asInt(t);
    if (t.code == 176) c.rows = kel::engine::asInt(t);
    if (t.code == 1 && c.text.empty()) c.text = t.s;
  }
  return out;
}

std::vector<double> tableReals(const Object& o, int code) {
  std::vector<double> v;
  bool inTable = false;
  for (const auto& t : o.body) {
    if (t.code == 100) inTable = t.s == "AcDbTable";
    if (inTable && t.code == code) v.push_back(kel::engine::asDouble(t));
  }
  return v;
}

// The first value of a group in the AcDbTable part (the entity part has a 92 of its own).
int64_t tableInt(const Object& o, int code) {
  bool inTable = false;
  for (const auto& t : o.body) {
    if (t.code == 100) inTable = t.s == "AcDbTable";
    if (inTable && t.code == code) return kel::engine::asInt(t);
  }
  return -1;
}

void expectNear(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-9) << i;
}

void expectSameTable(const Object& got, const Object& want) {
  EXPECT_EQ(tableInt(got, 91), tableInt(want, 91));
  EXPECT_EQ(tableInt(got, 92), tableInt(want, 92));
  expectNear(tableReals(got, 141), tableReals(want, 141));
  expectNear(tableReals(got, 142), tableReals(want, 142));
  const auto a = cellsOf(got), b = cellsOf(want);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].type, b[i].type) << "cell " << i;
    EXPECT_EQ(a[i].merged, b[i].merged) << "cell " << i;
    EXPECT_EQ(a[i].cols, b[i].cols) << "cell " << i;
    EXPECT_EQ(a[i].rows, b[i].rows) << "cell " << i;
    EXPECT_EQ(a[i].text, b[i].text) << "cell " << i;
  }
}

}  // namespace

TEST(DwgFamilyTable, CorpusRecordsDecodeAndAgreeWithTheirDxf) {
  const auto& census = kel::test::dwgCorpusCensus();
  if (!census.present) GTEST_SKIP() << "no corpus";
  for (const char* t : {"ACAD_TABLE", "TABLESTYLE", "CELLSTYLEMAP", "TABLEGEOMETRY"}) {
    EXPECT_EQ(census.rawOf(t), 0u) << t << " kept raw in" << census.rawFilesOf(t);
    EXPECT_GT(census.decodedOf(t), 10u) << t;
  }

  // The same drawing saved by the reference application as DWG and as DXF: the inline layout
  // (R2000, R2004), the inline layout with values (R2007) and the table content (R2010+).
  const std::pair<const char*, const char*> pairs[] = {
      {"AC1015", "AC1015_ascii"}, {"AC1018", "AC1018_binary"}, {"AC1021", "AC1021_ascii"},
      {"AC1024", "AC1027_ascii"}, {"AC1027", "AC1027_ascii"},  {"AC1032", "AC1032_ascii"}};
  for (const auto& [dwg, dxf] : pairs) {
    SCOPED_TRACE(dwg);
    Drawing ref, d;
    ASSERT_TRUE(readDxfFile(ref, kCorpus / "dxf" / (std::string("acadsharp_sample_") + dxf + ".dxf")));
    ASSERT_EQ(readDwgBytes(d, load(kCorpus / "dwg" / (std::string("acadsharp_sample_") + dwg + ".dwg"))), Acad::eOk);
    const auto want = byHandle(ref, "ACAD_TABLE"), got = byHandle(d, "ACAD_TABLE");
    ASSERT_EQ(got.size(), want.size());
    ASSERT_FALSE(want.empty());
    for (const auto& [h, w] : want) {
      ASSERT_TRUE(got.count(h)) << std::hex << h;
      expectSameTable(*got.at(h), *w);
      EXPECT_EQ(got.at(h)->text(2), w->text(2));  // the table's block
    }
    // The table style's row formats, whichever form the file keeps them in.
    const auto wantStyle = kel::test::ofType(ref, "TABLESTYLE"), gotStyle = kel::test::ofType(d, "TABLESTYLE");
    ASSERT_EQ(gotStyle.size(), wantStyle.size());
    for (size_t i = 0; i < gotStyle.size(); ++i) {
      expectNear(reals(*gotStyle[i], 140), reals(*wantStyle[i], 140));
      EXPECT_EQ(ints(*gotStyle[i], 170), ints(*wantStyle[i], 170));
      EXPECT_EQ(gotStyle[i]->text(3), wantStyle[i]->text(3));
    }
  }
}

TEST(DwgFamilyTable, DxfToDwgToModelKeepsTablesAndTheirStyles) {
  const fs::path src = kCorpus / "dxf" / "acadsharp_table_AC1032.dxf";
  if (!fs::exists(src)) GTEST_SKIP() << "no corpus";
  Drawing d;
  ASSERT_TRUE(readDxfFile(d, src));
  Drawing back;
  DwgReadInfo ri;
  ASSERT_TRUE(kel::test::writeAndReadBack(d, back, {"ACAD_TABLE", "TABLESTYLE", "CELLSTYLEMAP", "TABLEGEOMETRY"}, nullptr, &ri));
  EXPECT_EQ(ri.unreadable, 0u);

  // The table style's rows (data, title, header) and the cell style map's named styles.
  const auto styles = kel::test::ofType(d, "TABLESTYLE"), stylesBack = kel::test::ofType(back, "TABLESTYLE");
  ASSERT_EQ(stylesBack.size(), styles.size());
  for (size_t i = 0; i < styles.size(); ++i) {
    expectNear(reals(*stylesBack[i], 140), reals(*styles[i], 140));
    EXPECT_EQ(ints(*stylesBack[i], 170), ints(*styles[i], 170));
    EXPECT_EQ(stylesBack[i]->text(7), styles[i]->text(7));
    expectNear(reals(*stylesBack[i], 40), reals(*styles[i], 40));
  }
  const auto maps = kel::test::ofType(d, "CELLSTYLEMAP"), mapsBack = kel::test::ofType(back, "CELLSTYLEMAP");
  ASSERT_EQ(mapsBack.size(), maps.size());
  for (size_t i = 0; i < maps.size(); ++i) {
    EXPECT_EQ(mapsBack[i]->body.size(), maps[i]->body.size());
    expectNear(reals(*mapsBack[i], 40), reals(*maps[i], 40));
    EXPECT_EQ(ints(*mapsBack[i], 90), ints(*maps[i], 90));
  }
  const auto geoms = kel::test::ofType(d, "TABLEGEOMETRY"), geomsBack = kel::test::ofType(back, "TABLEGEOMETRY");
  ASSERT_EQ(geomsBack.size(), geoms.size());
  for (size_t i = 0; i < geoms.size(); ++i) expectNear(reals(*geomsBack[i], 43), reals(*geoms[i], 43));
}

// A table from a DXF of any release (the inline view, with or without cell values) is written in
// the content layout and reads back with its grid, sizes, spans, texts, block and style.
TEST(DwgFamilyTable, TablesOfEveryReleaseRoundTripThroughTheContentLayout) {
  size_t tables = 0;
  for (const char* name : {"acadsharp_sample_AC1015_ascii", "acadsharp_sample_AC1018_binary",
                           "acadsharp_sample_AC1021_ascii", "acadsharp_sample_AC1027_ascii",
                           "acadsharp_sample_AC1032_ascii", "acadsharp_table_AC1032"}) {
    const fs::path src = kCorpus / "dxf" / (std::string(name) + ".dxf");
    if (!fs::exists(src)) continue;
    SCOPED_TRACE(name);
    Drawing d;
    ASSERT_TRUE(readDxfFile(d, src));
    std::vector<uint8_t> file;
    ASSERT_EQ(writeDwgBytes(d, file), Acad::eOk);
    Drawing back;
    DwgReadInfo ri;
    ASSERT_EQ(readDwgBytes(back, file, &ri), Acad::eOk);
    EXPECT_EQ(ri.unreadable, 0u);
    const auto want = byHandle(d, "ACAD_TABLE"), got = byHandle(back, "ACAD_TABLE");
    ASSERT_EQ(got.size(), want.size());
    for (const auto& [h, w] : want) {
      ASSERT_TRUE(got.count(h)) << std::hex << h;
      const Object& g = *got.at(h);
      expectSameTable(g, *w);
      EXPECT_EQ(g.text(2), w->text(2));  // the table's block
      EXPECT_EQ(tableInt(g, 342), tableInt(*w, 342));  // and style
      expectNear(reals(g, 10), reals(*w, 10));
      ++tables;
    }
  }
  if (!tables) GTEST_SKIP() << "no corpus";
  EXPECT_GE(tables, 6u);
}

namespace {

// The tags of the n-th cell of a table (from its 171 up to the next one).
std::pair<size_t, size_t> cellRange(const Object& o, size_t n) {
  size_t seen = 0, from = 0;
  for (size_t i = 0; i < o.body.size(); ++i) {
    if (o.body[i].code != 171) continue;
    if (seen == n) from = i;
    if (seen == n + 1) return {from, i};
    ++seen;
  }
  return {from, o.body.size()};
}

void setInCell(Object& o, size_t n, int code, const Tag& value) {
  auto [from, to] = cellRange(o, n);
  for (size_t i = from; i < to; ++i)
    if (o.body[i].code == code) {
      o.body[i] = value;
      return;
    }
  ADD_FAILURE() << "cell " << n << " has no " << code;
}

}  // namespace

// Values the corpus table does not have (a number, a text outside Latin-1, a span over two rows
// and two columns) in the content layout built for writing; a row style's edited height and
// alignment through DXF -> DWG -> model.
TEST(DwgFamilyTable, EditedCellsBuildTheContentAndStylesRoundTrip) {
  const fs::path src = kCorpus / "dxf" / "acadsharp_table_AC1032.dxf";
  if (!fs::exists(src)) GTEST_SKIP() << "no corpus";
  Drawing d;
  ASSERT_TRUE(readDxfFile(d, src));
  Object* table = nullptr;
  for (auto& e : d.entities)
    if (e.type == "ACAD_TABLE") table = &e;
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(tableInt(*table, 91), 4);
  ASSERT_EQ(tableInt(*table, 92), 5);
  const std::string wide = "Ma\xc3\x9f" "e: 3 \xc3\x97 4 \xe2\x82\xac \xe2\x9c\x93";
  setInCell(*table, 5, 1, Tag::str(1, wide));
  setInCell(*table, 5, 302, Tag::str(302, wide));
  {
    // Cell 6 becomes a number: type 2 with the value in 140 instead of a text in 1.
    setInCell(*table, 6, 90, Tag::integer(90, 2));
    setInCell(*table, 6, 1, Tag::real(140, 3.25));
    setInCell(*table, 6, 302, Tag::str(302, "3.25"));
  }
  setInCell(*table, 11, 175, Tag::integer(175, 2));
  setInCell(*table, 11, 176, Tag::integer(176, 2));
  Object* style = nullptr;
  for (auto& o : d.objects)
    if (o.type == "TABLESTYLE") style = &o;
  ASSERT_NE(style, nullptr);
  for (auto& t : style->body) {
    if (t.code == 140) {
      t.d = 0.3;  // the data row's text height
      break;
    }
  }
  int rows170 = 0;
  for (auto& t : style->body)
    if (t.code == 170 && ++rows170 == 3) t = Tag::integer(170, 8);  // the header row's alignment

  // The content layout the writer builds from the edited groups.
  kel::dwg::types::Table t = kel::dwg::types::parseTable(table->body, true);
  kel::dwg::types::inlineToContent(t, true, {});
  ASSERT_EQ(t.rows.size(), 4u);
  ASSERT_EQ(t.columns.size(), 5u);
  EXPECT_DOUBLE_EQ(t.columns[0].size, 2.5);
  const auto& a2 = t.rows[1].cells[0].contents;
  ASSERT_EQ(a2.size(), 1u);
  EXPECT_EQ(a2[0].value.type, 4);
  // Stored as UTF-16LE with its terminator: 15 characters, the last one U+2713.
  ASSERT_EQ(a2[0].value.data.size(), 2u * 16);
  EXPECT_EQ(uint8_t(a2[0].value.data[2 * 14]), 0x13);
  EXPECT_EQ(uint8_t(a2[0].value.data[2 * 14 + 1]), 0x27);
  const auto& number = t.rows[1].cells[1].contents;
  ASSERT_EQ(number.size(), 1u);
  EXPECT_EQ(number[0].value.type, 2);
  EXPECT_DOUBLE_EQ(number[0].value.d, 3.25);
  size_t blocks = 0;
  for (const auto& row : t.rows)
    for (const auto& c : row.cells) blocks += !c.contents.empty() && c.contents[0].type == 4;
  EXPECT_GT(blocks, 0u);
  // Spans become merged ranges: the title's and the new one.
  ASSERT_EQ(t.merges.size(), 2u);
  EXPECT_EQ(t.merges[0].right, 4);
  EXPECT_EQ(t.merges[1].top, 2);
  EXPECT_EQ(t.merges[1].left, 1);
  EXPECT_EQ(t.merges[1].bottom, 3);
  EXPECT_EQ(t.merges[1].right, 2);
  ASSERT_EQ(t.breakRows.size(), 1u);
  EXPECT_EQ(t.breakRows[0].end, 3);

  std::vector<uint8_t> file;
  ASSERT_EQ(writeDwgBytes(d, file), Acad::eOk);
  Drawing back;
  ASSERT_EQ(readDwgBytes(back, file), Acad::eOk);
  const auto styles = kel::test::ofType(back, "TABLESTYLE");
  ASSERT_FALSE(styles.empty());
  const Object* s = nullptr;
  for (const Object* o : styles)
    if (o->handle == style->handle) s = o;
  ASSERT_NE(s, nullptr);
  EXPECT_DOUBLE_EQ(reals(*s, 140).front(), 0.3);
  ASSERT_EQ(ints(*s, 170).size(), 3u);
  EXPECT_EQ(ints(*s, 170)[2], 8);

  // The edited cells read back: the text outside Latin-1, the number and the new span with the
  // cells it covers.
  const Object* tb = nullptr;
  for (const Object* o : kel::test::ofType(back, "ACAD_TABLE"))
    if (o->handle == table->handle) tb = o;
  ASSERT_NE(tb, nullptr);
  const auto cells = cellsOf(*tb);
  ASSERT_EQ(cells.size(), 20u);
  EXPECT_EQ(cells[5].text, wide);
  EXPECT_EQ(cells[11].cols, 2);
  EXPECT_EQ(cells[11].rows, 2);
  for (size_t covered : {12u, 16u, 17u}) EXPECT_EQ(cells[covered].merged, 1) << covered;
  EXPECT_EQ(cells[13].merged, 0);
  const auto [from, to] = cellRange(*tb, 6);
  bool numberBack = false;
  for (size_t i = from; i < to; ++i) numberBack |= tb->body[i].code == 140 && tb->body[i].d == 3.25;
  EXPECT_TRUE(numberBack);
}

// DXF export: the AC1027 file, its settings and text, and the safe replace of the target.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/dbmain.h"
#include "engine/info.h"
#include "engine/model/drawing.h"
#include "engine/model/entities.h"
#include "tests/engine/dxf_test_util.h"

using kel::test::readFile;
using kel::test::TempDir;
using kel::test::writeFile;
namespace ke = kel::engine;

namespace {
Acad::ErrorStatus out(AcDbDatabase& db, const TempDir& dir, const std::string& name,
                      AcDb::AcDbDwgVersion v = AcDb::kDHL_1027) {
  std::u16string p = dir.wfile(name);
  return db.dxfOut(p.c_str(), 16, v, false);
}
Acad::ErrorStatus in(AcDbDatabase& db, const TempDir& dir, const std::string& name) {
  std::u16string p = dir.wfile(name);
  return db.dxfIn(p.c_str(), nullptr);
}
size_t count(const std::string& hay, const std::string& needle) {
  size_t n = 0;
  for (size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + 1)) ++n;
  return n;
}
}  // namespace

TEST(DxfWriter, DefaultDrawingWritesAllSectionsAndReadsBack) {
  TempDir dir;
  AcDbDatabase db(true, true);
  ASSERT_EQ(out(db, dir, "a.dxf"), Acad::eOk);
  std::string text = readFile(dir.file("a.dxf"));
  EXPECT_EQ(text.rfind("  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n$ACADVER\r\n  1\r\nAC1027\r\n", 0), 0u);
  for (const char* s : {"HEADER", "CLASSES", "TABLES", "BLOCKS", "ENTITIES", "OBJECTS"})
    EXPECT_NE(text.find(std::string("  2\r\n") + s + "\r\n"), std::string::npos) << s;
  EXPECT_EQ(count(text, "\r\nTABLE\r\n"), 9u);
  EXPECT_TRUE(text.ends_with("  0\r\nEOF\r\n"));
  AcDbDatabase back(false, true);
  ASSERT_EQ(in(back, dir, "a.dxf"), Acad::eOk);
  EXPECT_EQ(back.handseed().value(), db.handseed().value());
  EXPECT_EQ(ke::describe(back, true), ke::describe(db, true));
}

TEST(DxfWriter, SettingsAreHeaderValuesBothWays) {
  TempDir dir;
  AcDbDatabase db(true, true);
  db.setSaveproxygraphics(0);
  db.setIndexctl(2);
  db.setDrawOrderCtl(17);
  db.setUpdateThumbnail(1);
  ASSERT_EQ(out(db, dir, "s.dxf"), Acad::eOk);
  std::string text = readFile(dir.file("s.dxf"));
  EXPECT_NE(text.find("$PROXYGRAPHICS\r\n 70\r\n     0\r\n"), std::string::npos);
  EXPECT_NE(text.find("$INDEXCTL\r\n280\r\n     2\r\n"), std::string::npos);
  EXPECT_NE(text.find("$SORTENTS\r\n280\r\n    17\r\n"), std::string::npos);
  AcDbDatabase back(false, true);
  ASSERT_EQ(in(back, dir, "s.dxf"), Acad::eOk);
  EXPECT_EQ(back.saveproxygraphics(), 0);
  EXPECT_EQ(back.indexctl(), 2);
  EXPECT_EQ(back.drawOrderCtl(), 17);
  EXPECT_EQ(back.updateThumbnail(), 1);
}

TEST(DxfWriter, TextAndNumbersAreEncoded) {
  TempDir dir;
  AcDbDatabase db(true, true);
  auto& d = db.drawing();
  ke::Handle ms = d.table("BLOCK_RECORD")->entries.front().handle;
  ke::Text t;
  t.text = "two\nlines ^ \xE6\x97\xA5";
  t.position = {1.0 / 3.0, 1e20, -7};
  ke::addEntity(d, d.entities, ms, t);
  ke::MText m;
  m.text = std::string(600, 'x') + "\xC3\xA9";
  ke::addEntity(d, d.entities, ms, m);
  ASSERT_EQ(out(db, dir, "t.dxf"), Acad::eOk);
  std::string text = readFile(dir.file("t.dxf"));
  EXPECT_NE(text.find("\r\ntwo^Jlines ^  \xE6\x97\xA5\r\n"), std::string::npos);
  EXPECT_NE(text.find(" 10\r\n0.3333333333333333\r\n 20\r\n1.0E+20\r\n 30\r\n-7.0\r\n"), std::string::npos);
  EXPECT_EQ(count(text, "\r\n  3\r\nxxxx"), 2u);  // MTEXT split into 250-byte pieces
  AcDbDatabase back(false, true);
  ASSERT_EQ(in(back, dir, "t.dxf"), Acad::eOk);
  ke::Text t2;
  ke::MText m2;
  ASSERT_TRUE(ke::decode(back.drawing().entities.at(0), t2));
  ASSERT_TRUE(ke::decode(back.drawing().entities.at(1), m2));
  EXPECT_EQ(t2.text, t.text);
  EXPECT_EQ(t2.position, t.position);
  EXPECT_EQ(m2.text, m.text);
}

TEST(DxfWriter, VersionAndTargetFailuresLeaveNoFile) {
  TempDir dir;
  AcDbDatabase db(true, true);
  EXPECT_EQ(out(db, dir, "v.dxf", AcDb::kDHL_1015), Acad::eInvalidDwgVersion);
  EXPECT_EQ(out(db, dir, "v.dxf", AcDb::kDHL_1032), Acad::eInvalidDwgVersion);
  EXPECT_FALSE(std::filesystem::exists(dir.file("v.dxf")));
  EXPECT_NE(out(db, dir, "no/such/folder/x.dxf"), Acad::eOk);
  EXPECT_EQ(db.dxfOut(nullptr, 16, AcDb::kDHL_1027, false), Acad::eInvalidInput);
  // An existing target is replaced whole, and no temporary file stays behind.
  writeFile(dir.file("r.dxf"), "old content");
  ASSERT_EQ(out(db, dir, "r.dxf"), Acad::eOk);
  EXPECT_NE(readFile(dir.file("r.dxf")).find("AC1027"), std::string::npos);
  size_t files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
  EXPECT_EQ(files, 1u);
}

TEST(DxfWriter, UnfilledDatabaseStillWritesAWholeDrawing) {
  TempDir dir;
  AcDbDatabase db(false, true);
  ASSERT_EQ(out(db, dir, "e.dxf"), Acad::eOk);
  AcDbDatabase back(false, true);
  ASSERT_EQ(in(back, dir, "e.dxf"), Acad::eOk);
  EXPECT_NE(back.drawing().table("LAYER"), nullptr);
}

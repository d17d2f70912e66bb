// DXF import: what a good file fills in, and what each kind of bad input answers and logs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "engine/acdbhost.h"
#include "engine/dbmain.h"
#include "engine/model/drawing.h"
#include "tests/engine/dxf_test_util.h"

using kel::test::dxf;
using kel::test::readFile;
using kel::test::TempDir;
using kel::test::writeFile;

namespace {

// A small AC1015 file: header with the four settings, one layer, a line and a text in model space.
std::string goodFile() {
  return dxf({{0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, "AC1015"}, {9, "$HANDSEED"}, {5, "30"},
              {9, "$PROXYGRAPHICS"}, {70, "0"}, {9, "$INDEXCTL"}, {280, "3"}, {9, "$SORTENTS"}, {280, "127"},
              {0, "ENDSEC"},
              {0, "SECTION"}, {2, "TABLES"}, {0, "TABLE"}, {2, "LAYER"}, {5, "2"}, {330, "0"},
              {100, "AcDbSymbolTable"}, {70, "1"}, {0, "LAYER"}, {5, "10"}, {330, "2"},
              {100, "AcDbSymbolTableRecord"}, {100, "AcDbLayerTableRecord"}, {2, "Walls"}, {70, "0"},
              {62, "1"}, {6, "Continuous"}, {0, "ENDTAB"}, {0, "ENDSEC"},
              {0, "SECTION"}, {2, "ENTITIES"}, {0, "LINE"}, {5, "20"}, {330, "1F"}, {100, "AcDbEntity"},
              {8, "Walls"}, {100, "AcDbLine"}, {10, "1.5"}, {20, "2"}, {30, "0"}, {11, "4"}, {21, "6"},
              {31, "0"}, {1001, "MYAPP"}, {1000, "tagged"}, {1070, "7"},
              {0, "TEXT"}, {5, "21"}, {330, "1F"}, {100, "AcDbEntity"}, {8, "0"}, {100, "AcDbText"},
              {10, "0"}, {20, "0"}, {30, "0"}, {40, "2.5"}, {1, "caf\xe9 ^J\\U+00B0"}, {100, "AcDbText"},
              {0, "ENDSEC"}, {0, "EOF"}});
}

struct Import {
  AcDbDatabase* db = new AcDbDatabase(false, true);
  ~Import() { delete db; }
  Acad::ErrorStatus run(const TempDir& dir, const std::string& content, bool withLog = true) {
    writeFile(dir.file("in.dxf"), content);
    std::u16string in = dir.wfile("in.dxf"), log = dir.wfile("in.log");
    return db->dxfIn(in.c_str(), withLog ? log.c_str() : nullptr);
  }
  kel::engine::Drawing& d() { return db->drawing(); }
};

}  // namespace

TEST(DxfReader, ReadsRecordsSettingsAndExtendedData) {
  TempDir dir;
  Import im;
  ASSERT_EQ(im.run(dir, goodFile()), Acad::eOk);
  auto& d = im.d();
  EXPECT_EQ(d.version, 1015);
  EXPECT_EQ(im.db->saveproxygraphics(), 0);
  EXPECT_EQ(im.db->indexctl(), 3);
  EXPECT_EQ(im.db->drawOrderCtl(), 127);
  ASSERT_EQ(d.entities.size(), 2u);
  const auto& line = d.entities[0];
  EXPECT_EQ(line.type, "LINE");
  EXPECT_EQ(line.handle, 0x20u);
  EXPECT_DOUBLE_EQ(line.real(10), 1.5);
  ASSERT_EQ(line.xdata.size(), 3u);
  EXPECT_EQ(line.xdata[0].s, "MYAPP");
  EXPECT_EQ(line.xdata[2].i, 7);
  // Carets and escapes are decoded: the model holds plain UTF-8.
  EXPECT_EQ(d.entities[1].text(1), "caf\xc3\xa9 \n\xc2\xb0");
  // The structure was completed: the entity's owner is the model-space block record.
  const auto* ms = d.table("BLOCK_RECORD");
  ASSERT_NE(ms, nullptr);
  kel::engine::Handle msHandle = 0;
  for (const auto& r : ms->entries)
    if (r.text(2) == "*Model_Space") msHandle = r.handle;
  EXPECT_EQ(line.owner, msHandle);
  EXPECT_GT(im.db->handseed().value(), d.maxHandle());
  EXPECT_GE(im.db->handseed().value(), 0x30u);
}

TEST(DxfReader, MissingAndUnreadableFiles) {
  TempDir dir;
  AcDbDatabase db(false, true);
  std::u16string missing = dir.wfile("nope.dxf"), log = dir.wfile("x.log");
  EXPECT_EQ(db.dxfIn(missing.c_str(), log.c_str()), Acad::eFileNotFound);
  EXPECT_NE(readFile(dir.file("x.log")).find("cannot find"), std::string::npos);
  std::u16string folder = plat::fromUtf8(dir.path().string());
  EXPECT_EQ(db.dxfIn(folder.c_str(), nullptr), Acad::eCantOpenFile);
  EXPECT_EQ(db.dxfIn(nullptr, nullptr), Acad::eInvalidInput);
  EXPECT_EQ(db.dxfIn(u"", nullptr), Acad::eInvalidInput);
}

TEST(DxfReader, BadInputGivesSpecificStatusLogLineAndLeavesDatabaseAlone) {
  const std::string good = goodFile();
  struct Case {
    const char* name;
    std::string content;
    Acad::ErrorStatus expected;
    const char* logText;
  };
  std::string badCode = good;
  badCode.replace(badCode.find("\n70\n0\n"), 6, "\nseventy\n0\n");
  std::string outOfRange = good;
  outOfRange.replace(outOfRange.find("\n70\n0\n"), 6, "\n5000\n0\n");
  std::string noEndtab = good;
  noEndtab.erase(noEndtab.find("0\nENDTAB\n"), 9);
  std::string stray = dxf({{0, "LINE"}, {8, "0"}, {0, "EOF"}});
  std::string nested = dxf({{0, "SECTION"}, {2, "ENTITIES"}, {0, "SECTION"}, {2, "OBJECTS"}, {0, "ENDSEC"}});
  std::string badBlock = dxf({{0, "SECTION"}, {2, "BLOCKS"}, {0, "BLOCK"}, {2, "B"}, {0, "LINE"}, {0, "ENDSEC"},
                              {0, "EOF"}});
  std::string badValue = good;
  badValue.replace(badValue.find("10\n1.5\n"), 7, "10\n1,5\n");
  const Case cases[] = {
      {"empty", "", Acad::eUnknownDxfFileFormat, "not a DXF"},
      {"not dxf", "hello world\nthis is text\n", Acad::eUnknownDxfFileFormat, "not a DXF"},
      {"bad code", badCode, Acad::eInvalidDxfCode, "\"seventy\" is not a valid group code"},
      {"code out of range", outOfRange, Acad::eInvalidDxfCode, "not a valid group code"},
      {"truncated inside group", good.substr(0, good.find("AcDbLine\n")), Acad::eDxfReadAborted, "ends before"},
      {"truncated inside section", good.substr(0, good.find("0\nTEXT")), Acad::eDxfReadAborted,
       "ends inside the ENTITIES section"},
      {"table without ENDTAB", noEndtab, Acad::eBadDxfSequence, "not closed by ENDTAB"},
      {"record outside a section", stray, Acad::eBadDxfSequence, "outside any section"},
      {"section in section", nested, Acad::eBadDxfSequence, "out of place"},
      {"block without ENDBLK", badBlock, Acad::eBadDxfSequence, "not closed by ENDBLK"},
      {"value that is no number", badValue, Acad::eDxfPartiallyRead, "\"1,5\" is not a real"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    Import im;
    const auto seedBefore = im.db->handseed().value();
    EXPECT_EQ(im.run(dir, c.content), c.expected);
    std::string log = readFile(dir.file("in.log"));
    EXPECT_NE(log.find(c.logText), std::string::npos) << log;
    if (c.expected != Acad::eDxfPartiallyRead) {
      EXPECT_TRUE(im.d().entities.empty());
      EXPECT_EQ(im.db->handseed().value(), seedBefore);
    } else {
      EXPECT_EQ(im.d().entities.size(), 2u);  // read on, with 0 for the bad value
    }
  }
}

TEST(DxfReader, ProblemLinesNameTheLineAndGroup) {
  TempDir dir;
  Import im;
  std::string bad = goodFile();
  size_t at = bad.find("\n70\n0\n");
  size_t line = size_t(std::count(bad.begin(), bad.begin() + long(at), '\n')) + 2;
  bad.replace(at, 6, "\nseventy\n0\n");
  EXPECT_EQ(im.run(dir, bad), Acad::eInvalidDxfCode);
  EXPECT_NE(readFile(dir.file("in.log")).find("line " + std::to_string(line) + ":"), std::string::npos);
}

TEST(DxfReader, CrlfBomAndMissingEofAreAccepted) {
  TempDir dir;
  std::string crlf;
  std::string good = goodFile();
  for (char c : good) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  crlf = "\xEF\xBB\xBF" + crlf.substr(0, crlf.find("0\r\nEOF"));
  Import im;
  ASSERT_EQ(im.run(dir, crlf), Acad::eOk);
  EXPECT_EQ(im.d().entities.size(), 2u);
  EXPECT_NE(readFile(dir.file("in.log")).find("no EOF marker"), std::string::npos);
}

namespace {
// Binary DXF (2-byte group codes) from the same groups as the ASCII helper.
std::string binary(std::initializer_list<std::pair<int, std::string>> groups) {
  std::string s("AutoCAD Binary DXF\r\n\x1a\0", 22);
  for (const auto& [code, v] : groups) {
    int16_t c = int16_t(code);
    s.append(reinterpret_cast<const char*>(&c), 2);
    auto kind = kel::engine::kindOf(code);
    if (kind == kel::engine::ValueKind::Double) {
      double d = std::stod(v);
      s.append(reinterpret_cast<const char*>(&d), 8);
    } else if (kind == kel::engine::ValueKind::Int16) {
      int16_t i = int16_t(std::stoi(v));
      s.append(reinterpret_cast<const char*>(&i), 2);
    } else {
      s += v;
      s += '\0';
    }
  }
  return s;
}
}  // namespace

TEST(DxfReader, BinaryFilesAndCodePages) {
  TempDir dir;
  Import im;
  std::string bin = binary({{0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, "AC1018"}, {9, "$DWGCODEPAGE"},
                            {3, "ANSI_1251"}, {0, "ENDSEC"}, {0, "SECTION"}, {2, "ENTITIES"}, {0, "CIRCLE"},
                            {5, "40"}, {100, "AcDbEntity"}, {8, "\xCF\xEB\xE0\xED"}, {100, "AcDbCircle"},
                            {10, "1.25"}, {20, "2"}, {30, "0"}, {40, "3.5"}, {62, "5"}, {0, "ENDSEC"}, {0, "EOF"}});
  ASSERT_EQ(im.run(dir, bin), Acad::eOk);
  ASSERT_EQ(im.d().entities.size(), 1u);
  const auto& c = im.d().entities[0];
  EXPECT_EQ(c.text(8), "\xD0\x9F\xD0\xBB\xD0\xB0\xD0\xBD");  // "Plan" in Cyrillic, now UTF-8
  EXPECT_DOUBLE_EQ(c.real(40), 3.5);
  EXPECT_EQ(c.integer(62), 5);
  // The layer the circle names is not in the file; the table still has its standard entries.
  EXPECT_NE(im.d().table("LAYER"), nullptr);
  // A binary file cut short is a truncated file.
  Import cut;
  EXPECT_EQ(cut.run(dir, bin.substr(0, bin.size() - 20)), Acad::eDxfReadAborted);
}

namespace {
// A host that refuses every file and remembers what it was asked for.
struct RecordingHost : AcDbHostApplicationServices {
  std::vector<std::u16string> asked;
  Acad::ErrorStatus findFile(char16_t* out, int len, const char16_t* name, AcDbDatabase*, FindFileHint) override {
    asked.emplace_back(name);
    if (out && len > 0) out[0] = 0;
    return Acad::eFileNotFound;
  }
};
}  // namespace

TEST(DxfReader, AsksTheHostForModulesAndFontsAndGoesOnWithout) {
  TempDir dir;
  RecordingHost host;
  ASSERT_EQ(acdbSetHostApplicationServices(&host), Acad::eOk);
  Import im;
  std::string content = dxf({{0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, "AC1018"}, {0, "ENDSEC"},
                             {0, "SECTION"}, {2, "TABLES"}, {0, "TABLE"}, {2, "STYLE"}, {0, "STYLE"},
                             {2, "Notes"}, {70, "0"}, {3, "romans.shx"}, {0, "STYLE"}, {2, "More"}, {70, "0"},
                             {3, "romans.shx"}, {0, "ENDTAB"}, {0, "ENDSEC"}, {0, "SECTION"}, {2, "ENTITIES"},
                             {0, "3DSOLID"}, {5, "50"}, {100, "AcDbEntity"}, {8, "0"}, {100, "AcDbModelerGeometry"},
                             {70, "1"}, {1, "acis data"}, {0, "ACME_GADGET"}, {5, "51"}, {100, "AcDbEntity"},
                             {8, "0"}, {0, "ENDSEC"}, {0, "EOF"}});
  EXPECT_EQ(im.run(dir, content), Acad::eOk);
  acdbSetHostApplicationServices(nullptr);
  // txt: the font of the Standard style, which the import added.
  EXPECT_EQ(host.asked, (std::vector<std::u16string>{u"acismobj25.dbx", u"txt", u"romans.shx"}));
  std::string log = readFile(dir.file("in.log"));
  EXPECT_NE(log.find("acismobj25.dbx is not available; ACIS data kept as read"), std::string::npos) << log;
  // A solid has a typed view; a record of a type nobody models is kept as read, and the log says so.
  EXPECT_EQ(log.find("(not modelled): 3DSOLID"), std::string::npos) << log;
  EXPECT_NE(log.find("kept as read (not modelled): ACME_GADGET x1"), std::string::npos) << log;
  ASSERT_EQ(im.d().entities.size(), 2u);
  EXPECT_EQ(im.d().entities[0].text(1), "acis data");
}

// DWG -> DXF export without copying the drawing: the file writeDxf streams out must be the text
// of the drawing with its raw records dropped (the proxy/leave-out decisions applied on the fly),
// while the drawing itself keeps them; and the read from a path must match the read from bytes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "engine/acdb.h"
#include "engine/dwg/read_dwg.h"
#include "engine/dxf/dxf.h"
#include "engine/io.h"
#include "engine/model/structure.h"
#include "platform/utf.h"
#include "tests/engine/dwg_family_test_util.h"

namespace {

namespace fs = std::filesystem;
using kel::engine::Drawing;
using kel::engine::Handle;
using kel::engine::Object;
using kel::engine::Tag;

struct TempDxf {
  std::string path = (fs::temp_directory_path() / ("kel_dxf_export_" + std::to_string(::getpid()) + ".dxf")).string();
  ~TempDxf() { std::remove(path.c_str()); }
  Acad::ErrorStatus write(Drawing& d) const {
    return kel::engine::writeDxf(d, plat::fromUtf8(path).c_str(), 16, AcDb::kDHL_1027, false);
  }
  std::string text() const {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  }
};

size_t rawCount(const Drawing& d) {
  size_t n = 0;
  d.forEachObject([&](const Object& o) { n += !o.dwgRaw.empty(); });
  return n;
}

Object record(const char* type, Handle h, Handle owner) {
  Object o;
  o.type = type;
  o.handle = h;
  o.owner = owner;
  return o;
}

const Object* byHandle(Drawing& d, Handle h) { return d.objectByHandle(h); }

// A raw record without a proxy form, its extension dictionary and what that holds all go; so do
// the dictionary entries, reactors and pointers that name them, and dictionary entries naming
// nothing. The written file is the dropped drawing's text, and the drawing keeps its raw record.
TEST(DwgDxfExport, LeavesOutRawRecordsAndWhatNamesThem) {
  Drawing d;
  // A table with one of its two entries raw: the count written is that of the entries written.
  Object control = record("TABLE", 2, 0);
  control.body = {Tag::str(100, "AcDbSymbolTable"), Tag::integer(70, 2)};
  Object rawLayer = record("LAYER", 0x11, 2);
  rawLayer.dwgType = 51;
  rawLayer.dwgRaw = std::vector<uint8_t>{4, 5};
  d.tables.push_back({"LAYER", control, {record("LAYER", 0x10, 2), rawLayer}});
  Object nod = record("DICTIONARY", 0xC, 0);
  nod.body = {Tag::str(100, "AcDbDictionary"), Tag::str(3, "A"),  Tag::handle(350, 0x20), Tag::str(3, "B"),
              Tag::handle(350, 0x21), Tag::str(3, "Z"), Tag::handle(350, 0)};
  Object raw = record("SOMETHING", 0x20, 0xC);
  raw.xdict = 0x22;
  raw.dwgType = 80;  // a fixed type number: no proxy form
  raw.dwgRaw = std::vector<uint8_t>{1, 2, 3};
  Object xdict = record("DICTIONARY", 0x22, 0x20);
  xdict.body = {Tag::str(100, "AcDbDictionary"), Tag::str(3, "X"), Tag::handle(360, 0x23)};
  Object under = record("XRECORD", 0x23, 0x22);
  Object kept = record("XRECORD", 0x21, 0xC);
  d.objects = {nod, raw, xdict, under, kept};
  Object line = record("LINE", 0x30, 0x1F);
  line.reactors = {0x20, 0xC};
  line.body = {Tag::str(100, "AcDbEntity"), Tag::handle(347, 0x20), Tag::handle(340, 0x21)};
  d.entities = {line};

  TempDxf out;
  ASSERT_EQ(out.write(d), Acad::eOk);
  EXPECT_EQ(rawCount(d), 2u);
  EXPECT_EQ(d.objects.size(), 5u);

  Drawing dropped = d;
  EXPECT_EQ(kel::engine::dropRawRecords(dropped), 4u);
  EXPECT_EQ(out.text(), kel::engine::dxf::dxfText(dropped, 16));
  EXPECT_NE(out.text().find("AcDbSymbolTable\r\n 70\r\n     1\r\n"), std::string::npos);
  for (Handle h : {0x11, 0x20, 0x22, 0x23}) EXPECT_EQ(byHandle(dropped, h), nullptr) << h;
  ASSERT_NE(byHandle(dropped, 0x21), nullptr);
  const Object* n = byHandle(dropped, 0xC);
  ASSERT_EQ(n->body.size(), 3u);  // only "B" is left
  EXPECT_EQ(n->body[1].s, "B");
  const Object* l = byHandle(dropped, 0x30);
  EXPECT_EQ(std::vector<Handle>(l->reactors.begin(), l->reactors.end()), std::vector<Handle>{0xC});
  EXPECT_EQ(l->find(347), nullptr);
  ASSERT_NE(l->find(340), nullptr);
}

// Over the corpus: the streamed export equals the text of a dropped copy byte for byte, and
// leaves the drawing as it was (raw records still there for a DWG save). Reading the file from
// its path gives the same drawing as reading its bytes.
TEST(DwgDxfExport, CorpusExportMatchesDroppedCopy) {
  const fs::path corpus = fs::path(KEL_SHARED_DIR) / "corpus" / "dwg";
  if (!fs::exists(corpus)) GTEST_SKIP() << "corpus not available";
  TempDxf out;
  size_t files = 0, withRaw = 0;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    if (entry.path().extension() != ".dwg") continue;
    const std::string name = entry.path().filename().string();
    Drawing d;
    kel::dwg::DwgReadInfo info;
    ASSERT_EQ(kel::dwg::readDwgBytes(d, kel::test::load(entry.path()), &info), Acad::eOk) << name;
    const size_t raw = rawCount(d);
    // Only a caller that asks for the details gets the raw records' copies.
    EXPECT_EQ(info.rawRecords.empty(), info.raw == 0) << name;
    ++files;
    withRaw += raw > 0;
    const std::string asRead = kel::engine::dxf::dxfText(d, 16);
    if (files % 8 == 0) {
      Drawing fromPath;
      ASSERT_EQ(kel::dwg::readDwgInto(fromPath, plat::fromUtf8(entry.path().string()).c_str(), 32), Acad::eOk);
      EXPECT_EQ(kel::engine::dxf::dxfText(fromPath, 16), asRead) << name;
    }
    ASSERT_EQ(out.write(d), Acad::eOk) << name;
    EXPECT_EQ(rawCount(d), raw) << name;
    EXPECT_EQ(kel::engine::dxf::dxfText(d, 16), asRead) << name;
    Drawing dropped = d;
    kel::engine::dropRawRecords(dropped);
    EXPECT_EQ(out.text(), kel::engine::dxf::dxfText(dropped, 16)) << name;
  }
  EXPECT_GT(files, 100u);
  EXPECT_GT(withRaw, 10u);
}

TEST(DwgDxfExport, ReadFromPathReportsMissingFile) {
  Drawing d;
  EXPECT_EQ(kel::dwg::readDwgInto(d, u"/nonexistent/kel/none.dwg", 32), Acad::eFileNotFound);
}

}  // namespace

// Whole AC1027 files from the writer: the container reopens, the reader finds the drawing again,
// and saving replaces or backs up the target only once the new file is complete.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "engine/dwg/container2004.h"
#include "engine/dwg/raw_records.h"
#include "engine/dwg/read_dwg.h"
#include "engine/dwg/write_dwg.h"
#include "engine/io.h"
#include "engine/model/drawing.h"
#include "engine/model/structure.h"
#include "engine/sdk_seam.h"
#include "platform/utf.h"

using namespace kel::dwg;
using kel::engine::Drawing;
using kel::engine::Object;
using kel::engine::Tag;
namespace fs = std::filesystem;

namespace {

// A default drawing with a few model-space entities, one in paper space and a block.
Drawing sampleDrawing() {
  Drawing d;
  kel::engine::buildDefaultDrawing(d);
  auto add = [&](std::vector<Object>& list, const std::string& type, std::vector<Tag> own, bool paper = false) {
    Object o;
    o.type = type;
    o.handle = d.newHandle();
    o.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0")};
    if (paper) o.body.push_back(Tag::integer(67, 1));
    o.body.insert(o.body.end(), own.begin(), own.end());
    list.push_back(std::move(o));
  };
  add(d.entities, "LINE", {Tag::str(100, "AcDbLine"), Tag::real(10, 0), Tag::real(20, 0), Tag::real(30, 0),
                           Tag::real(11, 10), Tag::real(21, 5), Tag::real(31, 0)});
  add(d.entities, "CIRCLE", {Tag::str(100, "AcDbCircle"), Tag::real(10, 3), Tag::real(20, 3), Tag::real(30, 0),
                             Tag::real(40, 2)});
  add(d.entities, "CIRCLE", {Tag::str(100, "AcDbCircle"), Tag::real(10, 1), Tag::real(20, 1), Tag::real(30, 0),
                             Tag::real(40, 1)}, true);
  kel::engine::Notes notes;
  kel::engine::completeStructure(d, notes);
  return d;
}

std::vector<uint8_t> load(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

struct TempDir {
  fs::path path;
  TempDir() {
    path = fs::temp_directory_path() / ("kel_dwgw_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
  std::u16string wide(const std::string& name) const { return plat::fromUtf8((path / name).string()); }
};

}  // namespace

TEST(DwgWriteFile, ContainerAndReaderFindTheDrawingAgain) {
  Drawing d = sampleDrawing();
  std::vector<uint8_t> file;
  DwgWriteInfo info;
  ASSERT_EQ(writeDwgBytes(d, file, &info), Acad::eOk);
  EXPECT_EQ(info.skipped, 0u);
  EXPECT_GT(info.written, 20u);

  Container2004 c;
  ASSERT_EQ(c.open(file), Acad::eOk);
  EXPECT_EQ(c.header().version, "AC1027");
  EXPECT_GT(c.header().maintenance, 3);
  for (std::string_view name : {kSectionHeader, kSectionClasses, kSectionHandles, kSectionObjects, kSectionAuxHeader,
                                kSectionPreview, kSectionSummaryInfo, kSectionAppInfo, kSectionFileDepList,
                                kSectionRevHistory, kSectionTemplate, kSectionObjFreeSpace}) {
    std::vector<uint8_t> data;
    EXPECT_EQ(c.read(name, data), Acad::eOk) << name;
  }
  std::vector<uint8_t> objects;
  ASSERT_EQ(c.read(kSectionObjects, objects), Acad::eOk);
  EXPECT_EQ(objects[0], 0xCA);  // the section's leading magic word
  EXPECT_EQ(objects[1], 0x0D);

  Drawing back;
  DwgReadInfo ri;
  ASSERT_EQ(readDwgBytes(back, file, &ri), Acad::eOk);
  EXPECT_EQ(ri.objects, info.written);
  EXPECT_EQ(ri.unreadable, 0u);
  EXPECT_EQ(ri.crcErrors, 0u);
  size_t lines = 0, circles = 0, paper = 0;
  for (const auto& e : back.entities) {
    lines += e.type == "LINE";
    circles += e.type == "CIRCLE";
    paper += e.integer(67) == 1;
  }
  EXPECT_EQ(lines, 1u);
  EXPECT_EQ(circles, 2u);
  EXPECT_EQ(paper, 1u);
}

TEST(DwgWriteFile, SettingsReachTheFile) {
  Drawing d = sampleDrawing();
  std::vector<uint8_t> plain, withThumb;
  ASSERT_EQ(writeDwgBytes(d, plain), Acad::eOk);
  d.settings.updateThumbnail = 1;
  d.settings.indexCtl = 2;
  ASSERT_EQ(writeDwgBytes(d, withThumb), Acad::eOk);
  Container2004 a, b;
  ASSERT_EQ(a.open(plain), Acad::eOk);
  ASSERT_EQ(b.open(withThumb), Acad::eOk);
  std::vector<uint8_t> pa, pb;
  a.read(kSectionPreview, pa);
  b.read(kSectionPreview, pb);
  EXPECT_LT(pa.size(), 64u);
  EXPECT_GT(pb.size(), 1000u);  // a real picture
  Drawing back;
  ASSERT_EQ(readDwgBytes(back, withThumb), Acad::eOk);
  EXPECT_EQ(back.settings.indexCtl, 2);
}

TEST(DwgWriteFile, UnknownTypesAreLeftOutAndCounted) {
  Drawing d = sampleDrawing();
  Object o;
  o.type = "ACME_GADGET";
  o.handle = d.newHandle();
  o.owner = d.entities.front().owner;
  o.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0")};
  d.entities.push_back(o);
  std::vector<uint8_t> file;
  DwgWriteInfo info;
  ASSERT_EQ(writeDwgBytes(d, file, &info), Acad::eOk);
  EXPECT_EQ(info.skipped, 1u);
  EXPECT_EQ(info.skippedTypes["ACME_GADGET"], 1u);
  ASSERT_EQ(info.notes.size(), 1u);
  Container2004 c;
  EXPECT_EQ(c.open(file), Acad::eOk);
}

// A save tells the user, one line per kind, what the file leaves out.
TEST(DwgWriteFile, SaveReportsWhatItLeavesOut) {
  TempDir t;
  Drawing d = sampleDrawing();
  for (int i = 0; i < 2; ++i) {
    Object o;
    o.type = "ACME_GADGET";
    o.handle = d.newHandle();
    o.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0")};
    d.entities.push_back(o);
  }
  std::vector<std::string> printed;
  kel::sdk::setPrintSink([&](const std::u16string& line) { printed.push_back(plat::toUtf8(line)); });
  const std::u16string target = t.wide("left.dwg");
  DwgWriteInfo info;
  EXPECT_EQ(writeDwgFrom(d, target.c_str(), 31, false, &info), Acad::eOk);
  kel::sdk::setPrintSink(nullptr);
  EXPECT_EQ(info.skipped, 2u);
  ASSERT_EQ(printed.size(), 1u);
  EXPECT_NE(printed[0].find("ACME_GADGET"), std::string::npos);
  EXPECT_EQ(printed[0].front(), '\n');
}

TEST(DwgWriteFile, SaveReplacesBacksUpAndFailsCleanly) {
  TempDir t;
  Drawing d = sampleDrawing();
  const std::u16string target = t.wide("out.dwg");
  EXPECT_EQ(writeDwgFrom(d, target.c_str(), 33, false), Acad::eInvalidDwgVersion);
  EXPECT_FALSE(fs::exists(t.path / "out.dwg"));
  EXPECT_EQ(writeDwgFrom(d, nullptr, 31, false), Acad::eInvalidInput);

  ASSERT_EQ(writeDwgFrom(d, target.c_str(), 31, false), Acad::eOk);
  std::vector<uint8_t> first = load(t.path / "out.dwg");
  ASSERT_GT(first.size(), 0x100u);

  // Without backup the file is replaced; with backup the old one becomes out.bak.
  d.entities.pop_back();
  ASSERT_EQ(writeDwgFrom(d, target.c_str(), 31, false), Acad::eOk);
  EXPECT_FALSE(fs::exists(t.path / "out.bak"));
  std::vector<uint8_t> second = load(t.path / "out.dwg");
  EXPECT_NE(first, second);
  { std::ofstream(t.path / "out.bak") << "stale"; }
  ASSERT_EQ(writeDwgFrom(d, target.c_str(), 31, true), Acad::eOk);
  EXPECT_EQ(load(t.path / "out.bak"), second);
  EXPECT_EQ(load(t.path / "out.dwg"), second);

  // Nothing but the target and its backup is left behind.
  size_t n = 0;
  for (const auto& e : fs::directory_iterator(t.path)) n += e.is_regular_file();
  EXPECT_EQ(n, 2u);

  // A folder that does not exist: the save fails and leaves nothing.
  const std::u16string bad = t.wide("missing/out.dwg");
  EXPECT_NE(writeDwgFrom(d, bad.c_str(), 31, true), Acad::eOk);
  EXPECT_EQ(load(t.path / "out.dwg"), second);
}

// An R13 proxy stores its own type number before the class number. A re-save must read past it
// and keep the record as a proxy of the same class with the same data.
TEST(DwgWriteFile, ResaveKeepsR13ProxiesUnderTheirClass) {
  const std::vector<uint8_t> src = load(fs::path(KEL_SHARED_DIR) / "corpus" / "dwg" / "libredwg_example_r13.dwg");
  if (src.empty()) GTEST_SKIP() << "corpus not available";
  Drawing a;
  const Acad::ErrorStatus es = readDwgBytes(a, src);
  ASSERT_TRUE(es == Acad::eOk || es == Acad::eDwgCRCDoesNotMatch);
  const std::vector<DwgClass> srcClasses = classesOf(a.classes);
  std::map<kel::engine::Handle, ProxyRecord> proxies;
  a.forEachObject([&](const Object& o) {
    ProxyRecord p;
    if ((o.dwgType == 498 || o.dwgType == 499) && !o.dwgRaw.empty() &&
        proxyOfRawRecord(o.dwgRaw, uint16_t(o.dwgType), Version::R13, 0, srcClasses, p))
      proxies[o.handle] = std::move(p);
  });
  ASSERT_FALSE(proxies.empty());

  std::vector<uint8_t> out;
  DwgWriteInfo info;
  ASSERT_EQ(writeDwgBytes(a, out, &info), Acad::eOk);
  for (const std::string& note : info.notes) EXPECT_EQ(note.find("proxy"), std::string::npos) << note;
  Drawing b;
  ASSERT_EQ(readDwgBytes(b, out), Acad::eOk);
  const std::vector<DwgClass> outClasses = classesOf(b.classes);
  std::map<kel::engine::Handle, const Object*> written;
  b.forEachObject([&](const Object& o) { written[o.handle] = &o; });
  for (const auto& [h, p] : proxies) {
    auto it = written.find(h);
    ASSERT_NE(it, written.end()) << std::hex << h;
    const Object& o = *it->second;
    ASSERT_EQ(o.dwgType, p.entity ? 498 : 499);
    // Own part: class number, data format, a flag bit, then the data carried.
    ProxyRecord own;
    ASSERT_TRUE(proxyFromRaw(o.dwgRaw, Version::R2013, 0, outClasses, o.dwgType, own));
    BitReader r(own.data.data(), own.data.size());
    const int32_t cls = r.BL();
    EXPECT_EQ(r.BL() & 0xFFFF, 19);  // the R13 format
    r.B();
    ASSERT_TRUE(cls >= 500 && size_t(cls - 500) < outClasses.size());
    EXPECT_EQ(outClasses[size_t(cls - 500)].dxfName, srcClasses[size_t(p.classId - 500)].dxfName);
    ASSERT_GE(own.dataBits - r.positionBits(), p.dataBits);
    BitReader x(p.data.data(), p.data.size());
    for (size_t i = 0; i < p.dataBits; ++i) ASSERT_EQ(r.B(), x.B()) << "bit " << i;
  }
}

// Records the reader could not decode, and proxy records, carried through DWG and DXF saves:
// copied into AC1027 files (R2007 and later sources), turned into proxies (earlier sources, DXF
// export), proxies read from DXF written as DWG proxies. What is compared is each record's own
// part (data bits, references, graphics), read back with an independent parse of the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/dwg/raw_records.h"
#include "engine/dwg/read_dwg.h"
#include "engine/dwg/write_dwg.h"
#include "engine/dxf/dxf.h"
#include "engine/model/drawing.h"
#include "engine/model/structure.h"

using namespace kel::dwg;
using kel::engine::Drawing;
using kel::engine::Object;
using kel::engine::Tag;
using kel::engine::Tags;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> corpusFile(const std::string& name) {
  std::ifstream f(fs::path(KEL_SHARED_DIR) / "corpus" / name, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

struct Read {
  Drawing d;
  DwgReadInfo info;
  std::map<kel::engine::Handle, const Object*> raw;  // records kept raw, by handle
};

bool read(std::span<const uint8_t> bytes, Read& r) {
  Acad::ErrorStatus es = readDwgBytes(r.d, bytes, &r.info);
  if (es != Acad::eOk && es != Acad::eDwgCRCDoesNotMatch) return false;
  r.raw.clear();
  r.d.forEachObject([&](Object& o) {
    if (!o.dwgRaw.empty() && !o.dwgDecoded) r.raw[o.handle] = &o;
  });
  return true;
}

// The own part of a record kept raw, as a proxy would carry it.
ProxyRecord ownPart(const Read& r, const Object& o) {
  Version v{};
  EXPECT_TRUE(versionOfDrawing(r.d.version, &v));
  ProxyRecord p;
  EXPECT_TRUE(proxyFromRaw(o.dwgRaw, v, 0, classesOf(r.d.classes), o.dwgType, p)) << std::hex << o.handle;
  return p;
}

// The fields of a proxy record (type 498/499) read back from a written file.
struct ProxyFields {
  int32_t classId = 0;
  uint32_t format = 0;
  ProxyRecord own;  // data bits from after the format flag, references after the common ones
};
ProxyFields proxyFields(const Read& r, const Object& o) {
  ProxyFields f;
  std::vector<DwgClass> classes = classesOf(r.d.classes);
  f.own = ownPart(r, o);
  BitReader b(f.own.data.data(), f.own.data.size());
  f.classId = b.BL();
  f.format = uint32_t(b.BL());
  EXPECT_FALSE(b.B());
  // What follows is the carried data.
  BitWriter w;
  const size_t skip = b.positionBits();
  for (size_t i = skip; i < f.own.dataBits; ++i) w.B(b.B());
  f.own.dataBits -= skip;
  auto bytes = w.bytes();
  f.own.data.assign(bytes.begin(), bytes.end());
  return f;
}

bool sameBits(const ProxyRecord& a, const ProxyRecord& b, size_t bits, size_t fromA = 0, size_t fromB = 0) {
  if (a.dataBits < fromA + bits || b.dataBits < fromB + bits) return false;
  BitReader x(a.data.data(), a.data.size()), y(b.data.data(), b.data.size());
  x.setPositionBits(fromA);
  y.setPositionBits(fromB);
  for (size_t i = 0; i < bits; ++i)
    if (x.B() != y.B()) return false;
  return true;
}

// The same data, allowing the zero bits a copy puts between the data and its string stream to
// end the record on a byte boundary.
::testing::AssertionResult sameData(const ProxyRecord& a, const ProxyRecord& b) {
  const size_t sa = stringSectionBits(a), sb = stringSectionBits(b);
  if (sa != sb || b.dataBits < a.dataBits || b.dataBits - a.dataBits >= 8)
    return ::testing::AssertionFailure() << a.dataBits << "/" << sa << " bits vs " << b.dataBits << "/" << sb;
  const size_t head = a.dataBits - sa, pad = b.dataBits - a.dataBits;
  ProxyRecord zeros;
  zeros.data.assign(1, 0);
  zeros.dataBits = 8;
  if (!sameBits(a, b, head) || !sameBits(a, b, sa, head, head + pad) || !sameBits(zeros, b, pad, 0, head))
    return ::testing::AssertionFailure() << "bits differ";
  return ::testing::AssertionSuccess();
}

std::map<std::string, size_t> entityCounts(const Drawing& d) {
  std::map<std::string, size_t> out;
  for (const Object& e : d.entities) ++out[e.type];
  return out;
}

}  // namespace

// R2007..R2018 sources: every raw record comes back under the same handle with its own part bit
// for bit: copied with a new frame (R2007 records re-framed, R2010 ones with a flag bit added,
// R2013 and R2018 ones renumbered), or, for a class whose layout differs in AC1027, as a proxy
// carrying the class, the source's format and the same bits.
TEST(DwgPassThrough, RawRecordsAreCopiedFromR2007On) {
  const std::pair<const char*, uint32_t> files[] = {{"acadsharp_sample_AC1021.dwg", 27}, {"acadsharp_sample_AC1024.dwg", 29},
                                                    {"acadsharp_sample_AC1027.dwg", 31}, {"acadsharp_sample_AC1032.dwg", 33}};
  for (const auto& [name, format] : files) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> src = corpusFile(std::string("dwg/") + name);
    if (src.empty()) GTEST_SKIP() << "corpus not available";
    Read a;
    ASSERT_TRUE(read(src, a));
    ASSERT_GT(a.raw.size(), 20u);
    std::vector<uint8_t> out;
    DwgWriteInfo wi;
    ASSERT_EQ(writeDwgBytes(a.d, out, &wi), Acad::eOk);
    for (const auto& [h, o] : a.raw) EXPECT_EQ(wi.skippedTypes.count(o->type), 0u) << o->type;
    Read b;
    ASSERT_TRUE(read(out, b));
    EXPECT_EQ(b.info.unreadable, 0u);
    EXPECT_EQ(b.info.crcErrors, 0u);
    std::map<std::string, size_t> before = entityCounts(a.d), after = entityCounts(b.d);
    for (const auto& [h, o] : a.raw) EXPECT_EQ(after[o->type], before[o->type]) << o->type;
    size_t copied = 0, proxies = 0;
    std::set<kel::engine::Handle> present;
    b.d.forEachObject([&](Object& o) { present.insert(o.handle); });
    for (const auto& [h, o] : a.raw) {
      auto it = b.raw.find(h);
      if (it == b.raw.end()) {
        // A copy the reader now understands (its R2013 form has a description): still there.
        EXPECT_TRUE(present.count(h)) << std::hex << h;
        continue;
      }
      ProxyRecord x = ownPart(a, *o);
      ProxyRecord y;
      if (it->second->dwgType == 498 || it->second->dwgType == 499) {
        ++proxies;
        ProxyFields f = proxyFields(b, *it->second);
        EXPECT_EQ(f.classId, o->dwgType);
        EXPECT_EQ(f.format & 0xFFFF, format);
        y = f.own;
      } else {
        ++copied;
        EXPECT_EQ(it->second->type, o->type);
        y = ownPart(b, *it->second);
        EXPECT_EQ(x.graphics, y.graphics);
      }
      EXPECT_TRUE(sameData(x, y)) << std::hex << h;
      EXPECT_EQ(x.handles, y.handles) << std::hex << h;
    }
    EXPECT_GT(copied, proxies);
    if (format == 31) {
      EXPECT_EQ(proxies, 0u);
    }
  }
}

// R13..R2004 sources: raw records of a class travel as proxies carrying the class, the source's
// format and the original data; raw records of fixed types are left out and counted.
TEST(DwgPassThrough, EarlierReleasesTravelAsProxies) {
  std::vector<uint8_t> src = corpusFile("dwg/acadsharp_sample_AC1015.dwg");
  if (src.empty()) GTEST_SKIP() << "corpus not available";
  Read a;
  ASSERT_TRUE(read(src, a));
  size_t classed = 0, fixed = 0;
  for (const auto& [h, o] : a.raw) (o->dwgType >= 500 ? classed : fixed)++;
  ASSERT_GT(classed, 10u);
  std::vector<uint8_t> out;
  DwgWriteInfo wi;
  ASSERT_EQ(writeDwgBytes(a.d, out, &wi), Acad::eOk);
  size_t rawSkipped = 0;
  std::set<std::string> rawTypes;
  for (const auto& [h, o] : a.raw) rawTypes.insert(o->type);
  for (const auto& [type, n] : wi.skippedTypes) rawSkipped += rawTypes.count(type) ? n : 0;
  EXPECT_EQ(rawSkipped, fixed);
  // Records read but not writable (tables) keep their bytes and travel as proxies too.
  size_t keptBytes = 0;
  a.d.forEachObject([&](const Object& o) { keptBytes += o.dwgDecoded && o.dwgType >= 500; });
  Read b;
  ASSERT_TRUE(read(out, b));
  EXPECT_EQ(b.info.rawTypes["PROXY_ENTITY"] + b.info.rawTypes["PROXY_OBJECT"], classed + keptBytes);
  for (const auto& [h, o] : a.raw) {
    if (o->dwgType < 500) continue;
    auto it = b.raw.find(h);
    ASSERT_NE(it, b.raw.end()) << std::hex << h;
    const bool entity = o->find(100) && o->find(100)->s == "AcDbEntity";
    EXPECT_EQ(it->second->dwgType, entity ? 498 : 499);
    ProxyFields f = proxyFields(b, *it->second);
    ProxyRecord x = ownPart(a, *o);
    EXPECT_EQ(f.classId, o->dwgType);
    EXPECT_EQ(f.format & 0xFFFF, 23u);  // the data is in the R2000 form
    // The original data, then the empty string-stream flag an AC1027 record needs.
    EXPECT_EQ(f.own.dataBits, x.dataBits + 1);
    EXPECT_TRUE(sameBits(f.own, x, x.dataBits)) << std::hex << h;
    EXPECT_EQ(f.own.handles, x.handles);
  }
}

// DWG -> DXF -> DWG: raw records are exported as proxies (references to them stay), and the
// proxies read from that DXF are written back as DWG proxies with the same own part.
TEST(DwgPassThrough, RawRecordsReachDxfAsProxiesAndComeBack) {
  std::vector<uint8_t> src = corpusFile("dwg/acadsharp_sample_AC1027.dwg");
  if (src.empty()) GTEST_SKIP() << "corpus not available";
  Read a;
  ASSERT_TRUE(read(src, a));
  size_t classed = 0;
  for (const auto& [h, o] : a.raw) classed += o->dwgType >= 500;
  Drawing exported = a.d;
  const size_t dropped = kel::engine::dropRawRecords(exported);
  EXPECT_EQ(dropped, 0u);  // every raw record of this file names its class
  size_t proxies = 0;
  exported.forEachObject([&](Object& o) {
    EXPECT_TRUE(o.dwgRaw.empty());
    proxies += o.type == "ACAD_PROXY_ENTITY" || o.type == "ACAD_PROXY_OBJECT";
  });
  EXPECT_EQ(proxies, classed);

  Drawing fromDxf;
  ASSERT_EQ(kel::engine::dxf::readDxfData(fromDxf, kel::engine::dxf::dxfText(exported, 16), nullptr), Acad::eOk);
  std::vector<uint8_t> out;
  DwgWriteInfo wi;
  ASSERT_EQ(writeDwgBytes(fromDxf, out, &wi), Acad::eOk);
  EXPECT_EQ(wi.skippedTypes.count("ACAD_PROXY_ENTITY") + wi.skippedTypes.count("ACAD_PROXY_OBJECT"), 0u);
  Read b;
  ASSERT_TRUE(read(out, b));
  EXPECT_EQ(b.info.rawTypes["PROXY_ENTITY"] + b.info.rawTypes["PROXY_OBJECT"], classed);
  for (const auto& [h, o] : a.raw) {
    auto it = b.raw.find(h);
    ASSERT_NE(it, b.raw.end()) << std::hex << h;
    ProxyFields f = proxyFields(b, *it->second);
    ProxyRecord x = ownPart(a, *o);
    EXPECT_EQ(f.classId, o->dwgType);
    EXPECT_EQ(f.format & 0xFFFF, 31u);
    EXPECT_EQ(f.own.dataBits, x.dataBits);  // the data keeps its own string stream
    EXPECT_TRUE(sameBits(f.own, x, x.dataBits)) << std::hex << h;
    EXPECT_EQ(f.own.handles, x.handles);
  }
}

// Proxies as DXF gives them: class, format, graphics, data bits and references (those naming
// records the file lacks become null); DXF-shaped data has no DWG form and is left out.
TEST(DwgPassThrough, ProxiesFromDxfBecomeDwgProxies) {
  Drawing d;
  kel::engine::buildDefaultDrawing(d);
  d.classes.push_back({Tag::str(1, "MY_THING"), Tag::str(2, "MyThing"), Tag::str(3, "test"),
                       Tag::integer(90, 1), Tag::integer(280, 0), Tag::integer(281, 1)});
  const int32_t cls = int32_t(500 + d.classes.size() - 1);
  const kel::engine::Handle layer0 = d.table("LAYER")->entries.front().handle;
  Object e;
  e.type = "ACAD_PROXY_ENTITY";
  e.handle = d.newHandle();
  Tag g, bits;
  g.code = bits.code = 310;
  g.kind = bits.kind = kel::engine::ValueKind::Binary;
  g.s = std::string("\x01\x02\x03\x04\x05", 5);
  bits.s = std::string("\xA5\xF0", 2);
  e.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0"), Tag::str(100, "AcDbProxyEntity"),
            Tag::integer(90, 498), Tag::integer(91, cls), Tag::integer(92, 5), g, Tag::integer(93, 13), bits,
            Tag::handle(330, layer0), Tag::handle(360, 0xFFFF0), Tag::integer(94, 0),
            Tag::integer(95, 23 | (6 << 16)), Tag::integer(70, 0)};
  d.entities.push_back(e);
  Object o;
  o.type = "ACAD_PROXY_OBJECT";
  o.handle = d.newHandle();
  o.owner = d.objects.front().handle;
  o.body = {Tag::str(100, "AcDbProxyObject"), Tag::integer(90, 499), Tag::integer(91, cls), Tag::integer(95, 31),
            Tag::integer(70, 0), Tag::integer(93, 16), bits, Tag::handle(340, layer0), Tag::integer(94, 0)};
  d.objects.push_back(o);
  Object x = o;
  x.handle = d.newHandle();
  x.body = {Tag::str(100, "AcDbProxyObject"), Tag::integer(90, 499), Tag::integer(91, cls),
            Tag::integer(70, 1), Tag::str(100, "AcDbSomething"), Tag::integer(90, 2)};
  d.objects.push_back(x);

  std::vector<uint8_t> out;
  DwgWriteInfo wi;
  ASSERT_EQ(writeDwgBytes(d, out, &wi), Acad::eOk);
  EXPECT_EQ(wi.skipped, 1u);
  EXPECT_EQ(wi.skippedTypes["ACAD_PROXY_OBJECT"], 1u);
  Read b;
  ASSERT_TRUE(read(out, b));
  ASSERT_TRUE(b.raw.count(e.handle));
  ASSERT_TRUE(b.raw.count(o.handle));
  EXPECT_FALSE(b.raw.count(x.handle));

  ProxyFields fe = proxyFields(b, *b.raw[e.handle]);
  EXPECT_EQ(b.raw[e.handle]->dwgType, 498);
  EXPECT_EQ(fe.classId, cls);
  EXPECT_EQ(fe.format, uint32_t(23 | (6 << 16)));
  EXPECT_TRUE(fe.own.graphics.empty());  // proxies go without graphics (see encodeProxy)
  // An R2000-format datum gets the empty string-stream flag after its 13 bits.
  EXPECT_EQ(fe.own.dataBits, 14u);
  ProxyRecord want;
  want.data = {0xA5, 0xF0};
  want.dataBits = 13;
  EXPECT_TRUE(sameBits(fe.own, want, 13));
  EXPECT_EQ(fe.own.handles, (std::vector<std::pair<int, kel::engine::Handle>>{{330, layer0}, {360, 0}}));

  ProxyFields fo = proxyFields(b, *b.raw[o.handle]);
  EXPECT_EQ(b.raw[o.handle]->dwgType, 499);
  EXPECT_EQ(fo.own.dataBits, 16u);  // an R2013-format datum carries its own string-stream flag
  EXPECT_EQ(fo.own.handles, (std::vector<std::pair<int, kel::engine::Handle>>{{340, layer0}}));
}

// The corpus DXFs' proxies (written by an open-source converter, strings apart from the data)
// all reach the DWG file.
TEST(DwgPassThrough, CorpusDxfProxiesAreWritten) {
  const fs::path p = fs::path(KEL_SHARED_DIR) / "corpus" / "dxf" / "libredwg_2013_gh109_1.dxf";
  if (!fs::exists(p)) GTEST_SKIP() << "corpus not available";
  std::ifstream f(p, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  Drawing d;
  ASSERT_EQ(kel::engine::dxf::readDxfData(d, text, nullptr), Acad::eOk);
  size_t pe = 0, po = 0;
  d.forEachObject([&](Object& o) {
    pe += o.type == "ACAD_PROXY_ENTITY";
    po += o.type == "ACAD_PROXY_OBJECT";
  });
  ASSERT_EQ(pe, 25u);
  std::vector<uint8_t> out;
  DwgWriteInfo wi;
  ASSERT_EQ(writeDwgBytes(d, out, &wi), Acad::eOk);
  Read b;
  ASSERT_TRUE(read(out, b));
  EXPECT_EQ(b.info.rawTypes["PROXY_ENTITY"], pe);
  EXPECT_EQ(b.info.rawTypes["PROXY_OBJECT"], po);
}

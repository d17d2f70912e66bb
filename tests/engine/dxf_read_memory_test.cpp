// How little memory a DXF import holds: the look-ahead that finds the records of a section before
// they are read (so every list is allocated once, at its final size), and the lists of a drawing
// read from text, from binary DXF and from old R12 files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "engine/dxf/dxf.h"
#include "engine/dxf/dxf_log.h"
#include "engine/dxf/dxf_tags.h"
#include "engine/model/drawing.h"
#include "tests/engine/dxf_test_util.h"

namespace fs = std::filesystem;
using kel::engine::Drawing;
using kel::engine::Object;
using kel::engine::Tag;
using kel::engine::Tags;
using kel::engine::dxf::DxfLog;
using kel::engine::dxf::TagReader;

namespace {

// The record names the look-ahead reports after the reader has given `skip` groups.
std::vector<std::string> scanned(const std::string& data, size_t skip) {
  DxfLog log(nullptr);
  TagReader rd(data, log);
  Tag t;
  uint32_t at = 0;
  for (size_t k = 0; k < skip && rd.next(t, at); ++k) {
  }
  std::vector<std::string> names;
  rd.scanRecords([&](std::string_view name) {
    names.emplace_back(name);
    return true;
  });
  return names;
}

// The same names as the reader gives them, group by group ("EOF" ends the groups but is a
// record start for the look-ahead).
std::vector<std::string> read(const std::string& data, size_t skip) {
  DxfLog log(nullptr);
  TagReader rd(data, log);
  Tag t;
  uint32_t at = 0;
  std::vector<std::string> names;
  size_t k = 0;
  for (; rd.next(t, at); ++k)
    if (k >= skip && t.code == 0) names.push_back(t.s);
  if (rd.sawEof() && k >= skip) names.push_back("EOF");
  return names;
}

std::vector<fs::path> corpus() {
  std::vector<fs::path> files;
  for (const char* sub : {"dxf", "dxf-ref"}) {
    fs::path dir = fs::path(KEL_SHARED_DIR) / "corpus" / sub;
    if (!fs::exists(dir)) continue;
    for (const auto& e : fs::directory_iterator(dir))
      if (e.path().extension() == ".dxf") files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Bytes allocated beyond what a list holds.
template <class List>
size_t slack(const List& v) {
  return (v.capacity() - v.size()) * sizeof(typename List::value_type);
}
size_t slack(const Object& o) {
  size_t n = slack(o.body) + slack(o.xdata) + slack(o.reactors) + slack(o.appData);
  for (const auto& a : o.appData) n += slack(a.tags);
  return n;
}

}  // namespace

TEST(DxfReadMemory, LookAheadSeesOnlyRecordStarts) {
  // Zeros that are values (an integer, a text, a comment), a record named with a leading digit,
  // padded and bare codes, CRLF and LF, blanks after a name, no EOF at the end.
  const std::string text =
      "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n  0\r\nLINE\r\n 70\r\n     0\r\n  1\r\n0\r\n999\r\n0\r\n"
      "0\n3DFACE  \n62\n0\n 1\n  0\n0\nTEXT\n1\n0\n  0\r\nENDSEC\r\n";
  const std::vector<std::string> all = {"SECTION", "LINE", "3DFACE", "TEXT", "ENDSEC"};
  EXPECT_EQ(scanned(text, 0), all);
  EXPECT_EQ(scanned(text, 2), std::vector<std::string>(all.begin() + 1, all.end()));  // after the section name
  EXPECT_EQ(scanned(text, 4), std::vector<std::string>(all.begin() + 2, all.end()));  // inside LINE

  // A look-ahead stops where its caller says so.
  DxfLog log(nullptr);
  TagReader rd(text, log);
  size_t seen = 0;
  rd.scanRecords([&](std::string_view) { return ++seen < 2; });
  EXPECT_EQ(seen, 2u);

  // Binary DXF with two-byte codes: names, handles, reals, integers and hex data skipped by size.
  std::string bin(kel::engine::dxf::kBinarySentinel);
  auto code = [&](int16_t c) { bin.append(reinterpret_cast<const char*>(&c), 2); };
  auto str = [&](int16_t c, const char* s) { code(c), bin.append(s, std::strlen(s) + 1); };
  str(0, "SECTION"), str(2, "ENTITIES"), str(0, "CIRCLE"), str(5, "2A");
  code(10), bin.append(8, '\0'), code(70), bin.append(2, '\0'), code(90), bin.append(4, '\0');
  code(290), bin.push_back(1), code(310), bin.push_back(3), bin.append("\0\0\0", 3), str(1, "0");
  str(0, "ENDSEC"), str(0, "EOF");
  EXPECT_EQ(scanned(bin, 0), (std::vector<std::string>{"SECTION", "CIRCLE", "ENDSEC", "EOF"}));
  EXPECT_EQ(scanned(bin, 3), (std::vector<std::string>{"ENDSEC", "EOF"}));
}

TEST(DxfReadMemory, LookAheadAgreesWithTheReaderOnTheCorpus) {
  const auto files = corpus();
  if (files.empty()) GTEST_SKIP() << "no corpus under " << KEL_SHARED_DIR;
  for (const auto& f : files) {
    SCOPED_TRACE(f.filename().string());
    const std::string data = kel::test::readFile(f.string());
    for (size_t skip : {size_t(0), size_t(1), size_t(777)}) EXPECT_EQ(scanned(data, skip), read(data, skip)) << skip;
  }
}

TEST(DxfReadMemory, ListsOfAReadDrawingHoldNoSpareRoom) {
  const auto files = corpus();
  if (files.empty()) GTEST_SKIP() << "no corpus under " << KEL_SHARED_DIR;
  for (const auto& f : files) {
    SCOPED_TRACE(f.filename().string());
    Drawing d;
    const std::string data = kel::test::readFile(f.string());
    const auto es = kel::engine::dxf::readDxfData(d, data, nullptr);
    ASSERT_TRUE(es == Acad::eOk || es == Acad::eDxfPartiallyRead) << es;
    // Older files get records and groups added by the finishing pass (subclass markers, owners,
    // the objects section), and those lists grow as lists do: only files of 2000 on are measured.
    if (d.version < 1015) continue;
    size_t held = 0, spare = 0;
    auto records = [&](const std::vector<Object>& list) {
      held += list.size() * sizeof(Object);
      spare += slack(list);
      for (const auto& o : list) held += (o.body.size() + o.xdata.size()) * sizeof(Tag), spare += slack(o);
    };
    records(d.entities);
    for (const auto& b : d.blocks) records(b.entities);
    for (const auto& t : d.tables) records(t.entries);
    records(d.objects);
    for (const auto& h : d.header) spare += slack(h.values);
    EXPECT_LE(double(spare), 0.05 * double(held)) << spare << " of " << held;
  }
}

TEST(DxfReadMemory, RarelyFilledListsBehaveLikeVectors) {
  using kel::engine::RareList;
  static_assert(sizeof(RareList<Tag>) == sizeof(void*));
  Object a;
  EXPECT_TRUE(a.xdata.empty());
  EXPECT_EQ(a.xdata.begin(), a.xdata.end());
  a.xdata.push_back(Tag::str(1001, "APP"));
  a.xdata.emplace_back(Tag::integer(1070, 7));
  a.xdata.insert(a.xdata.begin() + 1, Tag::real(1040, 2.5));
  Object b = a;  // a deep copy
  b.xdata[0].s = "OTHER";
  b.xdata.erase(b.xdata.begin());
  EXPECT_EQ(a.xdata[0].s, "APP");
  ASSERT_EQ(b.xdata.size(), 2u);
  EXPECT_EQ(b.xdata.front().d, 2.5);
  EXPECT_EQ(b.xdata.back().i, 7);

  // Passed where a vector is taken, filled from one, given to a byte view.
  const Tags& view = static_cast<const Object&>(a).xdata;
  EXPECT_EQ(view.size(), 3u);
  auto fill = [](Tags& t) { t.push_back(Tag::str(1000, "more")); };
  fill(a.xdata);
  EXPECT_EQ(a.xdata.size(), 4u);
  b.dwgRaw = std::vector<uint8_t>{1, 2, 3};
  std::span<const uint8_t> bytes = b.dwgRaw;
  EXPECT_EQ(bytes.size(), 3u);
  EXPECT_EQ(bytes[2], 3);

  // Emptied lists give their memory back; copies of empty lists allocate nothing.
  b.dwgRaw.clear();
  b.xdata.erase(b.xdata.begin(), b.xdata.end());
  Object c = b;
  EXPECT_EQ(c.xdata.capacity(), 0u);
  EXPECT_EQ(c.dwgRaw.capacity(), 0u);
  EXPECT_TRUE(static_cast<const Tags&>(static_cast<const Object&>(c).xdata).empty());
}

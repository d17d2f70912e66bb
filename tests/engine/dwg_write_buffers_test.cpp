// The DWG writer's reused buffers and fast paths: they must give exactly what the plain versions
// give. Records encoded through one shared set of buffers, the bit writer's append path, the
// handle set behind "does the file hold this record", the sliced CRC, sections handed to the
// container in pieces, and whole files written again from the same drawing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/dwg/bits.h"
#include "engine/dwg/container2004.h"
#include "engine/dwg/crc.h"
#include "engine/dwg/objects_write.h"
#include "engine/dwg/read_dwg.h"
#include "engine/dwg/write_dwg.h"
#include "engine/model/drawing.h"
#include "engine/model/structure.h"

using namespace kel::dwg;
using kel::engine::Object;
using kel::engine::Tag;
using kel::engine::Tags;

namespace {

Object entity(const std::string& type, Handle h, Tags own) {
  Object o;
  o.type = type;
  o.handle = h;
  o.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "Walls")};
  o.body.insert(o.body.end(), own.begin(), own.end());
  return o;
}

RecordPlan planFor(const std::string& dwgType) {
  RecordPlan p;
  p.dwgType = dwgType;
  p.type = fixedTypeNumber(dwgType);
  p.kind = RecordKind::Entity;
  p.entmode = 2;
  return p;
}

}  // namespace

// A record encoded after others through shared buffers must come out as it does on its own: no
// cursor, used flag, queued value or text of the record before may reach it.
TEST(DwgWriteBuffers, SharedBuffersEncodeEachRecordAsAFreshWriterDoes) {
  NameIndex names;
  names.add("LAYER", "0", 0x10);
  names.add("LAYER", "Walls", 0x11);
  names.add("STYLE", "Standard", 0x13);
  const std::vector<std::pair<Object, std::string>> records = {
      {entity("TEXT", 0x40, {Tag::str(100, "AcDbText"), Tag::real(10, 1), Tag::real(20, 2), Tag::real(40, 2.5),
                             Tag::str(1, "Caf\xC3\xA9 \xF0\x9F\x99\x82"), Tag::real(50, 30), Tag::str(7, "Standard"),
                             Tag::str(100, "AcDbText"), Tag::integer(73, 2)}),
       "TEXT"},
      {entity("LWPOLYLINE", 0x41, {Tag::str(100, "AcDbPolyline"), Tag::integer(90, 2), Tag::real(10, 0), Tag::real(20, 0),
                                   Tag::real(42, 0.5), Tag::real(10, 10), Tag::real(20, 5)}),
       "LWPOLYLINE"},
      {entity("MTEXT", 0x42, {Tag::str(100, "AcDbMText"), Tag::real(10, 4), Tag::real(40, 1),
                              Tag::str(3, std::string(300, 'a')), Tag::str(1, "end")}),
       "MTEXT"},
      {entity("ARC", 0x43, {Tag::str(100, "AcDbCircle"), Tag::real(10, 1), Tag::real(40, 3), Tag::str(100, "AcDbArc"),
                            Tag::real(50, 10), Tag::real(51, 200)}),
       "ARC"},
      {entity("LINE", 0x44, {Tag::str(100, "AcDbLine"), Tag::real(11, 4)}), "LINE"},
  };
  WriteContext plain;
  plain.names = &names;
  std::vector<uint8_t> expected, one;
  for (const auto& [o, type] : records) {
    ASSERT_TRUE(encodeRecord(o, planFor(type), plain, one)) << type;
    expected.insert(expected.end(), one.begin(), one.end());
  }
  EncodeScratch scratch(Version::R2013);
  WriteContext shared = plain;
  shared.scratch = &scratch;
  // Twice over, so each record also follows the last one of the round before.
  for (int round = 0; round < 2; ++round) {
    std::vector<uint8_t> got = {0xAB};  // appended after what is there
    for (const auto& [o, type] : records) ASSERT_TRUE(appendRecord(o, planFor(type), shared, got)) << type;
    ASSERT_EQ(got.size(), expected.size() + 1);
    EXPECT_EQ(got[0], 0xAB);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), got.begin() + 1)) << "round " << round;
  }
  // A record the writer has no form for leaves the buffer as it was.
  std::vector<uint8_t> got = {1, 2, 3};
  EXPECT_FALSE(appendRecord(records[0].first, planFor("NO_SUCH_TYPE"), shared, got));
  EXPECT_EQ(got, (std::vector<uint8_t>{1, 2, 3}));
}

// Random runs of every width, raw values and single bits, some of them patched afterwards, against
// a plain list of bits.
TEST(DwgWriteBuffers, BitWriterAppendsAndPatchesBitForBit) {
  std::mt19937_64 rng(7);
  for (int trial = 0; trial < 500; ++trial) {
    BitWriter w(Version::R2013);
    std::vector<int> ref;
    auto push = [&](uint64_t v, unsigned n) {
      for (unsigned i = 0; i < n; ++i) ref.push_back(int((v >> (n - 1 - i)) & 1));
    };
    auto pushLowByteFirst = [&](uint64_t v, unsigned bytes) {
      for (unsigned b = 0; b < bytes; ++b) push((v >> (8 * b)) & 0xFF, 8);
    };
    const int ops = int(rng() % 40);
    for (int k = 0; k < ops; ++k) {
      const uint64_t v = rng();
      switch (rng() % 6) {
        case 0: {
          const unsigned n = unsigned(rng() % 65);
          w.bits(v, n);
          push(n == 64 ? v : v & ((uint64_t(1) << n) - 1), n);
          break;
        }
        case 1: w.RC(uint8_t(v)); pushLowByteFirst(v, 1); break;
        case 2: w.RS(uint16_t(v)); pushLowByteFirst(v, 2); break;
        case 3: w.RL(uint32_t(v)); pushLowByteFirst(v, 4); break;
        case 4: w.RLL(v); pushLowByteFirst(v, 8); break;
        default: w.B(v & 1); push(v & 1, 1); break;
      }
    }
    if (!ref.empty() && rng() % 2) {  // overwrite a few bits inside, then carry on at the end
      const size_t at = size_t(rng() % ref.size());
      const unsigned n = unsigned(std::min<size_t>(ref.size() - at, 13));
      const uint64_t v = rng();
      w.setPositionBits(at);
      w.bits(v, n);
      for (unsigned i = 0; i < n; ++i) ref[at + i] = int((v >> (n - 1 - i)) & 1);
      w.setPositionBits(ref.size());
      w.RC(0x5A);
      push(0x5A, 8);
    }
    ASSERT_EQ(w.sizeBits(), ref.size());
    const auto bytes = w.bytes();
    for (size_t i = 0; i < ref.size(); ++i) ASSERT_EQ((bytes[i / 8] >> (7 - i % 8)) & 1, ref[i]) << "bit " << i;
    if (ref.size() % 8) {
      EXPECT_EQ(bytes[ref.size() / 8] & (0xFF >> (ref.size() % 8)), 0);  // zero-padded
    }
    w.clear();
    w.RS(0x1234);
    ASSERT_EQ(w.bytes().size(), 2u);
    EXPECT_EQ(w.bytes()[0], 0x34);
    EXPECT_EQ(w.bytes()[1], 0x12);
  }
}

TEST(DwgWriteBuffers, HandleSetsAnswerLikeAnOrderedSet) {
  std::mt19937_64 rng(11);
  // Dense (a bit per handle) and sparse (a sorted list) handles, with duplicates and erasures.
  for (const bool dense : {true, false}) {
    std::vector<Handle> in;
    std::set<Handle> ref;
    for (int i = 0; i < 3000; ++i) {
      const Handle h = dense ? 1 + rng() % 5000 : rng() >> 8;
      in.push_back(h);
      ref.insert(h);
    }
    HandleSet set(in);
    for (int i = 0; i < 200; ++i) {
      const Handle h = in[size_t(rng() % in.size())];
      set.erase(h);
      ref.erase(h);
    }
    set.erase(dense ? 999999 : 1);  // absent: no effect
    for (Handle h : in) EXPECT_EQ(set.contains(h), ref.count(h) == 1) << h;
    for (int i = 0; i < 3000; ++i) {
      const Handle h = dense ? rng() % 6000 : rng() >> 8;
      EXPECT_EQ(set.contains(h), ref.count(h) == 1) << h;
    }
    EXPECT_FALSE(set.contains(~Handle(0)));
  }
  EXPECT_FALSE(HandleSet().contains(1));
  EXPECT_FALSE(HandleSet(std::vector<Handle>{}).contains(0));
}

// The CRC taken eight bytes at a time against its bit-by-bit definition, at every length and
// alignment around the eight-byte steps, and chained across splits.
TEST(DwgWriteBuffers, SlicedCrcMatchesTheBitwiseDefinition) {
  auto bitwise = [](uint16_t crc, const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      crc ^= p[i];
      for (int k = 0; k < 8; ++k) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
  };
  std::mt19937 rng(3);
  std::vector<uint8_t> data(200);
  for (auto& b : data) b = uint8_t(rng());
  for (size_t start = 0; start < 8; ++start)
    for (size_t n = 0; n + start <= 60; ++n)
      for (uint16_t seed : {uint16_t(0), kCrc16Seed})
        ASSERT_EQ(crc16(seed, data.data() + start, n), bitwise(seed, data.data() + start, n)) << start << "+" << n;
  const uint16_t whole = crc16(kCrc16Seed, data.data(), data.size());
  EXPECT_EQ(crc16(crc16(kCrc16Seed, data.data(), 13), data.data() + 13, data.size() - 13), whole);
}

// A drawing large enough for several pages of records, written twice from the same drawing: the
// same bytes (nothing left over in the buffers kept between writes), and the reader finds every
// entity again.
TEST(DwgWriteBuffers, RepeatedWritesGiveTheSameFile) {
  kel::engine::Drawing d;
  kel::engine::buildDefaultDrawing(d);
  for (int i = 0; i < 3000; ++i) {
    Object o;
    o.handle = d.newHandle();
    const double x = i * 1.25, y = (i % 17) * 0.5;
    if (i % 3 == 0) {
      o.type = "LINE";
      o.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0"), Tag::str(100, "AcDbLine"), Tag::real(10, x),
                Tag::real(20, y), Tag::real(30, 0), Tag::real(11, x + 3), Tag::real(21, y + 1), Tag::real(31, 0)};
    } else if (i % 3 == 1) {
      o.type = "TEXT";
      o.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0"), Tag::str(100, "AcDbText"), Tag::real(10, x),
                Tag::real(20, y), Tag::real(30, 0), Tag::real(40, 2), Tag::str(1, "Label " + std::to_string(i)),
                Tag::real(50, i % 360), Tag::str(100, "AcDbText")};
    } else {
      o.type = "CIRCLE";
      o.body = {Tag::str(100, "AcDbEntity"), Tag::str(8, "0"), Tag::str(100, "AcDbCircle"), Tag::real(10, x),
                Tag::real(20, y), Tag::real(30, 0), Tag::real(40, 1 + i % 5)};
    }
    d.entities.push_back(std::move(o));
  }
  kel::engine::Notes notes;
  kel::engine::completeStructure(d, notes);

  std::vector<uint8_t> first, second;
  DwgWriteInfo info;
  ASSERT_EQ(writeDwgBytes(d, first, &info), Acad::eOk);
  ASSERT_EQ(writeDwgBytes(d, second), Acad::eOk);
  EXPECT_EQ(info.skipped, 0u);
  EXPECT_GT(first.size(), 0x7400u);  // more than one page
  EXPECT_TRUE(first == second);

  kel::engine::Drawing back;
  ASSERT_EQ(readDwgBytes(back, first), Acad::eOk);
  size_t lines = 0, texts = 0, circles = 0;
  for (const Object& e : back.entities) {
    lines += e.type == "LINE";
    texts += e.type == "TEXT";
    circles += e.type == "CIRCLE";
  }
  EXPECT_EQ(lines, 1000u);
  EXPECT_EQ(texts, 1000u);
  EXPECT_EQ(circles, 1000u);
}

// Sections handed over in pieces of any size, as the writer hands over the objects while it
// encodes them, make the same file as the sections given whole, and read back as given: full
// pages, a last page zero-filled, a stored section of two pages, an empty one and an unknown name.
TEST(DwgWriteBuffers, SectionsGivenInPiecesMakeTheSameFile) {
  std::mt19937 rng(7);
  auto bytes = [&](size_t n, unsigned alphabet) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(rng() % alphabet);
    return v;
  };
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> sections = {
      {std::string(kSectionHeader), bytes(300, 256)},
      {std::string(kSectionObjects), bytes(2 * kMaxPageData + 1000, 16)},
      {std::string(kSectionPreview), bytes(kMaxPageData + 5, 256)},
      {std::string(kSectionHandles), bytes(kMaxPageData, 4)},
      {std::string(kSectionTemplate), {}},
      {"AcDb:Extra", bytes(10, 3)}};
  std::vector<SectionInput2004> whole;
  std::vector<std::string> names;
  for (const auto& [name, data] : sections) {
    whole.push_back({name, data});
    names.push_back(name);
  }
  std::vector<uint8_t> expected;
  ASSERT_EQ(writeContainer2004(whole, {}, expected), Acad::eOk);

  for (size_t piece : {size_t(1), size_t(777), size_t(kMaxPageData), size_t(kMaxPageData + 1)}) {
    std::vector<uint8_t> file;
    ContainerWriter2004 w(names, {}, file);
    for (const std::string& name : w.order()) {
      const auto& data = std::find_if(sections.begin(), sections.end(), [&](const auto& s) { return s.first == name; })->second;
      ASSERT_TRUE(w.begin(name)) << name;
      for (size_t at = 0; at < data.size(); at += piece)
        w.append(std::span<const uint8_t>(data).subspan(at, std::min(piece, data.size() - at)));
    }
    ASSERT_EQ(w.finish(), Acad::eOk);
    EXPECT_TRUE(file == expected) << "pieces of " << piece;
  }

  Container2004 c;
  ASSERT_EQ(c.open(expected), Acad::eOk);
  for (const auto& [name, data] : sections) {
    std::vector<uint8_t> back;
    EXPECT_EQ(c.read(name, back), Acad::eOk) << name;
    EXPECT_TRUE(back == data) << name;
  }
}

// The container takes the sections in file order only, each once, and all of them.
TEST(DwgWriteBuffers, ContainerWriterRefusesSectionsOutOfOrderOrMissing) {
  const std::vector<std::string> names = {std::string(kSectionHeader), std::string(kSectionObjects)};
  const std::vector<uint8_t> data(100, 1);
  std::vector<uint8_t> file;
  {
    ContainerWriter2004 w(names, {}, file);
    EXPECT_EQ(w.order(), (std::vector<std::string>{names[1], names[0]}));  // objects come first
    EXPECT_FALSE(w.add(kSectionHeader, data));
    EXPECT_FALSE(w.add(kSectionObjects, data));  // refused once the order was broken
    EXPECT_EQ(w.finish(), Acad::eInvalidInput);
  }
  {
    ContainerWriter2004 w(names, {}, file);
    EXPECT_TRUE(w.add(kSectionObjects, data));
    EXPECT_EQ(w.finish(), Acad::eInvalidInput);  // the header was never given
  }
  {
    ContainerWriter2004 w(names, {}, file);
    EXPECT_TRUE(w.add(kSectionObjects, data));
    EXPECT_TRUE(w.add(kSectionHeader, data));
    EXPECT_EQ(w.finish(), Acad::eOk);
    EXPECT_EQ(w.finish(), Acad::eInvalidInput);  // the file is complete
    EXPECT_FALSE(w.begin(kSectionHeader));
  }
  const std::vector<std::string> twice = {names[0], names[0]};
  ContainerWriter2004 w(twice, {}, file);
  EXPECT_EQ(w.status(), Acad::eInvalidInput);
  EXPECT_TRUE(file.empty());
}

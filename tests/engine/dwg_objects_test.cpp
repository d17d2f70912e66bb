// The object decoder on records built bit by bit: common entity data, the separate handle and
// string streams of R2007+, the DXF groups a description yields, and damaged records.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "engine/dwg/bits.h"
#include "engine/dwg/objects.h"

namespace {

using namespace kel::dwg;
using kel::engine::Tag;
using kel::engine::ValueKind;

const Tag* findTag(const kel::engine::Tags& body, int code) {
  for (const auto& t : body)
    if (t.code == code) return &t;
  return nullptr;
}

// A LINE in model space on the layer with handle 0x10, from (1,2,0) to (3,4,0).
std::vector<uint8_t> lineRecord(Version v) {
  BitWriter w(v);
  w.OT(19);
  size_t sizeAt = w.positionBits();
  if (v >= Version::R2000 && v <= Version::R2007) w.RL(0);  // patched below
  w.H(0, 0x2A);
  w.BS(0);       // no extended data
  w.B(false);    // no preview
  if (v <= Version::R14) w.RL(0);
  w.BB(2);       // model space
  w.BL(0);       // reactors
  if (v <= Version::R14) w.B(true);   // linetype by layer
  if (v >= Version::R2004) w.B(true); // no extension dictionary
  if (v <= Version::R2000) w.B(true); // no links
  if (v >= Version::R2013) w.B(false);
  w.BS(256);
  w.BD(1.0);
  if (v >= Version::R2000) {
    w.BB(0);
    w.BB(0);
  }
  if (v >= Version::R2007) {
    w.BB(0);
    w.RC(0);
  }
  if (v >= Version::R2010) {
    w.B(false);
    w.B(false);
    w.B(false);
  }
  w.BS(0);
  if (v >= Version::R2000) w.RC(29);
  if (v <= Version::R14) {
    w.BD3({1, 2, 0});
    w.BD3({3, 4, 0});
    w.BD(0);
    w.BD3({0, 0, 1});
  } else {
    w.B(true);
    w.RD(1);
    w.DD(3, 1);
    w.RD(2);
    w.DD(4, 2);
    w.BT(0);
    w.BE({0, 0, 1});
  }
  if (v >= Version::R2007) w.B(false);  // no strings
  size_t dataEnd = w.positionBits();
  if (v <= Version::R14) {
    size_t save = w.positionBits();
    // The R13/R14 size field follows the preview flag: type, handle, EED size, preview bit.
    BitWriter probe(v);
    probe.OT(19);
    probe.H(0, 0x2A);
    probe.BS(0);
    probe.B(false);
    w.setPositionBits(probe.positionBits());
    w.RL(uint32_t(dataEnd));
    w.setPositionBits(save);
  } else if (v <= Version::R2007) {
    size_t save = w.positionBits();
    w.setPositionBits(sizeAt);
    w.RL(uint32_t(dataEnd));
    w.setPositionBits(save);
  }
  if (v <= Version::R2000) w.H(3, 0);  // no extension dictionary: a null handle before R2004
  w.H(5, 0x10);                         // layer
  std::vector<uint8_t> rec = w.take();
  if (v >= Version::R2010) {
    // Handle-stream size in front.
    size_t handleBits = rec.size() * 8 - dataEnd;
    BitWriter h(v);
    h.UMC(handleBits);
    std::vector<uint8_t> out = h.take();
    out.insert(out.end(), rec.begin(), rec.end());
    return out;
  }
  return rec;
}

TEST(DwgObjects, LineDecodesToItsDxfGroupsInEveryVersion) {
  for (Version v : {Version::R13, Version::R14, Version::R2000, Version::R2004, Version::R2007, Version::R2010,
                    Version::R2013, Version::R2018}) {
    std::vector<uint8_t> rec = lineRecord(v);
    DecodedObject o;
    ASSERT_EQ(decodeObject(rec, DecodeContext{v, 30, nullptr}, o), Acad::eOk) << "version " << int(v);
    EXPECT_TRUE(o.decoded) << int(v);
    EXPECT_EQ(o.dxfName, "LINE");
    EXPECT_EQ(o.handle, 0x2Au);
    EXPECT_EQ(o.entmode, 2);
    const Tag* layer = findTag(o.body, 8);
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->kind, ValueKind::Handle);
    EXPECT_EQ(layer->i, 0x10);
    ASSERT_NE(findTag(o.body, 11), nullptr);
    EXPECT_DOUBLE_EQ(findTag(o.body, 11)->d, 3);
    EXPECT_DOUBLE_EQ(findTag(o.body, 21)->d, 4);
    EXPECT_DOUBLE_EQ(findTag(o.body, 20)->d, 2);
  }
}

TEST(DwgObjects, DamagedRecordsGiveAStatusNotACrash) {
  std::vector<uint8_t> rec = lineRecord(Version::R2000);
  for (size_t cut = 0; cut < rec.size(); ++cut) {
    DecodedObject o;
    std::span<const uint8_t> part(rec.data(), cut);
    Acad::ErrorStatus es = decodeObject(part, DecodeContext{Version::R2000, 30, nullptr}, o);
    EXPECT_TRUE(es != Acad::eOk || !o.decoded || cut == rec.size()) << cut;
  }
  // A size in bits beyond the record.
  rec[1] = 0xFF;
  DecodedObject o;
  decodeObject(rec, DecodeContext{Version::R2000, 30, nullptr}, o);
  SUCCEED();
}

// The groups each description yields cover what the DXF form of the type carries.
TEST(DwgObjects, DescriptionsCoverTheDxfGroups) {
  struct Case {
    uint16_t type;
    std::set<int> dxf;
  };
  const Case cases[] = {
      {19, {100, 10, 20, 30, 11, 21, 31, 39, 210, 220, 230}},
      {18, {100, 10, 20, 30, 40, 39, 210, 220, 230}},
      {17, {100, 10, 20, 30, 40, 39, 210, 220, 230, 50, 51}},
      {27, {100, 10, 20, 30, 39, 210, 220, 230, 50}},
      {35, {100, 10, 20, 30, 11, 21, 31, 210, 220, 230, 40, 41, 42}},
      {40, {100, 10, 20, 30, 11, 21, 31}},
  };
  for (const auto& c : cases) {
    // Zero bits after the common part read as zeros: enough to see the groups. Built twice, the
    // second time with the data size the first one measured.
    auto build = [&](uint32_t dataBits, size_t* end) {
      BitWriter w(Version::R2000);
      w.OT(c.type);
      w.RL(dataBits);
      w.H(0, 0x30);
      w.BS(0);
      w.B(false);
      w.BB(2);
      w.BL(0);
      w.B(true);  // no links
      w.BS(256);
      w.BD(1.0);
      w.BB(0);
      w.BB(0);
      w.BS(0);
      w.RC(29);
      for (int i = 0; i < 160; ++i) w.RC(0);  // room for the longest of the cases
      *end = w.positionBits();
      w.H(3, 0);  // extension dictionary
      w.H(5, 0x10);
      return w.take();
    };
    size_t end = 0;
    build(0, &end);
    std::vector<uint8_t> rec = build(uint32_t(end), &end);
    DecodedObject o;
    decodeObject(rec, DecodeContext{Version::R2000, 30, nullptr}, o);
    std::set<int> got;
    for (const auto& t : o.body) got.insert(t.code);
    for (int code : c.dxf) EXPECT_TRUE(got.count(code)) << "type " << c.type << " group " << code;
  }
  EXPECT_GT(describedTypeNames().size(), 50u);
}

}  // namespace

// Texts of R13-R2004 files are in the file's code page, converted as the DXF reader converts the
// same code page: a Cyrillic drawing's names stay Cyrillic, the CP1252 range 0x80-0x9F maps to
// its own characters, and a stored terminating NUL ends the text.
TEST(DwgObjects, CodePageTextsBecomeUtf8) {
  EXPECT_EQ(codePageToUtf8("\xCF\xF0\xE8\xEC\xE5\xF0", 29), "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xBC\xD0\xB5\xD1\x80");  // ANSI_1251
  EXPECT_EQ(codePageToUtf8(std::string("\x80 5\0junk", 8), 30), "\xE2\x82\xAC 5");
  EXPECT_EQ(codePageToUtf8("caf\xE9", 0), "caf\xC3\xA9");  // unset: ANSI_1252
  EXPECT_EQ(codePageToUtf8("\xCF", 29), "\xD0\x9F");       // back to a page used before
  EXPECT_EQ(codePageToUtf8("plain", 38), "plain");
}

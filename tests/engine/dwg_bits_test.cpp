#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/dwg/bits.h"

using namespace kel::dwg;

namespace {

std::vector<uint8_t> bytesOf(const BitWriter& w) {
  auto s = w.bytes();
  return {s.begin(), s.end()};
}

}  // namespace

TEST(DwgBits, CompressedCodesHaveTheirDocumentedBitPatterns) {
  BitWriter w;
  w.BS(0);      // 10
  w.BS(256);    // 11
  w.BL(0);      // 10
  w.BD(1.0);    // 01
  w.BD(0.0);    // 10
  w.B(true);    // 1
  w.B3(6);      // 110
  w.BB(0);      // 00
  // 10 11 10 01 | 10 1 110 00
  EXPECT_EQ(w.sizeBits(), 16u);
  EXPECT_EQ(bytesOf(w), (std::vector<uint8_t>{0xB9, 0xB8}));

  BitWriter v;
  v.BS(5);  // 01 then 00000101
  EXPECT_EQ(v.sizeBits(), 10u);
  EXPECT_EQ(bytesOf(v), (std::vector<uint8_t>{0x41, 0x40}));
}

TEST(DwgBits, ModularValuesAndHandlesMatchKnownBytes) {
  // 4610 as a modular char: 0x82 (2, more follows), 0x24 (36 << 7).
  const uint8_t mc[] = {0x82, 0x24};
  BitReader r(mc, sizeof mc);
  EXPECT_EQ(r.MC(), 4610);
  EXPECT_FALSE(r.error());

  BitWriter w;
  w.MC(4610);
  w.MC(-1);    // 0x41
  w.MC(0x3F);  // fits beside the sign bit: one byte
  w.MC(0x40);  // does not: 0xC0 0x00
  EXPECT_EQ(bytesOf(w), (std::vector<uint8_t>{0x82, 0x24, 0x41, 0x3F, 0xC0, 0x00}));

  BitWriter m;
  m.MS(0x12345);
  EXPECT_EQ(bytesOf(m), (std::vector<uint8_t>{0x45, 0xA3, 0x02, 0x00}));

  BitWriter h;
  h.H(5, 0x1A2B);
  h.H(3, 0);
  EXPECT_EQ(bytesOf(h), (std::vector<uint8_t>{0x52, 0x1A, 0x2B, 0x30}));
  BitReader hr(h.bytes());
  EXPECT_EQ(hr.H(), (HandleRef{5, 0x1A2B}));
  EXPECT_EQ(hr.H(), (HandleRef{3, 0}));
}

TEST(DwgBits, EveryTypeRoundTripsAtOddBitOffsets) {
  for (Version ver : {Version::R14, Version::R2000, Version::R2004, Version::R2007,
                      Version::R2013}) {
    BitWriter w(ver);
    w.B(true);  // shifts everything off the byte grid
    for (int16_t v : {0, 1, 255, 256, 257, -1, 32767, -32768}) w.BS(v);
    for (int32_t v : {0, 7, 255, 256, -5, 0x7FFFFFFF}) w.BL(v);
    for (uint64_t v : {0ull, 1ull, 0x1234ull, 0x00FFFFFFFFFFFFFFull}) w.BLL(v);
    for (double v : {0.0, 1.0, -1.0, 3.25, 1e300}) w.BD(v);
    w.DD(5.0, 5.0);
    w.DD(5.0000000001, 5.0);
    w.DD(5.5, 5.0);
    w.DD(-123.0, 5.0);
    w.RC(0xA5);
    w.RS(0xBEEF);
    w.RL(0xDEADBEEF);
    w.RLL(0x0123456789ABCDEFull);
    w.RD(-2.5);
    for (int64_t v : {0ll, 63ll, 64ll, -64ll, 1ll << 40, -(1ll << 50)}) w.MC(v);
    for (uint64_t v : {0ull, 127ull, 128ull, 1ull << 62}) w.UMC(v);
    for (uint32_t v : {0u, 0x7FFFu, 0x8000u, 0xFFFFFFFFu}) w.MS(v);
    w.H(4, 0xFFFFFFFFFFFFFFFFull);
    w.T("abc\xE9");
    w.TU(u"h\u00e9llo\u4e16");
    w.TV(u"tv");
    CmColor cm{7, 0xC2FF0000u, 0, u"Red", u"Book"};
    w.CMC(cm);
    EnColor en{256, 0xA000, 0xC2123456u, 0x02000080u};
    w.ENC(en);
    w.BE({0, 0, 1});
    w.BE({0.5, 0, -1});
    w.BT(0.0);
    w.BT(2.0);
    for (uint16_t t : {uint16_t(1), uint16_t(0x1F2), uint16_t(0x1F0 + 0x100), uint16_t(0x7FFF)})
      w.OT(t);
    w.RD2({1, 2});
    w.BD2({0, 1});
    w.BD3({1, 2, 3});
    w.RD3({4, 5, 6});

    BitReader r(w.bytes(), ver);
    EXPECT_TRUE(r.B());
    for (int16_t v : {0, 1, 255, 256, 257, -1, 32767, -32768}) EXPECT_EQ(r.BS(), v);
    for (int32_t v : {0, 7, 255, 256, -5, 0x7FFFFFFF}) EXPECT_EQ(r.BL(), v);
    for (uint64_t v : {0ull, 1ull, 0x1234ull, 0x00FFFFFFFFFFFFFFull}) EXPECT_EQ(r.BLL(), v);
    for (double v : {0.0, 1.0, -1.0, 3.25, 1e300}) EXPECT_EQ(r.BD(), v);
    EXPECT_EQ(r.DD(5.0), 5.0);
    EXPECT_EQ(r.DD(5.0), 5.0000000001);
    EXPECT_EQ(r.DD(5.0), 5.5);
    EXPECT_EQ(r.DD(5.0), -123.0);
    EXPECT_EQ(r.RC(), 0xA5);
    EXPECT_EQ(r.RS(), 0xBEEF);
    EXPECT_EQ(r.RL(), 0xDEADBEEFu);
    EXPECT_EQ(r.RLL(), 0x0123456789ABCDEFull);
    EXPECT_EQ(r.RD(), -2.5);
    for (int64_t v : {0ll, 63ll, 64ll, -64ll, 1ll << 40, -(1ll << 50)}) EXPECT_EQ(r.MC(), v);
    for (uint64_t v : {0ull, 127ull, 128ull, 1ull << 62}) EXPECT_EQ(r.UMC(), v);
    for (uint32_t v : {0u, 0x7FFFu, 0x8000u, 0xFFFFFFFFu}) EXPECT_EQ(r.MS(), v);
    EXPECT_EQ(r.H(), (HandleRef{4, 0xFFFFFFFFFFFFFFFFull}));
    EXPECT_EQ(r.T(), "abc\xE9");
    EXPECT_EQ(r.TU(), u"h\u00e9llo\u4e16");
    EXPECT_EQ(r.TV(), u"tv");
    CmColor cmr = r.CMC();
    if (ver >= Version::R2004) {
      cm.colorByte = 3;
      EXPECT_EQ(cmr, cm);
    } else {
      EXPECT_EQ(cmr.index, 7);
    }
    EnColor enr = r.ENC();
    if (ver >= Version::R2004)
      EXPECT_EQ(enr, en);
    else
      EXPECT_EQ(enr.index, 256);
    EXPECT_EQ(r.BE(), (Point3{0, 0, 1}));
    EXPECT_EQ(r.BE(), (Point3{0.5, 0, -1}));
    EXPECT_EQ(r.BT(), 0.0);
    EXPECT_EQ(r.BT(), 2.0);
    for (uint16_t t : {uint16_t(1), uint16_t(0x1F2), uint16_t(0x1F0 + 0x100), uint16_t(0x7FFF)})
      EXPECT_EQ(r.OT(), t);
    EXPECT_EQ(r.RD2(), (Point2{1, 2}));
    EXPECT_EQ(r.BD2(), (Point2{0, 1}));
    EXPECT_EQ(r.BD3(), (Point3{1, 2, 3}));
    EXPECT_EQ(r.RD3(), (Point3{4, 5, 6}));
    EXPECT_FALSE(r.error()) << int(ver);
    EXPECT_EQ(r.positionBits(), w.sizeBits()) << int(ver);
  }
}

TEST(DwgBits, VersionDependentShortForms) {
  // Before R2000 extrusion and thickness have no one-bit shortcut.
  BitWriter old(Version::R14), cur(Version::R2000);
  old.BE({0, 0, 1});
  cur.BE({0, 0, 1});
  EXPECT_EQ(old.sizeBits(), 6u);  // three BD: 10 10 01
  EXPECT_EQ(cur.sizeBits(), 1u);
  // R2010+ object types: 0x1F0..0x2EF take one byte.
  BitWriter ot(Version::R2010);
  ot.OT(0x1F5);
  EXPECT_EQ(ot.sizeBits(), 10u);
  // From R2007 the colour names go to the string stream when one is given.
  BitWriter data(Version::R2007), strings(Version::R2007);
  data.CMC(CmColor{1, 0xC3000001u, 0, u"N", u""}, &strings);
  BitReader dr(data.bytes(), Version::R2007), sr(strings.bytes(), Version::R2007);
  CmColor c = dr.CMC(&sr);
  EXPECT_EQ(c.name, u"N");
  EXPECT_EQ(c.colorByte, 1);
  EXPECT_FALSE(dr.error());
}

TEST(DwgBits, ReadsPastTheEndYieldZerosAndStickyError) {
  const uint8_t one[] = {0xFF};
  BitReader r(one, 1);
  EXPECT_EQ(r.RS(), 0);  // needs 16 bits, only 8 there
  EXPECT_TRUE(r.error());
  EXPECT_EQ(r.remainingBits(), 0u);
  EXPECT_EQ(r.RC(), 0);
  EXPECT_TRUE(r.error());

  // A text length that promises more than the stream holds.
  BitWriter w;
  w.BS(1000);
  w.RC('x');
  BitReader t(w.bytes());
  EXPECT_TRUE(t.T().empty());
  EXPECT_TRUE(t.error());

  // Handle counters above 8, endless modular values, and positions outside the stream.
  const uint8_t badHandle[] = {0x4F, 0, 0};
  BitReader h(badHandle, sizeof badHandle);
  h.H();
  EXPECT_TRUE(h.error());
  const uint8_t endless[12] = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
  BitReader m(endless, sizeof endless);
  EXPECT_EQ(m.MC(), 0);
  EXPECT_TRUE(m.error());
  BitReader p(one, 1);
  p.setPositionBits(9);
  EXPECT_TRUE(p.error());
  BitReader empty(nullptr, 5);
  EXPECT_EQ(empty.RL(), 0u);
  EXPECT_TRUE(empty.error());

  // limitBits narrows the stream.
  const uint8_t two[] = {0xAB, 0xCD};
  BitReader l(two, 2);
  l.limitBits(8);
  EXPECT_EQ(l.RC(), 0xAB);
  EXPECT_EQ(l.B(), false);
  EXPECT_TRUE(l.error());
}

TEST(DwgBits, WriterPatchesEarlierValuesInPlace) {
  BitWriter w;
  w.B(true);
  size_t at = w.positionBits();
  w.RL(0);
  w.RC(0x77);
  w.setPositionBits(at);
  w.RL(0x11223344);
  EXPECT_EQ(w.sizeBits(), 1u + 32 + 8);
  w.setPositionBits(w.sizeBits());
  w.alignByte();
  EXPECT_EQ(w.sizeBits(), 48u);
  BitReader r(w.bytes());
  EXPECT_TRUE(r.B());
  EXPECT_EQ(r.RL(), 0x11223344u);
  EXPECT_EQ(r.RC(), 0x77);
  r.alignByte();
  EXPECT_EQ(r.positionBits(), 48u);
  auto v = w.take();
  EXPECT_EQ(v.size(), 6u);
  EXPECT_EQ(w.sizeBits(), 0u);
}

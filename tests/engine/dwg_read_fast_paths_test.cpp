// The shortcuts of the DWG -> DXF road checked against the plain way of doing the same: bit reads
// that load whole words, reals whose digits come from integer arithmetic, the handle index that is
// a bit per handle for dense drawings, and the family lookups by name.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/dwg/bits.h"
#include "engine/dwg/families.h"
#include "engine/dxf/dxf_tags.h"
#include "engine/model/drawing.h"
#include "engine/model/structure.h"

using namespace kel::dwg;
namespace ke = kel::engine;

namespace {

// The reference: `n` bits from bit `pos` of `buf`, one at a time, first bit most significant.
uint64_t slowBits(const std::vector<uint8_t>& buf, size_t pos, unsigned n) {
  uint64_t v = 0;
  for (unsigned k = 0; k < n; ++k, ++pos) v = (v << 1) | ((buf[pos >> 3] >> (7 - (pos & 7))) & 1);
  return v;
}

// A little-endian raw value of `bytes` bytes from bit `pos`.
uint64_t slowRaw(const std::vector<uint8_t>& buf, size_t pos, unsigned bytes) {
  uint64_t v = 0;
  for (unsigned k = 0; k < bytes; ++k) v |= slowBits(buf, pos + 8 * k, 8) << (8 * k);
  return v;
}

std::string printfReal(double v, int precision) {
  if (!std::isfinite(v) || v == 0) return "0.0";
  char buf[128];
  std::snprintf(buf, sizeof buf, "%.*G", precision, v);
  std::string s(buf);
  size_t e = s.find('E');
  std::string mant = s.substr(0, e);
  if (mant.find('.') == std::string::npos) mant += ".0";
  return mant + (e == std::string::npos ? "" : s.substr(e));
}

}  // namespace

// Every width and raw value at every bit offset, in the middle of a view and across its last
// eight bytes (where a whole word can no longer be loaded), agrees with bit-by-bit reading.
TEST(DwgReadFastPaths, WordReadsMatchBitByBitReadingEverywhere) {
  std::mt19937_64 rng(11);
  std::vector<uint8_t> buf(40);
  for (auto& b : buf) b = uint8_t(rng());
  const size_t total = buf.size() * 8;
  for (size_t pos = 0; pos + 64 <= total; ++pos) {
    for (unsigned n = 1; n <= 64; ++n) {
      BitReader r(buf.data(), buf.size());
      r.setPositionBits(pos);
      ASSERT_EQ(r.bits(n), slowBits(buf, pos, n)) << pos << " " << n;
      ASSERT_EQ(r.positionBits(), pos + n);
      ASSERT_FALSE(r.error());
    }
    BitReader r(buf.data(), buf.size());
    r.setPositionBits(pos);
    EXPECT_EQ(r.RC(), slowRaw(buf, pos, 1));
    EXPECT_EQ(r.RS(), slowRaw(buf, pos + 8, 2));
    EXPECT_EQ(r.RL(), slowRaw(buf, pos + 24, 4));
    if (pos + 120 <= total) {
      EXPECT_EQ(r.RLL(), slowRaw(buf, pos + 56, 8)) << pos;
    }
    ASSERT_FALSE(r.error());
  }
  // A narrowed view reads up to its limit only, though bytes follow in memory.
  BitReader l(buf.data(), buf.size());
  l.limitBits(100);
  l.setPositionBits(70);
  EXPECT_EQ(l.bits(30), slowBits(buf, 70, 30));
  EXPECT_EQ(l.RC(), 0);
  EXPECT_TRUE(l.error());
  EXPECT_EQ(l.positionBits(), 100u);
}

// Handles of every length written at odd offsets read back, also as the last bytes of a record;
// a handle cut off by the end of the stream reads as zero with the error set.
TEST(DwgReadFastPaths, HandlesReadBackAtTheEndOfTheirStream) {
  for (unsigned lead = 0; lead < 8; ++lead) {
    for (unsigned len = 0; len <= 8; ++len) {
      const uint64_t value = len ? (0x8877665544332211ull >> (64 - 8 * len)) | (uint64_t(1) << (8 * len - 1)) : 0;
      BitWriter w;
      w.bits(0, lead);
      w.H(HandleRef{5, value});
      auto bytes = w.bytes();
      BitReader r(bytes);
      r.setPositionBits(lead);
      HandleRef h = r.H();
      EXPECT_EQ(h.code, 5);
      EXPECT_EQ(h.value, value) << lead << " " << len;
      EXPECT_FALSE(r.error());
      if (len) {
        BitReader cut(bytes.data(), bytes.size() - 1);
        cut.setPositionBits(lead);
        EXPECT_EQ(cut.H().value, 0u);
        EXPECT_TRUE(cut.error());
      }
    }
  }
}

// Reals whose digits are worked out exactly (magnitudes from about 1e-8 to 1e17) print as printf
// does at every precision, including the decades where a double's spacing is wider than the last
// printed digit, carries into a new leading digit and halfway cases.
TEST(DwgReadFastPaths, ExactRealDigitsMatchPrintf) {
  const double edges[] = {8.0000000000000018, 9.0000000000000036, 9.9999999999999982, 99999999999999.99,
                          0.15, 0.25, 2.5, 1.5, 0.125, 1e-7, 9.999999999999999e-9, 4503599627370497.0,
                          9007199254740993.0, 123456.7890123456, 1.0 / 7.0, 2.0 / 3.0, 1e-5, 0.00010000000000000002};
  for (double v : edges)
    for (int p = 1; p <= 17; ++p) {
      EXPECT_EQ(ke::dxf::formatReal(v, p), printfReal(v, p)) << v << " at " << p;
      EXPECT_EQ(ke::dxf::formatReal(-v, p), printfReal(-v, p)) << -v << " at " << p;
    }
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  for (int i = 0; i < 200000; ++i) {
    const int decade = int(rng() % 26) - 9;
    const double v = mantissa(rng) * std::pow(10.0, decade) * (i % 5 ? 1 : -1);
    const int p = i % 4 ? 16 : int(1 + rng() % 17);
    ASSERT_EQ(ke::dxf::formatReal(v, p), printfReal(v, p)) << v << " at " << p;
  }
}

// References to records the drawing lacks are cleared alike whether the handles are dense (a bit
// per handle) or spread far apart (a sorted list), up to the largest handle and beyond it.
TEST(DwgReadFastPaths, MissingReferencesAreFoundForDenseAndSparseHandles) {
  for (ke::Handle step : {ke::Handle(1), ke::Handle(1000)}) {
    ke::Drawing d;
    const int n = 300;
    for (int k = 1; k <= n; ++k) {
      if (k == 6) continue;  // a hole inside the range
      ke::Object o;
      o.type = "XRECORD";
      o.handle = ke::Handle(k) * step;
      o.owner = step;
      d.objects.push_back(o);
    }
    const ke::Handle hole = 6 * step, past = ke::Handle(n + 2) * step;
    ke::Object& probe = d.objects[10];
    probe.body = {ke::Tag::handle(340, 5 * step), ke::Tag::handle(340, hole), ke::Tag::handle(360, past),
                  ke::Tag::handle(330, ~ke::Handle(0) >> 4), ke::Tag::handle(5, hole)};
    probe.reactors.push_back(7 * step);
    probe.reactors.push_back(hole);
    probe.xdict = past;
    d.objects[20].owner = hole;
    ke::Notes notes;
    ke::clearMissingReferences(d, notes);
    const ke::Object& p = d.objects[10];
    EXPECT_EQ(p.body[0].i, int64_t(5 * step)) << step;
    EXPECT_EQ(p.body[1].i, 0) << step;
    EXPECT_EQ(p.body[2].i, 0) << step;
    EXPECT_EQ(p.body[3].i, 0) << step;
    EXPECT_EQ(p.body[4].i, int64_t(hole)) << step;  // not a pointer group: left alone
    ASSERT_EQ(p.reactors.size(), 1u);
    EXPECT_EQ(p.reactors[0], 7 * step);
    EXPECT_EQ(p.xdict, 0u);
    EXPECT_EQ(d.objects[20].owner, d.objects[0].handle);  // adopted by the first object
    EXPECT_EQ(notes.size(), 2u);
  }
}

// The lookups by name answer what a search of the list from its front answers, for every name.
TEST(DwgReadFastPaths, FamilyLookupsFindTheFirstTypeOfEachName) {
  auto types = familyTypes();
  ASSERT_FALSE(types.empty());
  for (const auto& t : types) {
    const FamilyType* byDxf = nullptr;
    const FamilyType* byType = nullptr;
    for (const auto& u : types) {
      if (!byDxf && std::string(u.dxfName) == t.dxfName) byDxf = &u;
      if (!byType && std::string(u.typeName) == t.typeName) byType = &u;
    }
    EXPECT_EQ(familyByDxfName(t.dxfName), byDxf) << t.dxfName;
    EXPECT_EQ(familyByTypeName(t.typeName), byType) << t.typeName;
  }
  EXPECT_EQ(familyByDxfName("LINE"), nullptr);
  EXPECT_EQ(familyByTypeName(""), nullptr);
}

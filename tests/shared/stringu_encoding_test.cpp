#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "lib/cpu/shared/heap.h"
#include "lib/cpu/shared/stringu.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Decoded {
  bool ok;
  Bytes bytes;
  uint32_t length;
  int32_t width;
};

Decoded decode(const char* text, uint32_t code) {
  uint32_t length = 77;
  int32_t width = 77;
  unsigned char* out = decodeEscapes(text, &length, code, &width);
  Decoded d{out != nullptr, {}, length, width};
  if (out) {
    d.bytes.assign(out, out + length);
    EXPECT_EQ(out[length], 0) << "terminator after " << text;
    std::free(out);
  }
  return d;
}

std::string escape(const Bytes& b) {
  char* s = escapeBytes(b.data(), static_cast<uint32_t>(b.size()));
  std::string r = s ? s : "<null>";
  std::free(s);
  return r;
}

TEST(StringuEncoding, TableLookupAndMarks) {
  for (uint32_t code : {0u, 6u, 0xFFFFFFFFu}) {
    EXPECT_EQ(std::u16string(findEncoding(code)->displayName), u"ANSI");
  }
  EXPECT_EQ(std::u16string(findEncoding(3)->displayName), u"UTF-16/UCS-2, big endian");
  // Every mark's notation decoded as ANSI gives its bytes.
  for (const EncodingInfo& e : encodingTable) {
    Decoded d = decode(e.bomNotation, 0);
    ASSERT_TRUE(d.ok);
    if (d.length) {
      EXPECT_EQ(d.bytes, Bytes(e.bomBytes, e.bomBytes + d.length)) << e.bomNotation;
    }
  }
}

TEST(StringuEncoding, UnitsInEachByteOrder) {
  const unsigned char b[] = {0x01, 0x02, 0x03, 0x04};
  EXPECT_EQ(readUnit(b, 3), 0x0102u);
  EXPECT_EQ(readUnit(b, 6), 0u);
  const unsigned char hi[] = {0xFF, 0xFE, 0xFD, 0xFC};
  EXPECT_EQ(readUnit(hi, 5), 0xFFFEFDFCu);  // no sign spreading from the high byte

  EXPECT_EQ(toEncodingOrder(0x11223344, 3), 0x4433u);  // only the low unit survives
  // Writing the little-endian image of toEncodingOrder and reading it back gives the value.
  for (uint32_t code : {2u, 3u, 4u, 5u}) {
    uint32_t v = code < 4 ? 0xBEEF : 0xDEADBEEF;
    uint32_t o = toEncodingOrder(v, code);
    unsigned char img[4] = {static_cast<unsigned char>(o), static_cast<unsigned char>(o >> 8),
                            static_cast<unsigned char>(o >> 16), static_cast<unsigned char>(o >> 24)};
    EXPECT_EQ(readUnit(img, code), v) << code;
  }
}

TEST(StringuEncoding, EscapeBytes) {
  EXPECT_EQ(escape({0x41, 0x00, 0x5B, 0x7F, 0xE9}), "A[00][5B][7F][E9]");
  EXPECT_EQ(escape({0x20, 0x7E, 0x5D, 0x1F}), " ~[5D][1F]");
  EXPECT_EQ(escape({}), "");
  char* measured = escapeBytes("a[b", 0xFFFFFFFF);
  EXPECT_STREQ(measured, "a[5B]b");
  std::free(measured);
  EXPECT_EQ(escapeBytes("x", 0x3FFFFFFF), nullptr);
  EXPECT_EQ(escapeBytes(nullptr, 0xFFFFFFFF), nullptr);
  // Round trip through the notation with codes 0 and 1 for every byte value.
  Bytes all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<unsigned char>(i));
  std::string text = escape(all);
  EXPECT_EQ(decode(text.c_str(), 0).bytes, all);
  EXPECT_EQ(decode(text.c_str(), 1).bytes, all);
}

TEST(StringuEncoding, DecodeRepeatsAndWidths) {
  EXPECT_TRUE(decode("", 0).ok);
  Decoded r = decode("[41x3]", 0);
  EXPECT_EQ(r.bytes, (Bytes{0x41, 0x41, 0x41}));
  EXPECT_EQ(r.width, 1);
  EXPECT_TRUE(decode("[41x0]", 0).ok);
  EXPECT_EQ(decode("[41X2junk]", 0).bytes, (Bytes{0x41, 0x41}));  // atoi reading of the count
  EXPECT_EQ(decode("[41x12345678]", 0).length, 12345678u);         // eight count characters
  EXPECT_EQ(decode("[A1B2]", 0).bytes, (Bytes{0xB2, 0xA1}));
  Decoded widths = decode("[1][123][12345][1234567]", 0);
  EXPECT_EQ(widths.bytes, (Bytes{0x01, 0x23, 0x01, 0x45, 0x23, 0x01, 0x67, 0x45, 0x23, 0x01}));
  EXPECT_EQ(widths.width, 4);
  Decoded empty = decode("a[]b", 0);
  EXPECT_EQ(empty.bytes, (Bytes{'a', 'b'}));
  EXPECT_EQ(empty.width, 0);
  EXPECT_EQ(decode("[FFx2][1234x2]", 0).bytes, (Bytes{0xFF, 0xFF, 0x34, 0x12, 0x34, 0x12}));
}

TEST(StringuEncoding, DecodeByteOrders) {
  EXPECT_EQ(decode("A", 2).bytes, (Bytes{0x41, 0x00}));
  EXPECT_EQ(decode("A", 3).bytes, (Bytes{0x00, 0x41}));
  EXPECT_EQ(decode("A", 5).bytes, (Bytes{0, 0, 0, 0x41}));
  EXPECT_EQ(decode("[FEFF]", 2).bytes, (Bytes{0xFF, 0xFE}));
  EXPECT_EQ(decode("[FEFF]", 2).width, 2);
  EXPECT_EQ(decode("[FEFF]", 3).bytes, (Bytes{0xFE, 0xFF}));
  EXPECT_EQ(decode("[0000FEFF]", 5).bytes, (Bytes{0x00, 0x00, 0xFE, 0xFF}));
  EXPECT_EQ(decode("[41x2]", 3).bytes, (Bytes{0x41, 0x41}));  // narrow escapes keep their bytes
  EXPECT_EQ(decode("[0102]", 5).bytes, (Bytes{0x01, 0x02}));
  EXPECT_EQ(decode("[FF]", 2).bytes, (Bytes{0xFF}));
  EXPECT_EQ(decode("\xE9", 2).bytes, (Bytes{0xE9, 0x00}));  // high characters: zero high bytes
  EXPECT_EQ(decode("ab", 9).bytes, (Bytes{0x00, 0x00}));    // unknown code: width 1, value 0
  Decoded mixed = decode("x[00]y", 4);
  EXPECT_EQ(mixed.bytes, (Bytes{'x', 0, 0, 0, 0x00, 'y', 0, 0, 0}));
}

TEST(StringuEncoding, MalformedTextIsRefused) {
  for (const char* bad : {"[123456789]", "[G0]", "[41", "[41x5", "[41x123456789]", "[41 ]",
                          "[41x-1]", "[@]", "a[41x2"}) {
    Decoded d = decode(bad, 0);
    EXPECT_FALSE(d.ok) << bad;
    EXPECT_EQ(d.length, 0u) << bad;
  }
  EXPECT_EQ(decode("[1234][G]", 0).width, 2);  // an earlier escape's width stays
  EXPECT_EQ(decodeEscapes(nullptr, nullptr, 0, nullptr), nullptr);
  EXPECT_TRUE(decode("[:]", 0).ok);  // ':' is worth 10 by the digit rule
}

TEST(StringuEncoding, RefusedMemoryGivesNull) {
  int seen = 0;
  heapHooks().refuse = [&](size_t, const char*, int32_t) { return ++seen == 2; };
  // The first request is the output, the second its enlargement.
  EXPECT_EQ(decodeEscapes("[41x5000]", nullptr, 0, nullptr), nullptr);
  seen = 0;
  EXPECT_EQ(escapeBytes("abc", 3), nullptr);  // the final copy is refused
  heapHooks().refuse = {};
}

}  // namespace

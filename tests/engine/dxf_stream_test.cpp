// The fast paths of DXF text: reals formatted without printf, group codes and values read as the
// file is taken apart, records built while only a window of the file's groups is held.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "engine/dxf/dxf.h"
#include "engine/dxf/dxf_log.h"
#include "engine/dxf/dxf_tags.h"
#include "engine/model/drawing.h"
#include "tests/engine/dxf_test_util.h"

using kel::engine::Drawing;
using kel::engine::Tag;
using kel::engine::ValueKind;
using kel::engine::dxf::appendTag;
using kel::engine::dxf::formatReal;
using kel::test::readFile;
using kel::test::TempDir;

namespace {

// How reals were written with printf: "%.*G", then ".0" when the mantissa has no point.
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

// A file of n LINE entities after a header naming the version and code page; entity k has its
// start at (k, k/3) and, on entity `textAt`, a TEXT with the given value instead.
std::string manyLines(int n, const char* version, const char* codePage, int textAt, const std::string& text) {
  std::string s = "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\n" + std::string(version) + "\n9\n$DWGCODEPAGE\n3\n" +
                  codePage + "\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n";
  char buf[128];
  for (int k = 0; k < n; ++k) {
    if (k == textAt) {
      s += "0\nTEXT\n8\n0\n10\n0\n20\n0\n40\n1\n1\n" + text + "\n";
      continue;
    }
    std::snprintf(buf, sizeof buf, "0\nLINE\n999\ncomment\n  8\r\nL%d\n 10\n%d\n20\n%.17g\n11\n+1\n21\n2.0\n", k % 5, k,
                  k / 3.0);
    s += buf;
  }
  return s + "0\nENDSEC\n0\nEOF\n";
}

}  // namespace

TEST(DxfStream, RealsMatchPrintfForEveryPrecisionAndRange) {
  // The values where %G changes form or rounding carries into a new digit.
  const double edges[] = {1e-5, 1e-4, 9.99995e-5, 0.0001, 123456789012345.6, 1234567890123456.0,
                          9999999999999999.0, 1e16, 1e17, 9.9999999999999995, 0.99999999999999994,
                          999999.5, 0.5, 2.5, 0.125, 1.0 / 3.0, 5e-324, 1.7976931348623157e308,
                          -0.0001, -123.456, 4.35, 100, 1e15, 1e-300};
  for (double v : edges)
    for (int p = 1; p <= 17; ++p) EXPECT_EQ(formatReal(v, p), printfReal(v, p)) << v << " at " << p;

  std::mt19937_64 rng(7);
  for (int i = 0; i < 100000; ++i) {
    uint64_t bits = rng();
    double v;
    if (i % 2) std::memcpy(&v, &bits, sizeof v);  // any double, NaN and infinities included
    else v = double(int64_t(bits % 20000001) - 10000000) / double(1 + rng() % 100000);
    int p = i % 3 ? 16 : int(1 + rng() % 17);
    ASSERT_EQ(formatReal(v, p), printfReal(v, p)) << v << " at " << p;
  }
}

TEST(DxfStream, GroupsOutsideTheUsualShapesAreWrittenAsBefore) {
  std::string out;
  appendTag(out, Tag::integer(1071, -7), 16);
  appendTag(out, Tag::integer(70, -3), 16);
  appendTag(out, Tag::integer(160, INT64_MIN), 16);
  appendTag(out, Tag::handle(5, ~0ull), 16);
  appendTag(out, Tag::handle(330, 0), 16);
  appendTag(out, Tag::real(1040, 1e100), 16);
  Tag odd = Tag::str(-2, "x^y");
  appendTag(out, odd, 16);
  EXPECT_EQ(out,
            "1071\r\n-7\r\n 70\r\n    -3\r\n160\r\n-9223372036854775808\r\n  5\r\nFFFFFFFFFFFFFFFF\r\n"
            "330\r\n0\r\n1040\r\n1.0E+100\r\n -2\r\nx^ y\r\n");
}

TEST(DxfStream, CodesAndValuesInEveryAcceptedSpelling) {
  kel::engine::dxf::DxfLog log(nullptr);
  kel::engine::dxf::TagList tl;
  // Padded codes, CRLF, a plus sign, a real where an integer belongs, a comment, a code-5 text.
  const std::string text = "\xEF\xBB\xBF  0\r\nSECTION\r\n\t2 \r\nHEADER\r\n999\r\nnot a group\r\n+70\r\n 4\r\n"
                           "90\r\n12.0\r\n5\r\nNOT_HEX\r\n1005\r\n1a2B\r\n 0 \r\n EOF \r\n0\r\nLINE\r\n";
  ASSERT_EQ(kel::engine::dxf::readTags(text, tl, log), Acad::eOk);
  EXPECT_TRUE(tl.sawEof);
  ASSERT_EQ(tl.tags.size(), 6u);  // nothing after EOF
  EXPECT_EQ(tl.tags[1].s, "HEADER");
  EXPECT_EQ(tl.lines[1], 3u);
  EXPECT_EQ(tl.tags[2].code, 70);
  EXPECT_EQ(tl.tags[2].i, 4);
  EXPECT_EQ(tl.tags[3].i, 12);
  EXPECT_EQ(tl.tags[4].kind, ValueKind::String);
  EXPECT_EQ(tl.tags[4].s, "NOT_HEX");
  EXPECT_EQ(tl.tags[5].i, 0x1A2B);

  for (const char* bad : {"1.0\nX\n", "10x\nX\n", "1072\nX\n", "-1\nX\n", "99999\nX\n"}) {
    kel::engine::dxf::TagList one;
    EXPECT_EQ(kel::engine::dxf::readTags(std::string("0\nSECTION\n") + bad, one, log), Acad::eInvalidDxfCode) << bad;
    EXPECT_EQ(kel::engine::dxf::readTags(bad, one, log), Acad::eUnknownDxfFileFormat) << bad;
  }
}

TEST(DxfStream, LargeFilesReadWholeWithTextDecodedAfterTheHeader) {
  const int n = 6000;  // far more groups than the reader holds at once
  struct Case {
    const char* version;
    const char* codePage;
    std::string raw;
    const char* decoded;
  } cases[] = {{"AC1009", "ANSI_1251", "\xC4\xE0 ^J\\U+00B0", "\xD0\x94\xD0\xB0 \n\xC2\xB0"},
               {"AC1027", "ANSI_1252", "caf\xC3\xA9 ^I", "caf\xC3\xA9 \t"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    Drawing d;
    ASSERT_EQ(kel::engine::dxf::readDxfData(d, manyLines(n, c.version, c.codePage, n - 10, c.raw), nullptr),
              Acad::eOk);
    ASSERT_EQ(d.entities.size(), size_t(n));
    const auto& first = d.entities[1];
    EXPECT_EQ(first.text(8), "L1");
    EXPECT_EQ(first.real(11), 1.0);
    const auto& late = d.entities[n - 20];
    EXPECT_EQ(late.real(10), double(n - 20));
    EXPECT_EQ(late.real(20), (n - 20) / 3.0);
    EXPECT_EQ(d.entities[n - 10].text(1), c.decoded);
  }
}

TEST(DxfStream, ProblemsLateInALargeFileStopWithTheirOwnStatusAndLine) {
  TempDir dir;
  const std::u16string logPath = dir.wfile("in.log");
  const std::string good = manyLines(4000, "AC1015", "ANSI_1252", -1, "");
  const size_t cut = good.find("0\nLINE", good.size() * 3 / 4);
  const long badLine = std::count(good.begin(), good.begin() + long(cut), '\n') + 1;
  struct Case {
    std::string text;
    Acad::ErrorStatus status;
    std::string logged;
  } cases[] = {
      {good.substr(0, cut) + "7x\nLINE\n" + good.substr(cut), Acad::eInvalidDxfCode,
       "line " + std::to_string(badLine) + ":"},
      {good.substr(0, cut), Acad::eDxfReadAborted, "ends inside the ENTITIES section"},
      {good.substr(0, cut) + "0\n", Acad::eDxfReadAborted, "ends before the group's value"},
      {good.substr(0, cut) + "0\nLINE\n10\nabc\n" + good.substr(cut), Acad::eDxfPartiallyRead, "\"abc\" is not a real"},
  };
  for (const auto& c : cases) {
    Drawing d;
    EXPECT_EQ(kel::engine::dxf::readDxfData(d, c.text, logPath.c_str()), c.status);
    const std::string log = readFile(dir.file("in.log"));
    EXPECT_NE(log.find(c.logged), std::string::npos) << log;
    // Only the problem itself is logged: no made-up "ends inside" line for an unreadable group.
    if (c.status == Acad::eInvalidDxfCode) {
      EXPECT_EQ(log.find("ends inside"), std::string::npos) << log;
    }
  }
}

TEST(DxfStream, WrittenTextReadsBackToTheSameText) {
  Drawing d;
  ASSERT_EQ(kel::engine::dxf::readDxfData(d, manyLines(3000, "AC1027", "ANSI_1252", 5, "a^Jb \\U+263A"), nullptr),
            Acad::eOk);
  const std::string once = kel::engine::dxf::dxfText(d, 16);
  Drawing back;
  ASSERT_EQ(kel::engine::dxf::readDxfData(back, once, nullptr), Acad::eOk);
  EXPECT_EQ(kel::engine::dxf::dxfText(back, 16), once);
  EXPECT_EQ(back.entities[5].text(1), "a\nb \xE2\x98\xBA");
}

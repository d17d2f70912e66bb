// DXF text handling: code pages, escapes, caret notation, UTF-8 repair and the number format.
#include <gtest/gtest.h>

#include "engine/dxf/dxf_tags.h"
#include "engine/dxf/dxf_text.h"

using namespace kel::engine::dxf;

TEST(DxfText, CodePagesDecodeToUtf8) {
  EXPECT_EQ(iconvName("ANSI_1251"), "CP1251");
  EXPECT_EQ(iconvName("ansi_932"), "CP932");
  EXPECT_EQ(iconvName("DOS850"), "CP850");
  EXPECT_EQ(iconvName("something odd"), "CP1252");
  EXPECT_EQ(toUtf8("\xD8 100", "CP1252"), "\xC3\x98 100");       // diameter sign
  EXPECT_EQ(toUtf8("\x80", "CP1252"), "\xE2\x82\xAC");           // euro sign from the 0x80 row
  EXPECT_EQ(toUtf8("\xC0\xE1", "CP1251"), "\xD0\x90\xD0\xB1");   // Cyrillic
  EXPECT_EQ(toUtf8("\x93\xfa", "CP932"), "\xE6\x97\xA5");        // Japanese "day"
  EXPECT_EQ(toUtf8("plain", "CP932"), "plain");
}

TEST(DxfText, EscapesBecomeCharacters) {
  std::string s = "A\\U+0394B\\u+00b0";
  decodeEscapes(s);
  EXPECT_EQ(s, "A\xCE\x94" "B\xC2\xB0");
  std::string m = "\\M+193FA!";  // Shift-JIS 0x93FA
  decodeEscapes(m);
  EXPECT_EQ(m, "\xE6\x97\xA5!");
  std::string keep = "\\U+12 and \\P and \\M+9ZZZZ";  // not escapes: left alone
  std::string copy = keep;
  decodeEscapes(copy);
  EXPECT_EQ(copy, keep);
}

TEST(DxfText, CaretNotationBothWays) {
  std::string s = "line1^Jline2 ^ caret ^I tab ^2";
  decodeCarets(s);
  EXPECT_EQ(s, "line1\nline2 ^caret \t tab ^2");
  EXPECT_EQ(encodeCarets("a\nb^c\td"), "a^Jb^ c^Id");
  std::string back = encodeCarets("x\r\ny^");
  decodeCarets(back);
  EXPECT_EQ(back, "x\r\ny^");
}

TEST(DxfText, Utf8RepairKeepsValidTextAndMapsStrayBytes) {
  std::string ok = "caf\xC3\xA9 \xE6\x97\xA5";
  EXPECT_TRUE(repairUtf8(ok));
  EXPECT_EQ(ok, "caf\xC3\xA9 \xE6\x97\xA5");
  std::string bad = "caf\xE9!";  // Latin-1 byte inside a UTF-8 file
  EXPECT_FALSE(repairUtf8(bad));
  EXPECT_EQ(bad, "caf\xC3\xA9!");
  std::string cut = "\xE6\x97";  // truncated sequence
  EXPECT_FALSE(repairUtf8(cut));
  EXPECT_EQ(cut, "\xC3\xA6\xE2\x80\x94");
}

TEST(DxfText, RealsAreWrittenWithSixteenDigitsAndAPoint) {
  EXPECT_EQ(formatReal(0, 16), "0.0");
  EXPECT_EQ(formatReal(-0.0, 16), "0.0");
  EXPECT_EQ(formatReal(1, 16), "1.0");
  EXPECT_EQ(formatReal(-2.5, 16), "-2.5");
  EXPECT_EQ(formatReal(0.1, 16), "0.1");
  EXPECT_EQ(formatReal(3.141592653589793, 16), "3.141592653589793");
  EXPECT_EQ(formatReal(1e20, 16), "1.0E+20");
  EXPECT_EQ(formatReal(1.5e-12, 16), "1.5E-12");
  EXPECT_EQ(formatReal(2.0 / 3.0, 16), "0.6666666666666666");
  EXPECT_EQ(formatReal(2.0 / 3.0, 6), "0.666667");
}

TEST(DxfText, GroupsAreWrittenInAsciiForm) {
  std::string out;
  appendTag(out, kel::engine::Tag::str(0, "LINE"), 16);
  appendTag(out, kel::engine::Tag::handle(5, 0x2AF), 16);
  appendTag(out, kel::engine::Tag::integer(70, 3), 16);
  appendTag(out, kel::engine::Tag::integer(90, 123456), 16);
  appendTag(out, kel::engine::Tag::real(10, 1.25), 16);
  appendTag(out, kel::engine::Tag::str(1, "a\nb"), 16);
  kel::engine::Tag bin;
  bin.code = 310;
  bin.kind = kel::engine::ValueKind::Binary;
  bin.s = std::string("\x01\xAB", 2);
  appendTag(out, bin, 16);
  EXPECT_EQ(out,
            "  0\r\nLINE\r\n  5\r\n2AF\r\n 70\r\n     3\r\n 90\r\n123456\r\n 10\r\n1.25\r\n"
            "  1\r\na^Jb\r\n310\r\n01AB\r\n");
}

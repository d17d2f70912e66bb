#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "platform/text.h"

namespace {

TEST(PlatText, CaseFoldingIsTheCLocales) {
  char s[] = "abcXYZ{}\xE9";
  EXPECT_STREQ(plat::_strupr(s), "ABCXYZ{}\xE9");
  char16_t w[] = u"abz\u00E9\u0101";
  EXPECT_EQ(std::u16string(plat::_wcsupr(w)), u"ABZ\u00E9\u0101");
  EXPECT_EQ(std::u16string(plat::_wcslwr(w)), u"abz\u00E9\u0101");
  EXPECT_EQ(plat::_stricmp("Hello", "hELLO"), 0);
  // Folding goes to lower case first, so '_' (0x5F) sorts before letters.
  EXPECT_LT(plat::_stricmp("_", "a"), 0);
  EXPECT_LT(plat::_stricmp("_", "A"), 0);
  EXPECT_EQ(plat::_wcsnicmp(u"abcX", u"ABCy", 3), 0);
  EXPECT_GT(plat::wcsncmp(u"\uFFFF", u"a", 1), 0);  // units compare unsigned
  const char16_t* hay = u"aXbXc";
  EXPECT_EQ(plat::wcsstr(hay, u"Xc"), hay + 3);
}

TEST(PlatText, AtolReadsLikeTheMicrosoftRuntime) {
  EXPECT_EQ(plat::atol(" \t\n+12abc"), 12);
  EXPECT_EQ(plat::atol("2147483648"), INT32_MAX);
  EXPECT_EQ(plat::atol("-99999999999999999999999"), INT32_MIN);
  EXPECT_EQ(plat::_wtol(u"\u00A012"), 0);  // only C-locale white space is skipped
  EXPECT_EQ(plat::atoi(nullptr), 0);
}

TEST(PlatText, Utf8CodePageConvertsWithMeasuring) {
  const char16_t text[] = u"\u00E9\U0001F600";
  int need = plat::WideCharToMultiByte(plat::CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  EXPECT_EQ(need, 7);  // 2 + 4 + terminator
  char out[8] = "#######";
  EXPECT_EQ(plat::WideCharToMultiByte(plat::CP_UTF8, 0, text, -1, out, 6, nullptr, nullptr), 0);
  EXPECT_EQ(out[0], '#');  // too small: nothing written
  EXPECT_EQ(plat::WideCharToMultiByte(plat::CP_UTF8, 0, text, -1, out, 8, nullptr, nullptr), 7);
  EXPECT_STREQ(out, "\xC3\xA9\xF0\x9F\x98\x80");
  char16_t back[4];
  EXPECT_EQ(plat::MultiByteToWideChar(plat::CP_UTF8, 0, out, -1, nullptr, 0), 4);
  EXPECT_EQ(plat::MultiByteToWideChar(plat::CP_UTF8, 0, out, -1, back, 4), 4);
  EXPECT_EQ(std::u16string(back), text);
  // An explicit length converts no terminator; truncated and stray bytes become U+FFFD.
  char16_t bad[8] = {};
  EXPECT_EQ(plat::MultiByteToWideChar(plat::CP_UTF8, 0, "a\xF0\x9F\x98", 4, bad, 8), 2);
  EXPECT_EQ(bad[1], 0xFFFD);
  // An encoded surrogate is not UTF-8 either.
  EXPECT_GE(plat::MultiByteToWideChar(plat::CP_UTF8, 0, "\xED\xA0\x80", 3, bad, 8), 1);
  EXPECT_EQ(bad[0], 0xFFFD);
  EXPECT_EQ(plat::MultiByteToWideChar(1234, 0, "a", -1, bad, 8), 0);  // unknown code page
}

TEST(PlatText, AnsiCodePageFollowsTheProcessLocale) {
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  char16_t w[8];
  // Plain ASCII: bytes of 0x80 and above are not characters of it.
  EXPECT_EQ(plat::MultiByteToWideChar(plat::CP_ACP, 0, "a\xE9z", -1, w, 8), 4);
  EXPECT_EQ(std::u16string(w), u"a\uFFFDz");
  char a[8];
  int used = -1;
  EXPECT_EQ(plat::WideCharToMultiByte(plat::CP_ACP, 0, u"a\U0001F600b", -1, a, 8, "*", &used), 4);
  EXPECT_STREQ(a, "a*b");  // one default character for the whole surrogate pair
  EXPECT_EQ(used, 1);
  char16_t lone[] = {u'x', 0xDC00, u'y', 0};
  EXPECT_EQ(plat::WideCharToMultiByte(plat::CP_ACP, 0, lone, -1, a, 8, nullptr, &used), 4);
  EXPECT_STREQ(a, "x?y");
  if (std::setlocale(LC_ALL, "C.UTF-8")) {
    EXPECT_EQ(plat::MultiByteToWideChar(plat::CP_ACP, 0, "a\xC3\xA9", -1, w, 8), 3);
    EXPECT_EQ(std::u16string(w), u"a\u00E9");
  }
  std::setlocale(LC_ALL, "C");
}

}  // namespace

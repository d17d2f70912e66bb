#include <gtest/gtest.h>

#include <string>

#include "lib/cpu/shared/stringu.h"

namespace {

TEST(StringuFields, SkipCountAndFindFields) {
  EXPECT_EQ(skipDelimiters("", " "), nullptr);
  EXPECT_EQ(skipDelimiters(u" \t ", defaultDelimiters), nullptr);
  const char* t = "  a b  ";
  EXPECT_EQ(skipDelimiters(t, " "), t + 2);
  EXPECT_EQ(nthField(t, nullptr, 0), t + 2);
  EXPECT_EQ(nthField(t, nullptr, 1), t + 4);
  EXPECT_EQ(nthField(t, nullptr, 2), nullptr);
  EXPECT_EQ(nthField(t, nullptr, -1), nullptr);
  const char16_t* w = u"x\x1A\fy";
  EXPECT_EQ(nthField(w, nullptr, 1), w + 3);
  EXPECT_EQ(countFields(t, " "), 2u);
  EXPECT_EQ(countFields("a,,b,", ","), 2u);
  EXPECT_EQ(fieldIndex("abc ab", " ", "ab"), 1);
  EXPECT_EQ(fieldIndex("abc abd", " ", "ab"), -1);
}

TEST(StringuFields, CopyFieldVariants) {
  char d[16];
  EXPECT_STREQ(copyField(d, "abcde fg", nullptr, 3), "abc");
  EXPECT_STREQ(copyField(d, "abcde fg", nullptr, 0), "abcde");
  EXPECT_STREQ(copyField(d, "abcde fg", nullptr, -1), "abcde");
  EXPECT_STREQ(copyField(d, " lead", nullptr, -1), "");  // the field is what precedes a delimiter

  EXPECT_STREQ(copyFieldEscaped(d, "a\\ b c", " ", nullptr), "a\\ b");
  EXPECT_STREQ(copyFieldEscaped(d, "\\ b c", " ", nullptr), "\\ b");  // escape as first character
  EXPECT_STREQ(copyFieldEscaped(d, "a\\ \\ b c", " ", nullptr), "a\\ \\ b");

  char app[16] = "ab";
  EXPECT_STREQ(appendField(app, "cd ef", nullptr), "abcd");
  char nth[16] = "junk";
  EXPECT_STREQ(copyNthField(nth, " one two ", nullptr, 1), "two");
  EXPECT_STREQ(copyNthField(nth, " one two ", nullptr, 5), "");
}

TEST(StringuFields, CursorsVisitEachFieldOnce) {
  const char entries[] = "a\0b\0\0";
  const char* cur = entries;
  char d[8];
  EXPECT_STREQ(nextEntry(d, &cur, nullptr), "a");
  EXPECT_STREQ(nextEntry(d, &cur, nullptr), "b");
  EXPECT_EQ(nextEntry(d, &cur, nullptr), nullptr);
  EXPECT_EQ(cur, entries + 5);

  const char* line = "a  b";
  cur = line;
  EXPECT_STREQ(nextField(d, &cur, " "), "a");
  EXPECT_EQ(cur, line + 3);
  EXPECT_STREQ(nextField(d, &cur, " "), "b");
  EXPECT_EQ(cur, nullptr);
  EXPECT_EQ(nextField(d, &cur, " "), nullptr);
}

TEST(StringuFields, SingleCharacterCounting) {
  EXPECT_EQ(countSeparated("a,,b", ","), 3u);
  EXPECT_EQ(countSeparated("a,", ","), 2u);
  EXPECT_EQ(countSeparated(u"abc", u","), 1u);
  EXPECT_EQ(countSeparated("", ","), 0u);
  EXPECT_EQ(countSeparated("a,b;c,d", ",;"), 2u);  // another set character stops the count

  const char* s = "a,b,c";
  EXPECT_EQ(afterNthDelimiter(s, ",", 0), s);
  EXPECT_EQ(afterNthDelimiter(s, ",", 2), s + 4);
  EXPECT_EQ(afterNthDelimiter(s, ",", 3), nullptr);
  const char16_t* w = u"x;;";
  EXPECT_EQ(afterNthDelimiter(w, u";", 2), w + 3);

  EXPECT_EQ(countAnyOf("a,b;c", ",;"), 2u);
  EXPECT_EQ(countAnyOf(u"abc", u""), 0u);
}

TEST(StringuFields, TrimRight) {
  char a[] = " \t\r\n";
  EXPECT_STREQ(trimRight(a, nullptr), "");
  char b[] = "keep";
  EXPECT_STREQ(trimRight(b, nullptr), "keep");
  char16_t w[] = u" x y.;.";
  EXPECT_EQ(std::u16string(trimRight(w, u".;")), u" x y");
}

}  // namespace

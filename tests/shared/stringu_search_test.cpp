#include <gtest/gtest.h>

#include <string>

#include "lib/cpu/shared/heap.h"
#include "lib/cpu/shared/stringu.h"

namespace {

// Counts heap requests while alive; refuses them when asked to.
struct HeapCounter {
  int requests = 0;
  explicit HeapCounter(bool refuse = false) {
    heapHooks().refuse = [this, refuse](size_t, const char*, int32_t) {
      ++requests;
      return refuse;
    };
  }
  ~HeapCounter() { heapHooks().refuse = {}; }
};

TEST(StringuSearch, ReplaceAllDoesNotRescanWhatItWrote) {
  char a[32] = "abcab";
  EXPECT_STREQ(replaceAll(a, "x", "ab"), "xcx");
  char b[32] = "aaa";
  EXPECT_STREQ(replaceAll(b, "aa", "a"), "aaaaaa");
  char c[32] = "aaaa";
  EXPECT_STREQ(replaceAll(c, "b", "aa"), "bb");  // matches do not overlap
  char16_t w[32] = u"a\\\\\\b";
  EXPECT_EQ(std::u16string(replaceAll(w, u"/", u"\\\\")), u"a/\\b");
  char n[8] = "abab";
  EXPECT_STREQ(replaceAll(n, "x", ""), "abab");  // an empty pattern changes nothing
  char d[16] = "abAb";
  EXPECT_STREQ(replaceAllNoCase(d, "x", "AB"), "xx");
  char16_t f[16] = u"FILE.dwg";
  EXPECT_EQ(std::u16string(replaceAllNoCase(f, u".dxf", u".DWG")), u"FILE.dxf");
}

TEST(StringuSearch, ShortStringsStayOffTheHeapAndBothPathsAgree) {
  for (size_t length : {size_t{1}, size_t{255}, size_t{256}, size_t{700}}) {
    std::string text;
    for (size_t i = 0; i < length; ++i) text += "abc"[i % 3];
    std::string expected;
    for (char ch : text) expected += ch == 'b' ? "XY" : std::string(1, ch);
    std::string buf = text;
    buf.resize(length * 2 + 1);
    HeapCounter counter;
    ASSERT_EQ(replaceAll(buf.data(), "XY", "b"), buf.data());
    EXPECT_EQ(std::string(buf.c_str()), expected) << length;
    EXPECT_EQ(counter.requests, length < 256 ? 0 : 1) << length;
  }
  // A refused heap copy leaves the text alone and says so with null.
  std::string big(300, 'a');
  HeapCounter refuse(true);
  EXPECT_EQ(replaceAll(big.data(), "b", "a"), nullptr);
  EXPECT_EQ(big, std::string(300, 'a'));
  char small[8] = "aa";
  EXPECT_STREQ(replaceAll(small, "b", "a"), "bb");
}

TEST(StringuSearch, FindNoCasePointsIntoTheOriginal) {
  const char* s = "ABCD";
  EXPECT_EQ(findNoCase(s, "bc"), s + 1);
  EXPECT_EQ(findNoCase(s, ""), nullptr);
  EXPECT_EQ(findNoCase("", "a"), nullptr);
  EXPECT_EQ(findNoCase(s, "ce"), nullptr);
  char16_t w[] = u"c:\\Data\\FILE.Dwg";
  char16_t* hit = findNoCase(w, u"file.DWG");
  EXPECT_EQ(hit, w + 8);
  EXPECT_EQ(findNoCase(static_cast<const char16_t*>(nullptr), u"a"), nullptr);
  HeapCounter refuse(true);
  EXPECT_EQ(findNoCase(s, "bc"), nullptr);
}

TEST(StringuSearch, ComparisonsAndTheirNullRules) {
  EXPECT_EQ(comparePrefix("abcdef", "abc"), 0);
  EXPECT_LT(comparePrefix(u"abb", u"abc"), 0);
  EXPECT_EQ(comparePrefixNoCase("ABCdef", "abc"), 0);
  EXPECT_GT(comparePrefixNoCase(u"abd", u"ABC"), 0);
  EXPECT_EQ(comparePrefix("abc", nullptr), 0);  // null compares as empty
  EXPECT_LT(comparePrefix(nullptr, "a"), 0);

  EXPECT_FALSE(equals(static_cast<const char*>(nullptr), nullptr));
  EXPECT_FALSE(equals("a", "A"));
  EXPECT_FALSE(equalsNoCase(static_cast<const char*>(nullptr), nullptr));
  EXPECT_TRUE(equalsNoCase(static_cast<const char16_t*>(nullptr), nullptr));
  EXPECT_FALSE(equalsNoCase(u"a", nullptr, true));
  EXPECT_TRUE(equalsNoCase(u"Hello", u"hELLO", true));
  EXPECT_FALSE(equalsNoCase("Hello", "Hell"));
  EXPECT_FALSE(equalsNoCase(u"\u00E9", u"\u00C9"));  // C-locale folding: ASCII letters only

  EXPECT_TRUE(startsWithNoCase("Hello", "HE"));
  EXPECT_TRUE(startsWithNoCase(u"Hello", u""));
  EXPECT_FALSE(startsWithNoCase(u"He", u"Hello"));
  EXPECT_FALSE(startsWithNoCase(nullptr, ""));
}

TEST(StringuSearch, CharacterClasses) {
  EXPECT_TRUE(sameLetterNoCase('q', 'Q'));
  EXPECT_FALSE(sameLetterNoCase('[', '{'));
  EXPECT_FALSE(sameLetterNoCase('@', '`'));
  EXPECT_FALSE(inClass(u'a', u'H'));
  EXPECT_TRUE(inClass(u'A', u'H'));
  EXPECT_FALSE(inClass(u'G', u'H'));
  EXPECT_FALSE(inClass(u'Z', u'a'));
  for (char16_t c : {u'0', u'a', u'A', u'#', u' '}) EXPECT_FALSE(inClass(c, u'x')) << int(c);
  for (char16_t cls : {u'#', u'A', u'H', u'a', u'?'}) EXPECT_TRUE(allInClass(u"", cls));
  EXPECT_TRUE(allInClass(u"DEAD01", u'H'));
  EXPECT_FALSE(allInClass(u"DEAD0x", u'H'));
}

}  // namespace

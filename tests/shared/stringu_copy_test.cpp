#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "lib/cpu/shared/heap.h"
#include "lib/cpu/shared/stringu.h"

namespace {

// A buffer with guard bytes after `room` characters, to catch a write past the end.
template <typename C>
struct Guarded {
  C data[64];
  size_t room;
  explicit Guarded(size_t r, const C* init = nullptr) : room(r) {
    for (auto& c : data) c = C(0x7F);
    if (init) std::char_traits<C>::copy(data, init, std::char_traits<C>::length(init) + 1);
  }
  bool intact() const {
    for (size_t i = room; i < 64; ++i)
      if (data[i] != C(0x7F)) return false;
    return true;
  }
};

TEST(StringuCopy, BoundedCopyCutsAtMaxAndAlwaysTerminates) {
  Guarded<char> a(4);
  EXPECT_EQ(boundedCopy(a.data, "abcdef", 3), a.data);
  EXPECT_STREQ(a.data, "abc");
  EXPECT_TRUE(a.intact());
  Guarded<char16_t> w(1);
  boundedCopy(w.data, u"abc", 0);
  EXPECT_EQ(w.data[0], 0);
  EXPECT_TRUE(w.intact());
  Guarded<char> none(0);  // a negative max leaves no room: nothing is written
  boundedCopy(none.data, "abc", -1);
  EXPECT_TRUE(none.intact());
}

TEST(StringuCopy, BoundedAppendNeverGrowsPastMax) {
  Guarded<char> a(6, "ab");
  boundedAppend(a.data, "cdefgh", 5);
  EXPECT_STREQ(a.data, "abcde");
  EXPECT_TRUE(a.intact());
  char b[16] = "abcdef";
  EXPECT_STREQ(boundedAppend(b, "xy", 4), "abcdef");  // already past max: unchanged
  EXPECT_STREQ(boundedAppend(b, "xy", 8), "abcdefxy");
}

TEST(StringuCopy, PadRightAndEllipsis) {
  Guarded<char> p(6, "abc");
  EXPECT_STREQ(padRight(p.data, 'x', 5), "abcxx");
  EXPECT_TRUE(p.intact());
  EXPECT_STREQ(padRight(p.data, 'y', 3), "abcxx");

  char s[] = "0123456789";
  EXPECT_FALSE(shortenWithEllipsis(s, 10));
  EXPECT_TRUE(shortenWithEllipsis(s, 8));
  EXPECT_STREQ(s, "01234...");
  char16_t w[] = u"abcdef";
  EXPECT_FALSE(shortenWithEllipsis(w, 2));  // below the ellipsis itself: refused
  EXPECT_TRUE(shortenWithEllipsis(w, 3));
  EXPECT_EQ(std::u16string(w), u"...");
}

TEST(StringuCopy, AssignCopyReplacesTheOwnedString) {
  char* owned = nullptr;
  assignCopy(&owned, "one");
  EXPECT_EQ(assignCopy(&owned, "two"), owned);
  EXPECT_STREQ(owned, "two");
  heapHooks().refuse = [](size_t, const char*, int32_t) { return true; };
  EXPECT_EQ(assignCopy(&owned, "three"), nullptr);
  heapHooks().refuse = {};
  EXPECT_EQ(owned, nullptr);
}

TEST(StringuCopy, NullEmptyAndEndHelpers) {
  const char16_t* b = u"b";
  EXPECT_EQ(firstNonEmpty(static_cast<const char16_t*>(nullptr), u"", nullptr, b, u"e"), b);
  EXPECT_EQ(firstNonEmpty("", nullptr, "", nullptr, ""), nullptr);
  EXPECT_EQ(lastChar(u""), 0);
  EXPECT_EQ(lastChar(static_cast<const char16_t*>(nullptr)), 0);
}

TEST(StringuCopy, UtfConversionsRoundTripAndReplaceBadInput) {
  const char16_t text[] = u"a\u00E9\u20AC\U0001F600";
  char* u8 = toUtf8(text);
  ASSERT_NE(u8, nullptr);
  EXPECT_STREQ(u8, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  char16_t* back = fromUtf8(u8);
  EXPECT_EQ(std::u16string(back), text);
  freeMem(u8);
  freeMem(back);
  char16_t* bad = fromUtf8("x\xC3(\xFF");
  EXPECT_EQ(std::u16string(bad), u"x\uFFFD(\uFFFD");
  std::free(bad);
  heapHooks().refuse = [](size_t, const char*, int32_t) { return true; };
  EXPECT_EQ(fromUtf8("abc"), nullptr);
  heapHooks().refuse = {};
}

TEST(StringuCopy, AnsiConversionsStayInsideTheBuffer) {
  std::setlocale(LC_ALL, "C");
  char16_t w[8];
  EXPECT_EQ(ansiToWide(w, nullptr, 8), nullptr);
  Guarded<char16_t> small(3, u"zz");
  ansiToWide(small.data, "abcdef", 3);  // does not fit: left empty, nothing past the room
  EXPECT_EQ(small.data[0], 0);
  EXPECT_TRUE(small.intact());
  char a[8];
  EXPECT_STREQ(wideToAnsi(a, u"x\u20ACy", 8), "x?y");  // not in the C locale's code set
}

TEST(StringuCopy, NumbersNarrowAndFallBack) {
  EXPECT_EQ(toLongOr("0", 7), 0);
  EXPECT_EQ(toLongOr("abc", 7), 7);
  EXPECT_EQ(toLongOr(u"12abc", 7), 12);
  EXPECT_EQ(toLongOr(" 0", 7), 7);  // narrows to 0 without a leading "0"
  EXPECT_EQ(toLongOr("99999999999", 7), INT32_MAX);  // a 32-bit long saturates
  EXPECT_EQ(toShortOr("65536", 9), 9);
  EXPECT_EQ(toShortOr(u"65537", 9), 1);
  EXPECT_EQ(toShortOr("32768", 9), -32768);
  EXPECT_EQ(toByteOr("256", 5), 5);
  EXPECT_EQ(toByteOr(u"257", 5), 1);
  EXPECT_EQ(toLongOr(static_cast<const char*>(nullptr), 3), 3);
}

TEST(StringuCopy, TextChecks) {
  uint32_t pos = 99;
  EXPECT_FALSE(isAsciiText("12aB", true, &pos));
  EXPECT_EQ(pos, 2u);
  EXPECT_FALSE(isAsciiText(u"a\u0080"));
  EXPECT_TRUE(allBelowLimit("a\xC4"));
  EXPECT_FALSE(allBelowLimit("a\xC5"));
  EXPECT_FALSE(allBelowLimit(u"\u00FF"));

  EXPECT_TRUE(isHexNumber(u"0123456789ABCDEF", true));
  EXPECT_FALSE(isHexNumber(u"0123456789ABCDEF0", false));
  EXPECT_FALSE(isHexNumber(u"\t12", false));
  EXPECT_TRUE(isHexNumber(u"12\tzz", true));
  EXPECT_FALSE(isHexNumber(u"ab", true));

  EXPECT_TRUE(isDecimalNumber(u"-12", true));
  EXPECT_FALSE(isDecimalNumber(u"-12", false));
  EXPECT_TRUE(isDecimalNumber(u"12-3", false));
  EXPECT_TRUE(isDecimalNumber(u"1 2 3ab", false));
  EXPECT_TRUE(isDecimalNumber(u"1234567890123456789", false));
  EXPECT_FALSE(isDecimalNumber(u"12345678901234567890", false));
}

}  // namespace

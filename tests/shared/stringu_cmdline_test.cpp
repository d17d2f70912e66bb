#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lib/cpu/shared/heap.h"
#include "lib/cpu/shared/stringu.h"

namespace {

// Splits line and returns the arguments after "DLL", checking the vector's shape on the way.
std::vector<std::u16string> split(const char16_t* line) {
  uint32_t argc = 99;
  char16_t** argv = nullptr;
  uint32_t n = splitCommandLine(&argc, &argv, line);
  std::vector<std::u16string> out;
  EXPECT_EQ(argc, n + 1);
  if (!argv) return out;
  EXPECT_EQ(std::u16string(argv[0]), u"DLL");
  for (uint32_t i = 1; i <= n; ++i) out.emplace_back(argv[i]);
  EXPECT_EQ(argv[n + 1], nullptr);
  freeArgs(argc, &argv);
  EXPECT_EQ(argv, nullptr);
  return out;
}

using Args = std::vector<std::u16string>;

TEST(StringuCmdline, EmptyAndSeparatorOnlyLines) {
  EXPECT_EQ(split(u""), Args{});
  EXPECT_EQ(split(u" \t\r\n\v\f\x1A "), Args{});
  EXPECT_EQ(split(nullptr), Args{});
}

TEST(StringuCmdline, QuotesGroupWordsAndJoinWithNeighbours) {
  EXPECT_EQ(split(u"a \"b c\" d"), (Args{u"a", u"b c", u"d"}));
  EXPECT_EQ(split(u"a\"b c\"d"), (Args{u"ab cd"}));
  EXPECT_EQ(split(u"\"b\tc\""), (Args{u"b", u"c"}));  // only spaces are protected
  EXPECT_EQ(split(u"x \"open ended"), (Args{u"x", u"open ended"}));
  EXPECT_EQ(split(u"\"\""), Args{});
}

TEST(StringuCmdline, BackslashEscapes) {
  EXPECT_EQ(split(u"say \\\"hi\\\""), (Args{u"say", u"\"hi\""}));
  EXPECT_EQ(split(u"a\\\\b"), (Args{u"a\\b"}));
  EXPECT_EQ(split(u"c:\\dir\\f"), (Args{u"c:\\dir\\f"}));
  EXPECT_EQ(split(u"\\\\\""), (Args{u"\\\""}));  // the second backslash goes with the quote
  EXPECT_EQ(split(u"\"a \\\" b\" c"), (Args{u"a \" b", u"c"}));
}

TEST(StringuCmdline, PlaceholderCharactersInTheLine) {
  EXPECT_EQ(split(u"x\u00F0y\u00F1z\u00F2w"), (Args{u"x\"y\\z w"}));
}

TEST(StringuCmdline, VectorIsShrunkToTheArguments) {
  std::u16string line(500, u' ');
  line += u"only";
  uint32_t argc = 0;
  char16_t** argv = nullptr;
  EXPECT_EQ(splitCommandLine(&argc, &argv, line.c_str()), 1u);
  EXPECT_EQ(argc, 2u);
  EXPECT_EQ(std::u16string(argv[1]), u"only");
  freeArgs(argc, &argv);
}

TEST(StringuCmdline, RefusedMemoryAtEveryStepLeavesNoVectorAndNoLeak) {
  // Refuse the k-th heap request for every k until a split gets through untouched; each failure
  // must hand back an empty, null vector (the sanitizer build checks for leaks).
  for (int k = 0;; ++k) {
    int seen = 0;
    heapHooks().refuse = [&](size_t, const char*, int32_t) { return seen++ == k; };
    uint32_t argc = 7;
    char16_t** argv = nullptr;
    uint32_t n = splitCommandLine(&argc, &argv, u"one \"two three\" fo\\\"ur");
    heapHooks().refuse = {};
    if (seen <= k) {  // nothing was refused: the whole split went through
      EXPECT_EQ(n, 3u);
      freeArgs(argc, &argv);
      EXPECT_GT(k, 5);
      break;
    }
    if (argv) {  // only the final shrink was refused: the larger array is still a valid vector
      EXPECT_EQ(n, 3u);
      EXPECT_EQ(argv[4], nullptr);
      freeArgs(argc, &argv);
    } else {
      EXPECT_EQ(n, 0u);
      EXPECT_EQ(argc, 0u);
    }
  }
  freeArgs(0, nullptr);
}

}  // namespace

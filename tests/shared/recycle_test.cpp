// recycleFile: what it hands the shell, and what it answers.
#include <gtest/gtest.h>

#include <string>

#include "lib/cpu/shared/getfn.h"
#include "platform/shell.h"
#include "platform/utf.h"
#include "tests/support/temp_dir.h"

namespace {

struct Seen {
  int calls = 0;
  unsigned func = 0;
  uint16_t flags = 0;
  std::u16string list;  // the source list with both terminators
  bool hasOwnerOrTarget = false;
};

class RecycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::setShellOperation([this](plat::SHFILEOPSTRUCTW* op) {
      ++seen.calls;
      seen.func = op->wFunc;
      seen.flags = op->fFlags;
      size_t n = plat::wlen(op->pFrom);
      seen.list.assign(op->pFrom, n + 2);
      seen.hasOwnerOrTarget = op->hwnd || op->pTo || op->lpszProgressTitle || op->hNameMappings;
      op->fAnyOperationsAborted = 1;  // the result code alone decides
      return answer;
    });
  }
  void TearDown() override { plat::setShellOperation(nullptr); }
  Seen seen;
  int answer = 0;
  kel::test::TempDir dir;
};

TEST_F(RecycleTest, FlagsDependOnRecursionOnly) {
  std::string f = dir.str("a.dwg");
  kel::test::writeFile(f, "a");
  std::u16string w = plat::fromUtf8(f);
  int32_t result = -1;
  EXPECT_TRUE(recycleFile(w.c_str(), false, &result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(seen.func, 3u);
  EXPECT_EQ(seen.flags, 0x50D4);
  EXPECT_FALSE(seen.hasOwnerOrTarget);
  EXPECT_EQ(seen.list, w + u'\0' + u'\0');
  EXPECT_TRUE(recycleFile(w.c_str(), true, nullptr));
  EXPECT_EQ(seen.flags, 0x4054);
}

TEST_F(RecycleTest, MissingNameNeverReachesTheShell) {
  int32_t result = 1234;
  std::u16string w = plat::fromUtf8(dir.str("missing"));
  EXPECT_FALSE(recycleFile(w.c_str(), false, &result));
  EXPECT_EQ(result, 1234);
  EXPECT_EQ(seen.calls, 0);
}

TEST_F(RecycleTest, ShellFailureIsPassedOnAndDirectoriesPassTheExistenceTest) {
  answer = 0x78;
  int32_t result = 0;
  std::u16string w = plat::fromUtf8(dir.str());
  EXPECT_FALSE(recycleFile(w.c_str(), false, &result));
  EXPECT_EQ(result, 0x78);
  EXPECT_EQ(seen.calls, 1);
}

TEST_F(RecycleTest, LongestNameFitsAndLongerIsRefused) {
  // A 259-character name: the folder, a slash and a file name filling the rest.
  std::string base = dir.str() + "/";
  std::string name259 = base + std::string(259 - base.size(), 'n');
  kel::test::writeFile(name259, "x");
  std::u16string w = plat::fromUtf8(name259);
  ASSERT_EQ(w.size(), 259u);
  EXPECT_TRUE(recycleFile(w.c_str(), false, nullptr));
  EXPECT_EQ(seen.list.size(), 261u);
  EXPECT_EQ(seen.list[259], 0);
  EXPECT_EQ(seen.list[260], 0);

  std::u16string w260 = w + u"n";
  seen.calls = 0;
  EXPECT_FALSE(recycleFile(w260.c_str(), false, nullptr));
  EXPECT_EQ(seen.calls, 0);
}

TEST(Recycle, RealTrashTakesTheFile) {
  kel::test::TempDir data, work;
  const char* old = std::getenv("XDG_DATA_HOME");
  std::string saved = old ? old : "";
  ::setenv("XDG_DATA_HOME", data.str().c_str(), 1);
  std::string f = work.str("b.dwg");
  kel::test::writeFile(f, "b");
  int32_t result = -1;
  EXPECT_TRUE(recycleFile(plat::fromUtf8(f).c_str(), false, &result));
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(kel::test::exists(f));
  EXPECT_EQ(kel::test::readFile(data.str("Trash/files/b.dwg")), "b");
  if (old) ::setenv("XDG_DATA_HOME", saved.c_str(), 1); else ::unsetenv("XDG_DATA_HOME");
}

}  // namespace

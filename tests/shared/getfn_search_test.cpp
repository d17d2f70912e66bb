// The directory-list search: list order, name forms and the two-step searchFile.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "lib/cpu/shared/getfn.h"
#include "platform/utf.h"
#include "tests/support/temp_dir.h"

namespace {

using kel::test::TempDir;
using kel::test::writeFile;
namespace fs = std::filesystem;

// A: x.dwg y.dwg both.dwg   B: z.dwg only.dwg sub/   cwd (C): both.dwg blocks/k.dwg
class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* d : {"A", "B", "B/sub", "C", "C/blocks"}) fs::create_directory(t.path() / d);
    for (const char* f : {"A/x.dwg", "A/y.dwg", "A/both.dwg", "B/z.dwg", "B/only.dwg", "C/both.dwg", "C/blocks/k.dwg"})
      writeFile(t.str(f), "12345");
    old = fs::current_path();
    fs::current_path(t.path() / "C");
    a = t.wide("A");
    b = t.wide("B") + u"/";
  }
  void TearDown() override { fs::current_path(old); }
  std::vector<std::string> find(const std::u16string& dirs, const char16_t* wild, uint32_t skip = 0,
                                uint32_t flags = 0, bool nullDirs = false) {
    FileEntry* list = findInDirs(nullDirs ? nullptr : dirs.c_str(), wild, skip, flags);
    std::vector<std::string> out;
    for (FileEntry* e = list; e; e = e->next) {
      EXPECT_EQ(e->sizeLow | e->sizeHigh, 0u);
      out.push_back(plat::toUtf8(e->name));
    }
    freeFileList(list);
    return out;
  }
  std::string n(const std::u16string& s) { return plat::toUtf8(s); }
  TempDir t;
  fs::path old;
  std::u16string a, b;  // A as written without a separator, B with a forward slash
};

TEST_F(SearchTest, DirectoriesInListOrderNamedAsWritten) {
  EXPECT_EQ(find(a + u";" + b, u"*.dwg"),
            (std::vector<std::string>{n(a) + "\\both.dwg", n(a) + "\\x.dwg", n(a) + "\\y.dwg", n(b) + "only.dwg",
                                      n(b) + "z.dwg"}));
  EXPECT_EQ(find(b + u";" + a, u"?.dwg"),
            (std::vector<std::string>{n(b) + "z.dwg", n(a) + "\\x.dwg", n(a) + "\\y.dwg"}));
  // An empty element is the current directory; a trailing ';' adds nothing; a missing one is passed over.
  EXPECT_EQ(find(a + u";;" + b, u"b*.dwg"), (std::vector<std::string>{n(a) + "\\both.dwg", "both.dwg"}));
  EXPECT_EQ(find(a + u";", u"b*.dwg"), std::vector<std::string>{n(a) + "\\both.dwg"});
  EXPECT_EQ(find(t.wide("none") + u";" + a, u"x*"), std::vector<std::string>{n(a) + "\\x.dwg"});
  EXPECT_TRUE(find(a, u"nothing.*").empty());
}

TEST_F(SearchTest, PatternDirectoriesFlagsAndSkips) {
  EXPECT_EQ(find(u"", u"blocks\\*.dwg", 0, 0, true), std::vector<std::string>{"blocks\\k.dwg"});
  EXPECT_EQ(find(u"", u"blocks/*.dwg", 0, 0, true), std::vector<std::string>{"blocks\\k.dwg"});
  EXPECT_EQ(find(a + u";" + b, u"*.dwg", 0, 1), (std::vector<std::string>{"both.dwg", "x.dwg", "y.dwg", "only.dwg", "z.dwg"}));
  EXPECT_EQ(find(b, u"*.*", 0, 3), (std::vector<std::string>{"only.dwg", "sub", "z.dwg"}));  // no short names here
  EXPECT_EQ(find(b, u"*.*", 0x10, 1), (std::vector<std::string>{"only.dwg", "z.dwg"}));
  EXPECT_EQ(find(u"", nullptr, 0x80, 1, true), std::vector<std::string>{"blocks"});
}

TEST_F(SearchTest, SearchFilePrefersTheCurrentDirectory) {
  char16_t dest[260];
  std::u16string dirs = a + u";" + b;
  EXPECT_EQ(searchFile(dest, dirs.c_str(), u"both.old", u"dwg", 259), 8u);
  EXPECT_EQ(std::u16string(dest), u"both.dwg");
  EXPECT_EQ(searchFile(dest, dirs.c_str(), u"only", u".dwg", 259), b.size() + 8);
  EXPECT_EQ(std::u16string(dest), b + u"only.dwg");
  // A directory in the name is dropped for the search along the list.
  EXPECT_EQ(searchFile(dest, dirs.c_str(), u"elsewhere\\x", u"dwg", 259), a.size() + 6);
  EXPECT_EQ(std::u16string(dest), a + u"\\x.dwg");
  EXPECT_EQ(searchFile(dest, dirs.c_str(), u"both", u"dwg", 3), 3u);
  EXPECT_EQ(std::u16string(dest), u"bot");
  dest[0] = u'q';
  EXPECT_EQ(searchFile(dest, dirs.c_str(), u"nothing", u"dwg", 259), 0u);
  EXPECT_EQ(dest[0], 0);
  EXPECT_EQ(searchFile(nullptr, dirs.c_str(), u"both", u"dwg", 259), 0u);
}

}  // namespace

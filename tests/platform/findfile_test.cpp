// The directory search and the wildcard rules it shares with PathMatchSpecW.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/findfile.h"
#include "platform/pathmatch.h"
#include "platform/utf.h"
#include "tests/support/temp_dir.h"

namespace {

using kel::test::TempDir;
using kel::test::writeFile;

std::vector<std::string> listAll(const std::u16string& spec, std::vector<uint32_t>* attrs = nullptr) {
  std::vector<std::string> out;
  plat::WIN32_FIND_DATAW ffd;
  plat::HANDLE h = plat::FindFirstFileW(spec.c_str(), &ffd);
  if (h == plat::INVALID_HANDLE_VALUE) return out;
  do {
    out.push_back(plat::toUtf8(ffd.cFileName));
    if (attrs) attrs->push_back(ffd.dwFileAttributes);
    EXPECT_EQ(ffd.cAlternateFileName[0], 0);  // no short names here
  } while (plat::FindNextFileW(h, &ffd));
  EXPECT_EQ(plat::GetLastError(), plat::ERROR_NO_MORE_FILES);
  EXPECT_TRUE(plat::FindClose(h));
  return out;
}

TEST(PathMatchSpec, WindowsWildcardRules) {
  // '*' and '?', case-insensitive, several patterns, "*.*" and "x.*" accepting dot-less names.
  EXPECT_TRUE(plat::PathMatchSpecW(u"Drawing.DWG", u"*.dwg"));
  EXPECT_FALSE(plat::PathMatchSpecW(u"drawing.dwg.bak", u"*.dwg"));
  EXPECT_TRUE(plat::PathMatchSpecW(u"a1.dwg", u"a?.dwg"));
  EXPECT_FALSE(plat::PathMatchSpecW(u"a.dwg", u"a?.dwg"));
  EXPECT_FALSE(plat::PathMatchSpecW(u"a12.dwg", u"a?.dwg"));
  EXPECT_TRUE(plat::PathMatchSpecW(u"README", u"*.*"));
  EXPECT_TRUE(plat::PathMatchSpecW(u"README", u"readme.*"));
  EXPECT_FALSE(plat::PathMatchSpecW(u"README.md", u"readme"));
  EXPECT_TRUE(plat::PathMatchSpecW(u"x.dxf", u"*.dwg; *.dxf"));
  EXPECT_FALSE(plat::PathMatchSpecW(u"x.txt", u"*.dwg;*.dxf"));
  EXPECT_FALSE(plat::PathMatchSpecW(u"x", u""));
  // Patterns without a separator look at the last component of a full name only.
  EXPECT_TRUE(plat::PathMatchSpecW(u"C:\\data\\a1.dwg", u"a*.dwg"));
  EXPECT_FALSE(plat::PathMatchSpecW(u"C:\\adata\\b.dwg", u"a*"));
  EXPECT_TRUE(plat::PathMatchSpecW(u"C:/data/b.dwg", u"c:\\data\\*.dwg"));
  // Back-tracking over many stars stays correct.
  EXPECT_TRUE(plat::PathMatchSpecW(u"aaaaaaaaaaaaaaaaaaab", u"*a*a*a*a*a*b"));
  EXPECT_FALSE(plat::PathMatchSpecW(u"aaaaaaaaaaaaaaaaaaaa", u"*a*a*a*a*a*b"));
}

TEST(FindFile, ReportsInCaseInsensitiveNameOrderWithDotsFirst) {
  TempDir t;
  for (const char* n : {"b.dwg", "A.dwg", "c.DWG", ".hidden", "note.txt"}) writeFile(t.str(n), "x");
  std::filesystem::create_directory(t.path() / "Sub");
  std::vector<uint32_t> attrs;
  auto all = listAll(t.wide() + u"\\*.*", &attrs);
  ASSERT_EQ(all, (std::vector<std::string>{".", "..", ".hidden", "A.dwg", "b.dwg", "c.DWG", "note.txt", "Sub"}));
  EXPECT_EQ(attrs[2], plat::FILE_ATTRIBUTE_NORMAL);  // no hidden bit invented for dot-files
  EXPECT_EQ(attrs[7], plat::FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(listAll(t.wide() + u"/*.dwg"), (std::vector<std::string>{"A.dwg", "b.dwg", "c.DWG"}));
}

TEST(FindFile, AttributesTimesAndSizes) {
  TempDir t;
  writeFile(t.str("ro.txt"), std::string(70000, 'x'));
  ::chmod(t.str("ro.txt").c_str(), 0444);
  ::symlink("nowhere", t.str("dangling").c_str());
  struct stat st;
  ASSERT_EQ(::stat(t.str("ro.txt").c_str(), &st), 0);

  plat::WIN32_FIND_DATAW ffd;
  plat::HANDLE h = plat::FindFirstFileW((t.wide() + u"\\ro.txt").c_str(), &ffd);
  ASSERT_NE(h, plat::INVALID_HANDLE_VALUE);
  EXPECT_EQ(ffd.dwFileAttributes, plat::FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(ffd.nFileSizeLow, 70000u);
  EXPECT_EQ(ffd.nFileSizeHigh, 0u);
  uint64_t written = (uint64_t(ffd.ftLastWriteTime.dwHighDateTime) << 32) | ffd.ftLastWriteTime.dwLowDateTime;
  EXPECT_EQ(written / 10000000 - 11644473600ull, uint64_t(st.st_mtime));
  EXPECT_FALSE(plat::FindNextFileW(h, &ffd));
  plat::FindClose(h);

  std::vector<uint32_t> attrs;
  EXPECT_EQ(listAll(t.wide() + u"\\dang*", &attrs), std::vector<std::string>{"dangling"});
  EXPECT_EQ(attrs[0], plat::FILE_ATTRIBUTE_REPARSE_POINT);
}

TEST(FindFile, FailuresSetTheLastError) {
  TempDir t;
  plat::WIN32_FIND_DATAW ffd;
  EXPECT_EQ(plat::FindFirstFileW((t.wide() + u"\\*.dwg").c_str(), &ffd), plat::INVALID_HANDLE_VALUE);
  EXPECT_EQ(plat::GetLastError(), plat::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(plat::FindFirstFileW((t.wide() + u"\\missing\\*.*").c_str(), &ffd), plat::INVALID_HANDLE_VALUE);
  EXPECT_EQ(plat::GetLastError(), plat::ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(plat::FindFirstFileW(nullptr, &ffd), plat::INVALID_HANDLE_VALUE);
  EXPECT_EQ(plat::GetLastError(), plat::ERROR_INVALID_PARAMETER);
}

}  // namespace

// The wildcard directory walk and the file-list operations.
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

// Names of a list with the walk's starting directory cut off, so expectations read short.
std::vector<std::string> names(FileEntry* list, const std::u16string& prefix = u"") {
  std::vector<std::string> out;
  for (FileEntry* e = list; e; e = e->next) {
    std::u16string n = e->name;
    if (!prefix.empty() && n.compare(0, prefix.size(), prefix) == 0) n = n.substr(prefix.size());
    out.push_back(plat::toUtf8(n));
  }
  return out;
}

// root: a.dwg b.txt S/ T/ .hid .hdir/   S: s.dwg .x U/   U: u.dwg   T: t.dwg   .hdir: in.dwg
class WalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* d : {"S", "S/U", "T", ".hdir"}) fs::create_directory(t.path() / d);
    for (const char* f : {"a.dwg", "b.txt", "S/s.dwg", "S/.x", "S/U/u.dwg", "T/t.dwg", ".hid", ".hdir/in.dwg"})
      writeFile(t.str(f), "12345");
    root = t.wide() + u"\\";
    for (auto& c : root)
      if (c == u'/') c = u'\\';
  }
  std::vector<std::string> walk(const std::u16string& spec, const char16_t* wild, uint32_t skip, bool nested,
                                int32_t* limit = nullptr) {
    FileEntry* list = findFiles(spec.c_str(), wild, skip, nested, limit);
    auto out = names(list, root);
    freeFileList(list);
    return out;
  }
  TempDir t;
  std::u16string root;  // the temp directory in backslash form, with its separator
};

TEST_F(WalkTest, NestedWalkIsDepthFirstWithOwnEntriesFirst) {
  int32_t limit = 1000;
  EXPECT_EQ(walk(root, nullptr, 0x2, true, &limit),
            (std::vector<std::string>{"a.dwg", "b.txt", "S", "T", "S\\.x", "S\\s.dwg", "S\\U", "S\\U\\u.dwg",
                                      "T\\t.dwg"}));
  EXPECT_EQ(limit, 9);
  // The pattern selects what is listed, not what is entered; directories can be kept out of the list.
  EXPECT_EQ(walk(root + u"*.dwg", u"*.txt", 0x10, true),
            (std::vector<std::string>{"a.dwg", ".hdir\\in.dwg", "S\\s.dwg", "S\\U\\u.dwg", "T\\t.dwg"}));
  EXPECT_EQ(walk(root, u"*.dwg", 0x12, true),
            (std::vector<std::string>{"a.dwg", "S\\s.dwg", "S\\U\\u.dwg", "T\\t.dwg"}));
}

TEST_F(WalkTest, LeadingDotCountsAsHiddenOnlyInTheStartingDirectory) {
  auto all = walk(root, nullptr, 0, false);
  EXPECT_EQ(all, (std::vector<std::string>{".hdir", ".hid", "a.dwg", "b.txt", "S", "T"}));
  EXPECT_EQ(walk(root, nullptr, 0x2, false), (std::vector<std::string>{"a.dwg", "b.txt", "S", "T"}));
  EXPECT_EQ(walk(root + u"S\\", nullptr, 0x2, false), (std::vector<std::string>{"S\\s.dwg", "S\\U"}));
  EXPECT_EQ(walk(root + u"S\\*.*", nullptr, 0x12, true), (std::vector<std::string>{"S\\s.dwg", "S\\U\\u.dwg"}));
}

TEST_F(WalkTest, SpecFormsAndEntryFields) {
  std::u16string posix = t.wide() + u"/*.DWG";
  FileEntry* list = findFiles(posix.c_str(), nullptr, 0, false, nullptr);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(std::u16string(list->name), root + u"a.dwg");  // backslash form, also from '/'
  EXPECT_EQ(list->next, nullptr);
  EXPECT_EQ(list->sizeLow, 5u);
  EXPECT_EQ(list->attributes, 0x80u);
  EXPECT_NE(list->written.dwHighDateTime, 0u);
  freeFileList(list);

  auto old = fs::current_path();
  fs::current_path(t.path() / "T");
  auto here = walk(u"*.dwg", nullptr, 0, false);
  fs::current_path(old);
  EXPECT_EQ(here, std::vector<std::string>{"t.dwg"});

  // Only a backslash marks a directory: after "S/" the pattern is the empty name, matching nothing.
  int32_t count = 9;
  EXPECT_TRUE(walk(t.wide() + u"/S/", u"*.*", 0, false, &count).empty());
  EXPECT_EQ(count, 0);
}

TEST_F(WalkTest, LimitsEmptyDirectoriesAndFailures) {
  int32_t limit = 1;
  EXPECT_EQ(walk(root, nullptr, 0x2, false, &limit).size(), 1u);
  EXPECT_EQ(limit, 1);
  limit = 0;  // acts like 1; the scan stops before any directory is queued
  EXPECT_EQ(walk(root, nullptr, 0x2, true, &limit), std::vector<std::string>{"a.dwg"});
  limit = 2;  // S stops at s.dwg, before U is reached; T stops after its first entry
  EXPECT_EQ(walk(root + u"*.dwg", nullptr, 0x2, true, &limit),
            (std::vector<std::string>{"a.dwg", "S\\s.dwg", "T\\t.dwg"}));
  EXPECT_EQ(limit, 3);

  fs::create_directory(t.path() / "E");
  limit = 7;
  EXPECT_TRUE(walk(root + u"E\\", nullptr, 0, true, &limit).empty());
  EXPECT_EQ(limit, 0);
  limit = 7;
  EXPECT_TRUE(walk(root + u"missing\\", nullptr, 0, true, &limit).empty());
  EXPECT_EQ(limit, 7);
  EXPECT_EQ(findFiles(u"", nullptr, 0, false, &limit), nullptr);
  EXPECT_EQ(findFiles(nullptr, nullptr, 0, false, &limit), nullptr);
  EXPECT_EQ(limit, 7);
  // Texts beyond the buffers are refused, not cut into another name.
  EXPECT_EQ(findFiles((root + std::u16string(260, u'x')).c_str(), nullptr, 0, false, &limit), nullptr);
  EXPECT_EQ(findFiles(root.c_str(), std::u16string(256, u'*').c_str(), 0, false, &limit), nullptr);
  EXPECT_EQ(limit, 7);
}

TEST_F(WalkTest, ListOperations) {
  FileEntry* list = findFiles(root.c_str(), nullptr, 0x2, false, nullptr);
  ASSERT_EQ(countFileList(list), 4u);
  EXPECT_EQ(fileEntryAt(list, 0), list);
  EXPECT_EQ(fileEntryAt(list, 4), nullptr);
  EXPECT_EQ(fileEntryAt(list, 3), lastFileEntry(list));
  std::u16string upper = root + u"B.TXT";
  EXPECT_EQ(findFileEntry(upper.c_str(), list), fileEntryAt(list, 1));
  EXPECT_EQ(findFileEntry(nullptr, list), nullptr);
  EXPECT_EQ(findFileEntry(u"b.txt", list), nullptr);
  uint32_t dirAttr = fileEntryAt(list, 2)->attributes;

  // Code-unit order: "S" and "T" before "a"; the other fields stay where they were.
  EXPECT_EQ(sortFileList(list), list);
  EXPECT_EQ(names(list, root), (std::vector<std::string>{"S", "T", "a.dwg", "b.txt"}));
  EXPECT_EQ(fileEntryAt(list, 2)->attributes, dirAttr);
  freeFileList(list);

  EXPECT_TRUE(!countFileList(nullptr) && !lastFileEntry(nullptr) && !fileEntryAt(nullptr, 0) && !sortFileList(nullptr));
}

}  // namespace

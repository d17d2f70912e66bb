// The shell's undoable delete over the freedesktop.org trash: where items go, what the info file
// says, name collisions, other mounts, refusals.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "platform/shell.h"
#include "platform/utf.h"
#include "tests/support/temp_dir.h"

namespace {

using kel::test::exists;
using kel::test::readFile;
using kel::test::writeFile;

class TrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_DATA_HOME");
    savedXdg = old ? old : "";
    hadXdg = old != nullptr;
    ::setenv("XDG_DATA_HOME", data.str().c_str(), 1);
    trash = data.str("Trash");
  }
  void TearDown() override {
    if (hadXdg) ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
    else ::unsetenv("XDG_DATA_HOME");
  }
  int del(const std::string& path, uint16_t flags = 0x50D4) {
    std::u16string list = plat::fromUtf8(path);
    list.push_back(0);  // the list's second terminator
    plat::SHFILEOPSTRUCTW op{};
    op.wFunc = plat::FO_DELETE;
    op.pFrom = list.c_str();
    op.fFlags = flags;
    return plat::SHFileOperationW(&op);
  }
  // Restores an item the way a desktop does: read Path= from its info file, move it back.
  void restore(const std::string& trashDir, const std::string& name, const std::string& top = "") {
    std::string info = readFile(trashDir + "/info/" + name + ".trashinfo");
    size_t p = info.find("Path=") + 5;
    std::string path = info.substr(p, info.find('\n', p) - p);
    std::string decoded;
    for (size_t i = 0; i < path.size(); ++i) {
      if (path[i] == '%') {
        decoded += static_cast<char>(std::stoi(path.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        decoded += path[i];
      }
    }
    if (decoded[0] != '/') decoded = top + "/" + decoded;
    std::filesystem::rename(trashDir + "/files/" + name, decoded);
    std::filesystem::remove(trashDir + "/info/" + name + ".trashinfo");
  }

  kel::test::TempDir data, work;
  std::string trash, savedXdg;
  bool hadXdg = false;
};

TEST_F(TrashTest, FileGoesToHomeTrashWithItsInfoAndCanBeRestored) {
  std::string file = work.str("drawing 1%.dwg");
  writeFile(file, "content");
  ASSERT_EQ(del(file), 0);
  EXPECT_FALSE(exists(file));
  EXPECT_EQ(readFile(trash + "/files/drawing 1%.dwg"), "content");
  std::string info = readFile(trash + "/info/drawing 1%.dwg.trashinfo");
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=", 0), 0u) << info;
  EXPECT_NE(info.find("Path=" + work.str() + "/drawing%201%25.dwg\n"), std::string::npos) << info;
  EXPECT_NE(info.find("\nDeletionDate=20"), std::string::npos);
  EXPECT_EQ(info.find("DeletionDate=")+ 13 + 19, info.size() - 1);  // YYYY-MM-DDThh:mm:ss
  restore(trash, "drawing 1%.dwg");
  EXPECT_EQ(readFile(file), "content");
}

TEST_F(TrashTest, SameNameTwiceGetsAFreshTrashName) {
  std::string file = work.str("a.dwg");
  for (const char* text : {"one", "two", "three"}) {
    writeFile(file, text);
    ASSERT_EQ(del(file), 0);
  }
  EXPECT_EQ(readFile(trash + "/files/a.dwg"), "one");
  EXPECT_EQ(readFile(trash + "/files/a.dwg.2"), "two");
  EXPECT_EQ(readFile(trash + "/files/a.dwg.3"), "three");
  EXPECT_TRUE(exists(trash + "/info/a.dwg.3.trashinfo"));
}

TEST_F(TrashTest, RefusalsLeaveEverythingInPlace) {
  EXPECT_EQ(del(work.str("missing.dwg")), plat::DE_INVALIDFILES);
  std::filesystem::create_directory(work.str("dir"));
  writeFile(work.str("dir/x"), "x");
  EXPECT_EQ(del(work.str("dir")), plat::DE_OPCANCELLED);  // files only, no recursion
  EXPECT_TRUE(exists(work.str("dir/x")));
  EXPECT_EQ(del(work.str("dir"), 0x4054), 0);  // with recursion allowed the directory goes whole
  EXPECT_EQ(readFile(trash + "/files/dir/x"), "x");
  // A delete that cannot be undone is never done here.
  writeFile(work.str("f"), "f");
  EXPECT_EQ(del(work.str("f"), 0x0014), plat::DE_UNSUPPORTED);
  EXPECT_TRUE(exists(work.str("f")));
}

TEST_F(TrashTest, BackslashFormAndSeveralNames) {
  writeFile(work.str("x.dwg"), "x");
  writeFile(work.str("y.dwg"), "y");
  std::u16string list = plat::fromUtf8(work.str("x.dwg"));
  for (auto& c : list)
    if (c == u'/') c = u'\\';
  list.push_back(0);
  list += plat::fromUtf8(work.str("y.dwg"));
  list.push_back(0);
  plat::SHFILEOPSTRUCTW op{};
  op.wFunc = plat::FO_DELETE;
  op.pFrom = list.c_str();
  op.fFlags = 0x50D4;
  EXPECT_EQ(plat::SHFileOperationW(&op), 0);
  EXPECT_TRUE(exists(trash + "/files/x.dwg"));
  EXPECT_TRUE(exists(trash + "/files/y.dwg"));
}

TEST_F(TrashTest, OtherMountUsesItsTopDirectoryTrash) {
  // /dev/shm is its own mount on Linux machines; without it there is nothing to test here.
  struct stat shm, home;
  if (::stat("/dev/shm", &shm) != 0 || ::stat(data.str().c_str(), &home) != 0 || shm.st_dev == home.st_dev ||
      ::access("/dev/shm", W_OK) != 0)
    GTEST_SKIP() << "no second writable mount";
  std::string top = "/dev/shm";
  std::string file = top + "/kelmoor-trash-test-" + std::to_string(::getpid()) + ".dwg";
  writeFile(file, "other");
  ASSERT_EQ(del(file), 0);
  std::string topTrash = top + "/.Trash-" + std::to_string(::getuid());
  std::string name = file.substr(file.find_last_of('/') + 1);
  EXPECT_EQ(readFile(topTrash + "/files/" + name), "other");
  // Top-directory trash records the path relative to the mount.
  EXPECT_NE(readFile(topTrash + "/info/" + name + ".trashinfo").find("\nPath=" + name + "\n"), std::string::npos);
  restore(topTrash, name, top);
  EXPECT_EQ(readFile(file), "other");
  std::filesystem::remove(file);
}

}  // namespace

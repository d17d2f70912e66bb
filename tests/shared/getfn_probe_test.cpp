// File and directory probes: the flags of probeAccess and its probe file, modification times and
// directory tests.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "lib/cpu/shared/getfn.h"
#include "lib/cpu/shared/messages.h"
#include "platform/fileio.h"
#include "platform/msgbox.h"
#include "tests/support/temp_dir.h"

namespace {

using kel::test::exists;
using kel::test::TempDir;
using kel::test::writeFile;
namespace fs = std::filesystem;

struct Flags {
  bool ok, exists, readOnly, dirReadOnly;
};

class ProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetMessageState();
    plat::setMessageBoxHandler([this](const char16_t* text, const char16_t*, unsigned) {
      shown.push_back(text);
      return plat::IDOK;
    });
  }
  void TearDown() override {
    plat::setMessageBoxHandler(nullptr);
    resetMessageState();
  }
  Flags probe(const std::u16string& path) {
    Flags f{false, true, true, true};
    f.ok = probeAccess(path.c_str(), &f.exists, &f.readOnly, &f.dirReadOnly);
    return f;
  }
  // The probe file's name as the message gives it: in backslash form throughout.
  std::u16string probeFile() {
    std::u16string p = t.wide() + u"\\~$access.tmp";
    for (auto& c : p)
      if (c == u'/') c = u'\\';
    return p;
  }
  TempDir t;
  std::vector<std::u16string> shown;
};

TEST_F(ProbeTest, FlagsForMissingWritableAndReadOnlyFiles) {
  Flags f = probe(t.wide() + u"\\absent.dwg");
  EXPECT_TRUE(f.ok && !f.exists && !f.readOnly && !f.dirReadOnly);
  EXPECT_FALSE(exists(t.str("~$access.tmp")));

  writeFile(t.str("w.dwg"), "x");
  f = probe(t.wide() + u"/w.dwg");
  EXPECT_TRUE(f.ok && f.exists && !f.readOnly && !f.dirReadOnly);

  writeFile(t.str("ro.dwg"), "x");
  ::chmod(t.str("ro.dwg").c_str(), 0444);
  f = probe(t.wide() + u"\\ro.dwg");
  EXPECT_TRUE(f.ok && f.exists && f.readOnly && !f.dirReadOnly);
  EXPECT_FALSE(exists(t.str("~$access.tmp")));
  EXPECT_TRUE(shown.empty());
}

TEST_F(ProbeTest, FileHeldWithoutSharingIsReadOnly) {
  writeFile(t.str("held.dwg"), "x");
  int fh = -1;
  ASSERT_EQ(plat::_wsopen_s(&fh, (t.wide() + u"\\held.dwg").c_str(), plat::_O_RDONLY, plat::_SH_DENYRW, 0), 0);
  Flags f = probe(t.wide() + u"\\held.dwg");
  EXPECT_TRUE(f.ok && f.exists && f.readOnly);
  bool exist = false;  // with only exists asked for, no open is tried
  EXPECT_TRUE(probeAccess((t.wide() + u"\\held.dwg").c_str(), &exist, nullptr, nullptr));
  EXPECT_TRUE(exist);
  plat::_close(fh);
  f = probe(t.wide() + u"\\held.dwg");
  EXPECT_FALSE(f.readOnly);
}

TEST_F(ProbeTest, ReadOnlyDirectoryLeavesNoProbeFile) {
  fs::create_directory(t.path() / "locked");
  writeFile(t.str("locked/f.dwg"), "x");
  ::chmod(t.str("locked").c_str(), 0555);
  Flags f = probe(t.wide() + u"\\locked\\f.dwg");
  EXPECT_TRUE(f.ok && f.exists && f.dirReadOnly);
  EXPECT_FALSE(exists(t.str("locked/~$access.tmp")));
  EXPECT_TRUE(shown.empty());  // no probe file of that name: refused silently
}

TEST_F(ProbeTest, ReadOnlyProbeFileAlreadyThereIsReported) {
  writeFile(t.str("~$access.tmp"), "someone's");
  ::chmod(t.str("~$access.tmp").c_str(), 0444);
  Flags f = probe(t.wide() + u"\\f.dwg");
  EXPECT_TRUE(f.ok && !f.exists && f.dirReadOnly);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], probeFile() + u" exists read-only (13).");
  EXPECT_TRUE(exists(t.str("~$access.tmp")));
}

TEST_F(ProbeTest, RefusedPaths) {
  for (const std::u16string& p : {std::u16string(), t.wide() + u"\\", t.wide() + u"\\nodir\\f.dwg", t.wide() + u"\\.ext",
                                  std::u16string(261, u'a')}) {
    Flags f = probe(p);
    EXPECT_TRUE(!f.ok && !f.exists && !f.readOnly && !f.dirReadOnly);
  }
  EXPECT_FALSE(probeAccess(nullptr, nullptr, nullptr, nullptr));
  // A name part beyond 255 characters is refused; 260 characters whose parts fit are probed.
  EXPECT_FALSE(probe(u"/" + std::u16string(256, u'n')).ok);
  std::u16string full = t.wide() + u"\\" + std::u16string(260 - t.wide().size() - 1, u'n');
  ASSERT_EQ(full.size(), 260u);
  Flags f = probe(full);
  EXPECT_TRUE(f.ok && !f.exists && !f.dirReadOnly);
  EXPECT_FALSE(exists(t.str("~$access.tmp")));
}

TEST_F(ProbeTest, ModifiedTimeAndDirectoryTests) {
  writeFile(t.str("f"), "x");
  struct stat st;
  ::stat(t.str("f").c_str(), &st);
  int64_t time = -5;
  EXPECT_TRUE(getModifiedTime((t.wide() + u"\\f").c_str(), &time));
  EXPECT_EQ(time, st.st_mtime);
  time = -5;
  EXPECT_FALSE(getModifiedTime((t.wide() + u"\\none").c_str(), &time));
  EXPECT_EQ(time, -5);

  bool empty = true;
  EXPECT_FALSE(isDirectory((t.wide() + u"\\f").c_str(), &empty));
  EXPECT_FALSE(empty);
  fs::create_directory(t.path() / "e");
  EXPECT_TRUE(isDirectory((t.wide() + u"\\e").c_str(), &empty));
  EXPECT_TRUE(empty);
  empty = true;
  EXPECT_FALSE(isDirectory((t.wide() + u"\\missing").c_str(), &empty));
  EXPECT_FALSE(empty);
  EXPECT_TRUE(isDirectory(t.wide().c_str(), nullptr));
}

}  // namespace

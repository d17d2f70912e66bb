// _wsopen_s share modes, _O_TEMPORARY, the read-only rules kept also for root, and _wstat64.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/crt.h"
#include "platform/fileio.h"
#include "tests/support/temp_dir.h"

namespace {

using kel::test::exists;
using kel::test::TempDir;
using kel::test::writeFile;
using namespace plat;

int openWith(const std::u16string& p, int flags, int share, errno_t* err = nullptr) {
  int fh = -1;
  errno_t e = _wsopen_s(&fh, p.c_str(), flags, share, _S_IREAD | _S_IWRITE);
  if (err) *err = e;
  EXPECT_EQ(e == 0, fh >= 0);
  return fh;
}

TEST(WsOpen, ShareModesAreHonouredBetweenOurOpens) {
  TempDir t;
  writeFile(t.str("f"), "data");
  std::u16string f = t.wide("f");

  int holder = openWith(f, _O_RDONLY, _SH_DENYWR);
  ASSERT_GE(holder, 0);
  errno_t err = 0;
  EXPECT_EQ(openWith(f, _O_RDWR, _SH_DENYNO, &err), -1);
  EXPECT_EQ(err, EACCES);
  // A newcomer that denies reading conflicts with the reader already there.
  EXPECT_EQ(openWith(f, _O_RDONLY, _SH_DENYRD), -1);
  _close(holder);

  int exclusive = openWith(f, _O_WRONLY, _SH_DENYRW);
  ASSERT_GE(exclusive, 0);
  EXPECT_EQ(openWith(f, _O_RDONLY, _SH_DENYNO), -1);
  // Truncation waits for the share test: the held file keeps its data.
  EXPECT_EQ(openWith(f, _O_WRONLY | _O_TRUNC, _SH_DENYNO), -1);
  EXPECT_EQ(kel::test::readFile(t.str("f")), "data");
  _close(exclusive);
  int again = openWith(f, _O_RDWR, _SH_DENYNO);
  EXPECT_GE(again, 0);
  _close(again);
}

TEST(WsOpen, ShareLocksReachOtherProcessesAndEndWithThem) {
  TempDir t;
  writeFile(t.str("f"), "data");
  std::u16string f = t.wide("f");
  int pipeFd[2];
  ASSERT_EQ(::pipe(pipeFd), 0);
  pid_t child = ::fork();
  if (child == 0) {
    int fh = -1;
    _wsopen_s(&fh, f.c_str(), _O_RDWR, _SH_DENYRW, 0);
    char ok = fh >= 0 ? 'y' : 'n';
    (void)!::write(pipeFd[1], &ok, 1);
    ::pause();
    ::_exit(0);
  }
  char ok = 0;
  ASSERT_EQ(::read(pipeFd[0], &ok, 1), 1);
  EXPECT_EQ(ok, 'y');
  EXPECT_EQ(openWith(f, _O_RDONLY, _SH_DENYNO), -1);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  int fh = openWith(f, _O_RDONLY, _SH_DENYNO);
  EXPECT_GE(fh, 0);
  _close(fh);
  ::close(pipeFd[0]);
  ::close(pipeFd[1]);
}

TEST(WsOpen, TemporaryFileIsGoneWhenCloseReturns) {
  TempDir t;
  std::u16string p = t.wide() + u"\\tmp.bin";
  int fh = openWith(p, _O_RDWR | _O_CREAT | _O_TEMPORARY | _O_BINARY, _SH_DENYNO);
  ASSERT_GE(fh, 0);
  EXPECT_TRUE(exists(t.str("tmp.bin")));
  EXPECT_EQ(_close(fh), 0);
  EXPECT_FALSE(exists(t.str("tmp.bin")));

  // A file that took the name meanwhile is not deleted in its place.
  fh = openWith(p, _O_RDWR | _O_CREAT | _O_TEMPORARY, _SH_DENYNO);
  ASSERT_GE(fh, 0);
  ::unlink(t.str("tmp.bin").c_str());
  writeFile(t.str("tmp.bin"), "other");
  _close(fh);
  EXPECT_TRUE(exists(t.str("tmp.bin")));
  EXPECT_EQ(_close(12345), -1);
}

TEST(WsOpen, ReadOnlyRulesHoldEvenForRoot) {
  TempDir t;
  writeFile(t.str("ro"), "x");
  ::chmod(t.str("ro").c_str(), 0444);
  errno_t err = 0;
  EXPECT_EQ(openWith(t.wide("ro"), _O_RDWR, _SH_DENYNO, &err), -1);
  EXPECT_EQ(err, EACCES);
  std::filesystem::create_directory(t.path() / "locked");
  ::chmod(t.str("locked").c_str(), 0555);
  EXPECT_EQ(openWith(t.wide("locked") + u"\\new", _O_RDWR | _O_CREAT, _SH_DENYNO, &err), -1);
  EXPECT_EQ(err, EACCES);
  EXPECT_FALSE(exists(t.str("locked/new")));
  EXPECT_EQ(openWith(t.wide("ro"), _O_RDONLY | _O_CREAT | _O_EXCL, _SH_DENYNO, &err), -1);
  EXPECT_EQ(err, EEXIST);
  // Created without _S_IWRITE, a file is read-only from then on.
  int made = -1;
  ASSERT_EQ(_wsopen_s(&made, t.wide("made").c_str(), _O_RDWR | _O_CREAT, _SH_DENYNO, _S_IREAD), 0);
  _close(made);
  EXPECT_EQ(_waccess(t.wide("made").c_str(), 2), -1);
  EXPECT_EQ(_waccess_s(t.wide("nothing").c_str(), 0), ENOENT);
}

}  // namespace

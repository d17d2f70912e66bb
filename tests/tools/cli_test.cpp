// The agent's view: the built library's exports, its unload warning seen from processes that load
// and unload it, and the kelmoor command line.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "extension/KelRx.h"
#include "tests/support/temp_dir.h"

namespace {

std::string binDir() { return std::string(KEL_BINARY_DIR) + "/bin"; }
std::string libPath() { return std::string(KEL_BINARY_DIR) + "/lib/libkelmoor-lib20.so"; }

struct Result {
  int code = -1;
  std::string out, err;
};

Result runShell(const std::string& cmd) {
  kel::test::TempDir tmp;
  std::string full = cmd + " >" + tmp.str("out") + " 2>" + tmp.str("err") + " </dev/null";
  int st = std::system(full.c_str());
  Result r;
  r.code = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  r.out = kel::test::readFile(tmp.str("out"));
  r.err = kel::test::readFile(tmp.str("err"));
  return r;
}

Result kelmoor(const std::string& args) { return runShell(binDir() + "/kelmoor " + args); }

size_t count(const std::string& hay, const std::string& needle) {
  size_t n = 0;
  for (size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1)) ++n;
  return n;
}

TEST(Library, ExportsOnlyGetKelrx) {
  Result r = runShell("nm -D --defined-only " + libPath());
  ASSERT_EQ(r.code, 0) << r.err;
  std::string names;
  for (size_t p = 0; p < r.out.size();) {
    size_t e = r.out.find('\n', p);
    std::string line = r.out.substr(p, e - p);
    p = e == std::string::npos ? r.out.size() : e + 1;
    if (!line.empty()) names += line.substr(line.find_last_of(' ') + 1) + ";";
  }
  EXPECT_EQ(names, "_Z9get_kelrxv;");
}

TEST(Library, CarriesItsVersionRecord) {
  Result r = runShell("readelf -p .kelmoor.version " + libPath());
  ASSERT_EQ(r.code, 0) << r.err;
  for (const char* entry : {"FileVersion=3.0", "AgentApiVersion=3.0", "InternalName=kelmoorDwg",
                            "FileVersionNumber=3.2.1.15"})
    EXPECT_NE(r.out.find(entry), std::string::npos) << entry << "\n" << r.out;
}

// Loads the library in a child process, lets fn drive it, unloads it and answers what the child
// wrote on standard error.
template <class Fn>
std::string inChild(Fn fn) {
  kel::test::TempDir tmp;
  std::string errFile = tmp.str("err");
  pid_t pid = ::fork();
  if (pid == 0) {
    std::freopen(errFile.c_str(), "w", stderr);
    void* h = ::dlopen(libPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) std::_Exit(3);
    auto get = reinterpret_cast<KelRx* (*)()>(::dlsym(h, "_Z9get_kelrxv"));
    if (!get) std::_Exit(4);
    fn(get);
    ::dlclose(h);
    std::fflush(stderr);
    std::_Exit(0);
  }
  int st = 0;
  ::waitpid(pid, &st, 0);
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << "child status " << st;
  return kel::test::readFile(errFile);
}

const char* kWarning =
    "[ObjectDBX] Unrecoverable error attempting to open or validate drawing.\n\nTo avoid this issue, "
    "select \"0 - Disable demand-loading\" for Demandload in AutoCAD program settings.\n";

TEST(Library, UnloadWarningShowsOnceUnlessTerminated) {
  EXPECT_EQ(count(inChild([](auto) {}), kWarning), 1u);
  EXPECT_EQ(count(inChild([](auto get) { get()->initialize(0); }), kWarning), 1u);
  EXPECT_EQ(inChild([](auto get) { get()->terminate(); }), "");
  EXPECT_EQ(inChild([](auto get) {
              get()->initialize(3);
              get()->terminate();
              get()->initialize(0);
            }),
            "");
}

TEST(Library, SameObjectOnEveryCall) {
  void* h = ::dlopen(libPath().c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr);
  auto get = reinterpret_cast<KelRx* (*)()>(::dlsym(h, "_Z9get_kelrxv"));
  ASSERT_NE(get, nullptr);
  EXPECT_EQ(get(), get());
  EXPECT_EQ(get()->releaseNumber(), 20);
  EXPECT_STREQ(get()->statusName(76), "FileNotFound");
  get()->terminate();
  ::dlclose(h);
}

TEST(Cli, UsageAndSimpleCommands) {
  Result help = kelmoor("--help");
  EXPECT_EQ(help.code, 0);
  for (const char* word : {"dxf2dwg", "resave", "dwg2dxf", "status-name", "release", "--backup", "--force-backup",
                           "--log", "--reexport", "--keep-settings", "--flags", "--library", "info"})
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
  EXPECT_EQ(kelmoor("").code, 2);
  EXPECT_EQ(kelmoor("frobnicate x").code, 2);
  EXPECT_EQ(kelmoor("resave onlyone").code, 2);
  EXPECT_EQ(kelmoor("dwg2dxf a b --bogus").code, 2);
  EXPECT_EQ(kelmoor("--library /nonexistent/lib.so release").code, 2);
  Result name = kelmoor("status-name 76");
  EXPECT_EQ(name.code, 0);
  EXPECT_EQ(name.out, "FileNotFound\n");
  EXPECT_EQ(kelmoor("status-name 0").out, "eUnknown\n");
  EXPECT_EQ(kelmoor("release").out, "20\n");
  // Every run terminates the engine, so no unload warning.
  EXPECT_EQ(kelmoor("release").err, "");
}

TEST(Cli, FailedExportPrintsBothLinesAndExitsOne) {
  kel::test::TempDir dir;
  std::string missing = dir.str("missing.dwg"), out = dir.str("out.dxf");
  Result r = kelmoor("dwg2dxf " + missing + " " + out);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("\nCould not read " + missing + ".\nCould not saveas DXFOUT to " + out + "."), std::string::npos)
      << r.err;
  EXPECT_FALSE(kel::test::exists(out));
  Result d = kelmoor("dxf2dwg " + dir.str("missing.dxf") + " " + dir.str("x.dwg"));
  EXPECT_EQ(d.code, 1);
  EXPECT_NE(d.err.find("dxf2dwg failed: "), std::string::npos) << d.err;
  EXPECT_FALSE(kel::test::exists(dir.str("x.dwg")));
}

}  // namespace

// The host object's file-finding policy, its fixed answers and its table order.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "host/KelHostApp.h"
#include "platform/utf.h"
#include "tests/support/temp_dir.h"
#include "tests/support/vtable.h"

namespace {

struct FlagsScope {
  explicit FlagsScope(uint32_t flags) : saved(findFileFlags) { findFileFlags = flags; }
  ~FlagsScope() { findFileFlags = saved; }
  uint32_t saved;
};

// Runs the test body inside a temporary current directory holding two files.
class FindFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    kel::test::writeFile("AcGeomentObj.dbx", "");
    kel::test::writeFile("font.shx", "");
  }
  void TearDown() override { std::filesystem::current_path(old); }

  struct Answer {
    Acad::ErrorStatus status;
    std::u16string out;
  };
  Answer find(uint32_t flags, const char16_t* name, int bufLen = 260) {
    FlagsScope scope(flags);
    char16_t buf[300];
    std::fill(std::begin(buf), std::end(buf), u'#');
    Answer a;
    a.status = host.findFile(buf, bufLen, name);
    a.out = buf[0] == u'#' ? u"<untouched>" : std::u16string(buf);
    EXPECT_EQ(buf[bufLen], u'#') << "wrote past the buffer";
    return a;
  }

  kel::test::TempDir dir;
  std::filesystem::path old;
  KelHostApp host;
};

TEST_F(FindFileTest, OutcomesFollowTheTwoFlagBits) {
  struct Row {
    uint32_t flags;
    const char16_t* name;
    Acad::ErrorStatus status;
    const char16_t* out;
  } rows[] = {
      // flags 0: everything satisfied with an empty path
      {0, u"acismobj25.dbx", Acad::eOk, u""},
      {0, u"missing.shx", Acad::eOk, u""},
      {0, u"font.shx", Acad::eOk, u""},
      // flags 1: modules refused, the rest blindly satisfied
      {1, u"AcGeomentObj.dbx", Acad::eFileNotFound, u""},
      {1, u"acismobj25.dbx", Acad::eFileNotFound, u""},
      {1, u"C:\\Modules\\acismobj25.dbx", Acad::eOk, u""},
      {1, u"ACISMOBJ25.DBX", Acad::eOk, u""},
      {1, u"", Acad::eFileNotFound, u""},
      // flags 2: existence test for everything, modules included
      {2, u"AcGeomentObj.dbx", Acad::eOk, u"AcGeomentObj.dbx"},
      {2, u"acismobj25.dbx", Acad::eFileNotFound, u""},
      {2, u"font.shx", Acad::eOk, u"font.shx"},
      // flags 3: modules refused even when present on disk
      {3, u"AcGeomentObj.dbx", Acad::eFileNotFound, u""},
      {3, u"font.shx", Acad::eOk, u"font.shx"},
      {3, u"missing.shx", Acad::eFileNotFound, u""},
      // higher bits change nothing
      {4, u"acismobj25.dbx", Acad::eOk, u""},
      {7, u"AcGeomentObj.dbx", Acad::eFileNotFound, u""},
      {7, u"font.shx", Acad::eOk, u"font.shx"},
  };
  for (const Row& r : rows) {
    Answer a = find(r.flags, r.name);
    EXPECT_EQ(a.status, r.status) << "flags " << r.flags << " name " << plat::toUtf8(r.name);
    EXPECT_EQ(a.out, r.out) << "flags " << r.flags << " name " << plat::toUtf8(r.name);
  }
}

TEST_F(FindFileTest, ModuleRequestIsTheNameInsideTheFixedTextNotTheReverse) {
  // Fragments of the module names are module requests; longer texts containing them are not.
  for (const char16_t* name : {u"obj25.dbx", u"\\AcGeomentObj.dbx", u"\\", u".dbx", u"Ac"})
    EXPECT_EQ(find(1, name).status, Acad::eFileNotFound) << plat::toUtf8(name);
  for (const char16_t* name : {u"C:\\Drawings\\AcGeomentObj.dbx", u"acismobj25.dbx.bak", u"xacismobj25.dbx"})
    EXPECT_EQ(find(1, name).status, Acad::eOk) << plat::toUtf8(name);
}

TEST_F(FindFileTest, ExistingNameThatDoesNotFitTheBufferIsRefusedWithinBounds) {
  // "font.shx" needs 9 units with its terminator.
  EXPECT_EQ(find(2, u"font.shx", 8).status, Acad::eFileNotFound);
  EXPECT_EQ(find(2, u"font.shx", 8).out, u"");
  Answer fits = find(2, u"font.shx", 9);
  EXPECT_EQ(fits.status, Acad::eOk);
  EXPECT_EQ(fits.out, u"font.shx");
}

TEST_F(FindFileTest, AbsoluteAndBackslashPathsAreTestedAsGiven) {
  std::u16string abs = dir.wide("font.shx");
  EXPECT_EQ(find(2, abs.c_str()).out, abs);
  std::u16string back = abs;
  for (auto& c : back)
    if (c == u'/') c = u'\\';
  // The name is copied unchanged, backslashes and all.
  EXPECT_EQ(find(2, back.c_str()).out, back);
}

// A host whose substitute-font service records its call, to see slot 65 forward to it.
struct FontHost : KelHostApp {
  using KelHostApp::getSubstituteFont;
  int getSubstituteFont(char16_t** fileName, const char16_t* prompt, int type, int alt) override {
    seenFile = fileName;
    seenPrompt = prompt;
    seenType = type;
    seenAlt = alt;
    return 4242;
  }
  char16_t** seenFile = nullptr;
  const char16_t* seenPrompt = nullptr;
  int seenType = 0, seenAlt = 0;
};

TEST(KelHostApp, FixedAnswersOfTheOverriddenServices) {
  KelHostApp host;
  EXPECT_EQ(host.registerSelectFileCallback(u"app", reinterpret_cast<void*>(0x1234), true, false),
            Acad::eNotInitializedYet);
  EXPECT_EQ(host.registerSelectFileCallback(nullptr, nullptr), Acad::eNotInitializedYet);
  EXPECT_EQ(host.workingGlobalsData(), nullptr);

  FontHost font;
  char16_t prompt[] = u"Choose a font";
  char16_t* file = nullptr;
  AcDbHostApplicationServices& base = font;
  EXPECT_EQ(base.getSubstituteFont(&file, prompt, 3, 7), 4242);
  EXPECT_EQ(font.seenFile, &file);
  EXPECT_EQ(font.seenPrompt, prompt);
  EXPECT_EQ(font.seenType, 3);
  EXPECT_EQ(font.seenAlt, 7);
}

TEST(KelHostApp, CorruptDrawingNoticeGoesToStandardOutputOncePerCall) {
  KelHostApp host;
  bool answer = false;
  std::string out = kel::test::captureFd(1, [&] {
    answer = host.notifyCorruptDrawingFoundOnOpen(0x1234, 7);
    host.notifyCorruptDrawingFoundOnOpen(0, 0);
  });
  EXPECT_TRUE(answer);
  EXPECT_EQ(out, "Corrupt drawing detected!\n\nCorrupt drawing detected!\n\n");
}

// The destructor takes two table entries in this ABI, so position n of the host services sits at
// entry n + 1.
using kel::test::tableEntryOf;

TEST(KelHostApp, TablePositionsOfTheServicesItProvides) {
  using H = AcDbHostApplicationServices;
  EXPECT_EQ(tableEntryOf(&H::isA), 1u + 1);
  EXPECT_EQ(tableEntryOf(&H::subQueryX), 6u + 1);
  EXPECT_EQ(tableEntryOf(&H::findFile), 7u + 1);
  EXPECT_EQ(tableEntryOf(&H::selectFile), 12u + 1);
  EXPECT_EQ(tableEntryOf(&H::registerSelectFileCallback), 13u + 1);
  EXPECT_EQ(tableEntryOf(&H::registerMapFileCallback), 17u + 1);
  EXPECT_EQ(tableEntryOf(&H::defaultUndoController), 36u + 1);
  EXPECT_EQ(tableEntryOf(&H::workingGlobalsData), 37u + 1);
  EXPECT_EQ(tableEntryOf(&H::createWorkingGlobals), 38u + 1);
  EXPECT_EQ(tableEntryOf(static_cast<int (H::*)(char16_t**, char16_t*, int, int)>(&H::getSubstituteFont)), 65u + 1);
  EXPECT_EQ(tableEntryOf(static_cast<int (H::*)(char16_t**, const char16_t*, int, int)>(&H::getSubstituteFont)), 66u + 1);
  EXPECT_EQ(tableEntryOf(&H::requiredVersionNotAvailable), 82u + 1);
  EXPECT_EQ(tableEntryOf(&H::notifyCorruptDrawingFoundOnOpen), 83u + 1);
}

}  // namespace

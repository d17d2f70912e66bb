// The conversions and their guarded writes, row by row of their failure tables, through the real
// code paths with the engine seam (statuses, throws, recorded calls) and the shell seam.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/convert.h"
#include "engine/acdbhost.h"
#include "engine/sdk_seam.h"
#include "platform/crt.h"
#include "platform/shell.h"
#include "platform/utf.h"
#include "tests/support/temp_dir.h"

namespace {

using kel::sdk::Op;
using Settings = std::vector<int64_t>;

class ConvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    seam->record = true;
    kel::sdk::setPrintSink([this](const std::u16string& line) { printed.push_back(plat::toUtf8(line)); });
    plat::setShellOperation([this](plat::SHFILEOPSTRUCTW* op) {
      shellFlags.push_back(op->fFlags);
      std::string from = plat::toPosixPath(op->pFrom);
      shellNames.push_back(from);
      if (shellAnswer == 0) std::filesystem::rename(from, dir.str("recycled"));
      return shellAnswer;
    });
    dxf = dir.wide("in.dxf");
    dwg = dir.wide("out.dwg");
    bak = dir.wide("out.bak");
    kel::test::writeFile(dir.str("in.dxf"), "0\nEOF\n");
  }
  void TearDown() override {
    kel::sdk::setPrintSink(nullptr);
    plat::setShellOperation(nullptr);
    plat::crtHooks() = {};
  }
  // Import and save succeed unless a test says otherwise.
  void engineSucceeds() {
    seam->inject(Op::DxfIn, Acad::eOk);
    seam->inject(Op::SaveAs, Acad::eOk);
    seam->inject(Op::DxfOut, Acad::eOk);
  }
  bool run(int32_t* status, const char16_t* backup = nullptr, const char16_t* reexport = nullptr,
           bool keep = false, bool force = false, const char16_t* target = nullptr, bool noTarget = false) {
    return dxfToDwg(dxf.c_str(), noTarget ? nullptr : (target ? target : dwg.c_str()), backup, status,
                    nullptr, reexport, keep, force);
  }
  std::string u8(const std::u16string& s) { return plat::toUtf8(s); }

  kel::sdk::SeamScope seam;
  kel::test::TempDir dir;
  std::u16string dxf, dwg, bak;
  std::vector<std::string> printed, shellNames;
  std::vector<uint16_t> shellFlags;
  int shellAnswer = 0;
};

// ---- guarded writes ----

TEST_F(ConvertTest, GuardedWritesSuspendTheFourSettingsAndRestoreThem) {
  std::unique_ptr<AcDbDatabase> db(new AcDbDatabase(false, true));
  db->setSaveproxygraphics(7);
  db->setIndexctl(2);
  db->setDrawOrderCtl(3);
  db->setUpdateThumbnail(1);
  for (bool throwIt : {false, true}) {
    for (Op op : {Op::SaveAs, Op::DxfOut}) {
      seam->calls.clear();
      if (throwIt) seam->injectThrow(op); else seam->inject(op, Acad::eDwgNeedsAFullSave);
      Acad::ErrorStatus es = op == Op::SaveAs ? saveAsWithSettings(db.get(), dwg.c_str(), false)
                                              : dxfOutWithSettings(db.get(), dwg.c_str(), false);
      EXPECT_EQ(es, throwIt ? Acad::eNoInputFiler : Acad::eDwgNeedsAFullSave);
      auto writes = seam->callsOf(op);
      ASSERT_EQ(writes.size(), 1u);
      EXPECT_EQ(writes[0].settings, (Settings{0, 0, 0, 0}));
      EXPECT_EQ(db->saveproxygraphics(), 7);
      EXPECT_EQ(db->indexctl(), 2);
      EXPECT_EQ(db->drawOrderCtl(), 3);
      EXPECT_EQ(db->updateThumbnail(), 1);
      // Setters run in the fixed order: zero all four, then the saved values.
      std::vector<Op> setters;
      std::vector<int64_t> values;
      for (const auto& c : seam->calls)
        if (c.op == Op::SetSaveproxygraphics || c.op == Op::SetIndexctl || c.op == Op::SetDrawOrderCtl ||
            c.op == Op::SetUpdateThumbnail) {
          setters.push_back(c.op);
          values.push_back(c.values[0]);
        }
      std::vector<Op> order{Op::SetSaveproxygraphics, Op::SetIndexctl, Op::SetDrawOrderCtl, Op::SetUpdateThumbnail};
      std::vector<Op> twice = order;
      twice.insert(twice.end(), order.begin(), order.end());
      EXPECT_EQ(setters, twice);
      EXPECT_EQ(values, (std::vector<int64_t>{0, 0, 0, 0, 7, 2, 3, 1}));
    }
  }
}

TEST_F(ConvertTest, KeepingSettingsCallsNoSetterAndWritesTheOwnValues) {
  std::unique_ptr<AcDbDatabase> db(new AcDbDatabase(false, true));
  db->setSaveproxygraphics(5);
  seam->calls.clear();
  seam->inject(Op::DxfOut, Acad::eOk);
  EXPECT_EQ(dxfOutWithSettings(db.get(), dwg.c_str(), true), Acad::eOk);
  auto writes = seam->callsOf(Op::DxfOut);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].settings[0], 5);
  EXPECT_EQ(writes[0].values, (std::vector<int64_t>{16, AcDb::kDHL_1027, false}));
  EXPECT_TRUE(seam->callsOf(Op::SetSaveproxygraphics).empty());
  EXPECT_TRUE(seam->callsOf(Op::SetUpdateThumbnail).empty());
}

TEST_F(ConvertTest, SetterFailureIsNotHiddenByTheGuard) {
  std::unique_ptr<AcDbDatabase> db(new AcDbDatabase(false, true));
  seam->injectThrow(Op::SetIndexctl);
  EXPECT_THROW(saveAsWithSettings(db.get(), dwg.c_str(), false), kel::sdk::InjectedFailure);
}

TEST_F(ConvertTest, TheOneDwgSaveIsBackupAndRenameVersion31) {
  std::unique_ptr<AcDbDatabase> db(new AcDbDatabase(false, true));
  seam->inject(Op::SaveAs, Acad::eOk);
  EXPECT_EQ(saveAsCurrent(db.get(), dwg.c_str(), nullptr), Acad::eOk);
  auto c = seam->callsOf(Op::SaveAs).at(0);
  EXPECT_EQ(c.texts[0], dwg);
  EXPECT_EQ(c.values, (std::vector<int64_t>{true, 31, false}));
}

// ---- DXF to DWG ----

TEST_F(ConvertTest, DxfToDwgWithoutDatabaseReturnsAtOnce) {
  seam->failRawAlloc = true;
  int32_t status = -7;
  EXPECT_FALSE(run(&status));
  EXPECT_EQ(status, -7);
  EXPECT_TRUE(printed.empty());
}

TEST_F(ConvertTest, DxfToDwgImportFailureOrThrow) {
  kel::test::writeFile(dir.str("out.dwg"), "old");
  int32_t status = 0;
  seam->inject(Op::DxfIn, Acad::eDxfPartiallyRead);
  EXPECT_FALSE(run(&status));
  EXPECT_EQ(status, Acad::eDxfPartiallyRead);
  EXPECT_TRUE(printed.empty());
  EXPECT_TRUE(shellNames.empty());
  EXPECT_EQ(kel::test::readFile(dir.str("out.dwg")), "old");

  seam->injectThrow(Op::DxfIn);
  EXPECT_FALSE(run(&status));
  EXPECT_EQ(status, Acad::eInvalidInput);
  EXPECT_FALSE(run(&status, nullptr, nullptr, false, false, nullptr, /*noTarget*/ true));
  ASSERT_EQ(printed.size(), 2u);
  EXPECT_EQ(printed[0], "\nCannot validate " + u8(dwg));
  EXPECT_EQ(printed[1], "\nCannot validate " + u8(dxf));
  EXPECT_TRUE(seam->callsOf(Op::SaveAs).empty());
  EXPECT_EQ(seam->callsOf(Op::DeleteDatabase).size(), 3u);
}

TEST_F(ConvertTest, DxfToDwgWithoutTargetOnlyImports) {
  seam->inject(Op::DxfIn, Acad::eOk);
  int32_t status = -1;
  EXPECT_TRUE(run(&status, bak.c_str(), u"re.dxf", false, true, nullptr, true));
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(seam->callsOf(Op::SaveAs).empty());
  EXPECT_TRUE(seam->callsOf(Op::DxfOut).empty());
  EXPECT_TRUE(shellNames.empty());
}

TEST_F(ConvertTest, DxfToDwgRecyclesExistingTarget) {
  engineSucceeds();
  kel::test::writeFile(dir.str("out.dwg"), "old");
  int32_t status = -1;
  EXPECT_TRUE(run(&status));
  EXPECT_EQ(status, 0);
  ASSERT_EQ(shellFlags.size(), 1u);
  EXPECT_EQ(shellFlags[0], 0x50D4);
  EXPECT_EQ(shellNames[0], dir.str("out.dwg"));
  auto save = seam->callsOf(Op::SaveAs).at(0);
  EXPECT_EQ(save.settings, (Settings{0, 0, 0, 0}));
  // The recycle happens after the import and before the save.
  size_t dxfIn = 0, saveAs = 0;
  for (size_t i = 0; i < seam->calls.size(); ++i) {
    if (seam->calls[i].op == Op::DxfIn) dxfIn = i;
    if (seam->calls[i].op == Op::SaveAs) saveAs = i;
  }
  EXPECT_LT(dxfIn, saveAs);
}

TEST_F(ConvertTest, DxfToDwgCannotRecycleWithoutBackupPath) {
  engineSucceeds();
  kel::test::writeFile(dir.str("out.dwg"), "old");
  shellAnswer = plat::DE_ACCESSDENIED;
  for (bool force : {false, true}) {  // forceBackup means nothing without a backup path
    printed.clear();
    int32_t status = -9;
    EXPECT_FALSE(run(&status, nullptr, nullptr, false, force));
    EXPECT_EQ(status, -9);
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_EQ(printed[0], "\nCannot move existing DWG file to recycle bin: " + u8(dwg) + ".");
  }
  EXPECT_EQ(shellNames.size(), 2u);
  EXPECT_TRUE(seam->callsOf(Op::SaveAs).empty());
  EXPECT_EQ(kel::test::readFile(dir.str("out.dwg")), "old");
}

TEST_F(ConvertTest, DxfToDwgBackupPathUntouchedWhenRecycled) {
  engineSucceeds();
  kel::test::writeFile(dir.str("out.dwg"), "old");
  kel::test::writeFile(dir.str("out.bak"), "older");
  int32_t status = -1;
  EXPECT_TRUE(run(&status, bak.c_str()));
  EXPECT_EQ(kel::test::readFile(dir.str("out.bak")), "older");
  EXPECT_EQ(kel::test::readFile(dir.str("recycled")), "old");
}

TEST_F(ConvertTest, DxfToDwgBacksUpWhenRecyclingFailsOrIsSkipped) {
  engineSucceeds();
  for (bool force : {false, true}) {
    shellNames.clear();
    shellAnswer = plat::DE_ACCESSDENIED;
    kel::test::writeFile(dir.str("out.dwg"), "old");
    kel::test::writeFile(dir.str("out.bak"), "older");
    int32_t status = -1;
    EXPECT_TRUE(run(&status, bak.c_str(), nullptr, false, force));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(shellNames.size(), force ? 0u : 1u);
    EXPECT_EQ(kel::test::readFile(dir.str("out.bak")), "old");
    EXPECT_FALSE(kel::test::exists(dir.str("out.dwg")));  // the engine's save was injected
  }
}

TEST_F(ConvertTest, DxfToDwgFailedBackupRename) {
  engineSucceeds();
  kel::test::writeFile(dir.str("out.dwg"), "old");
  plat::crtHooks().wrename = [](const char16_t*, const char16_t*) { return -1; };
  int32_t status = -9;
  EXPECT_FALSE(run(&status, bak.c_str(), nullptr, false, true));
  EXPECT_EQ(status, -9);
  ASSERT_EQ(printed.size(), 1u);
  EXPECT_EQ(printed[0], "\nCannot backup existing DWG file: " + u8(dwg) + " to " + u8(bak) + ".");
  EXPECT_TRUE(seam->callsOf(Op::SaveAs).empty());
  EXPECT_EQ(seam->callsOf(Op::DeleteDatabase).size(), 1u);
}

TEST_F(ConvertTest, DxfToDwgReexportIsBestEffort) {
  engineSucceeds();
  int32_t status = -1;
  EXPECT_TRUE(run(&status, nullptr, u""));
  EXPECT_TRUE(seam->callsOf(Op::DxfOut).empty());

  std::u16string re = dir.wide("re.dxf");
  seam->inject(Op::DxfOut, Acad::eFileAccessErr);
  EXPECT_TRUE(run(&status, nullptr, re.c_str(), true));
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(printed.empty());
  auto out = seam->callsOf(Op::DxfOut);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].texts[0], re);

  seam->injectThrow(Op::DxfOut);
  EXPECT_TRUE(run(&status, nullptr, re.c_str()));
}

TEST_F(ConvertTest, DxfToDwgSaveFailureOrThrow) {
  seam->inject(Op::DxfIn, Acad::eOk);
  seam->inject(Op::SaveAs, Acad::eFileAccessErr);
  int32_t status = 0;
  EXPECT_FALSE(run(&status));
  EXPECT_EQ(status, Acad::eFileAccessErr);
  seam->injectThrow(Op::SaveAs);
  EXPECT_FALSE(run(&status));
  EXPECT_EQ(status, Acad::eNoInputFiler);
  EXPECT_EQ(printed, (std::vector<std::string>(2, "\nCould not write " + u8(dwg) + ".")));
}

TEST_F(ConvertTest, DxfToDwgPassesLogPathAndAcceptsNullStatus) {
  engineSucceeds();
  std::u16string log = dir.wide("in.log");
  EXPECT_TRUE(dxfToDwg(dxf.c_str(), dwg.c_str(), nullptr, nullptr, log.c_str(), nullptr, false, false));
  auto in = seam->callsOf(Op::DxfIn).at(0);
  EXPECT_EQ(in.texts, (std::vector<std::u16string>{dxf, log}));
}

// ---- DWG to DXF ----

TEST_F(ConvertTest, DwgToDxfReadFailureTable) {
  for (bool throwIt : {false, true}) {
    printed.clear();
    if (throwIt) seam->injectThrow(Op::ReadDwgOpenMode);
    else seam->inject(Op::ReadDwgOpenMode, Acad::eDwgNeedsRecovery);
    int32_t status = 0;
    uint64_t before = 5, after = 6;
    EXPECT_FALSE(dwgToDxf(dwg.c_str(), dxf.c_str(), &status, nullptr, &before, &after, false));
    EXPECT_EQ(status, throwIt ? Acad::eNoInputFiler : Acad::eDwgNeedsRecovery);
    EXPECT_EQ(before, 0u);
    EXPECT_EQ(after, 0u);
    EXPECT_EQ(printed, (std::vector<std::string>{"\nCould not read " + u8(dwg) + ".",
                                                 "\nCould not saveas DXFOUT to " + u8(dxf) + "."}));
  }
  auto read = seam->callsOf(Op::ReadDwgOpenMode).at(0);
  EXPECT_EQ(read.values, (std::vector<int64_t>{4, false}));
  EXPECT_EQ(read.texts[1], u"<null>");
  EXPECT_TRUE(seam->callsOf(Op::DxfOut).empty());
}

TEST_F(ConvertTest, DwgToDxfExportFailureStillReportsReadStatusAndSeeds) {
  seam->inject(Op::ReadDwgOpenMode, Acad::eOk);
  seam->getterValues[Op::Handseed] = 0x1F4;
  for (bool throwIt : {false, true}) {
    printed.clear();
    if (throwIt) seam->injectThrow(Op::DxfOut); else seam->inject(Op::DxfOut, Acad::eFileAccessErr);
    int32_t status = -1;
    uint64_t before = 0, after = 0;
    EXPECT_FALSE(dwgToDxf(dwg.c_str(), dxf.c_str(), &status, nullptr, &before, &after, false));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(before, 0x1F4u);
    EXPECT_EQ(after, 0x1F4u);
    EXPECT_EQ(printed, (std::vector<std::string>{"\nCould not saveas DXFOUT to " + u8(dxf) + "."}));
  }
}

TEST_F(ConvertTest, DwgToDxfSuccessTakesSeedsAroundTheExport) {
  seam->inject(Op::ReadDwgOpenMode, Acad::eOk);
  seam->inject(Op::DxfOut, Acad::eOk);
  int32_t status = -1;
  uint64_t before = 0, after = 0;
  EXPECT_TRUE(dwgToDxf(dwg.c_str(), dxf.c_str(), &status, reinterpret_cast<void*>(0x99), &before, &after, true));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(before, after);
  EXPECT_GT(before, 0u);
  // handseed is asked once before and once after the export.
  std::vector<Op> seq;
  for (const auto& c : seam->calls)
    if (c.op == Op::Handseed || c.op == Op::DxfOut) seq.push_back(c.op);
  EXPECT_EQ(seq, (std::vector<Op>{Op::Handseed, Op::DxfOut, Op::Handseed}));
  EXPECT_TRUE(dwgToDxf(dwg.c_str(), dxf.c_str(), nullptr, nullptr, nullptr, nullptr, false));
  EXPECT_TRUE(printed.empty());
}

// ---- DWG re-save ----

TEST_F(ConvertTest, ResaveTable) {
  std::u16string src = dir.wide("src.dwg");
  seam->inject(Op::ReadDwgShareMode, Acad::eDwgCRCDoesNotMatch);
  EXPECT_FALSE(resaveDwg(src.c_str(), dwg.c_str(), reinterpret_cast<void*>(0xDEAD)));
  EXPECT_EQ(printed, (std::vector<std::string>{"\nCould not read " + u8(src) + ".",
                                               "\nCould not SAVEAS to " + u8(dwg) + "."}));
  EXPECT_EQ(seam->callsOf(Op::ReadDwgShareMode).at(0).values, (std::vector<int64_t>{32, false}));

  printed.clear();
  seam->inject(Op::ReadDwgShareMode, Acad::eOk);
  seam->inject(Op::SaveAs, Acad::eFileAccessErr);
  EXPECT_FALSE(resaveDwg(src.c_str(), dwg.c_str(), nullptr));
  EXPECT_EQ(printed, (std::vector<std::string>{"\nCould not SAVEAS to " + u8(dwg) + "."}));

  printed.clear();
  seam->calls.clear();
  seam->inject(Op::SaveAs, Acad::eOk);
  EXPECT_TRUE(resaveDwg(src.c_str(), dwg.c_str(), nullptr));
  EXPECT_TRUE(printed.empty());
  // No suspension: the settings are written as read.
  EXPECT_TRUE(seam->callsOf(Op::SetSaveproxygraphics).empty());
  EXPECT_EQ(seam->callsOf(Op::SaveAs).at(0).values, (std::vector<int64_t>{true, 31, false}));
}

TEST_F(ConvertTest, ResaveLetsEngineExceptionsThroughButReleasesTheDatabase) {
  seam->injectThrow(Op::ReadDwgShareMode);
  EXPECT_THROW(resaveDwg(dwg.c_str(), dwg.c_str(), nullptr), kel::sdk::InjectedFailure);
  EXPECT_EQ(seam->callsOf(Op::DeleteDatabase).size(), 1u);
  seam->failRawAlloc = true;
  EXPECT_FALSE(resaveDwg(dwg.c_str(), dwg.c_str(), nullptr));
  EXPECT_FALSE(dwgToDxf(dwg.c_str(), dxf.c_str(), nullptr, nullptr, nullptr, nullptr, false));
}

}  // namespace

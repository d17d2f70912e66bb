// Every DXF of the shared corpus goes through import and AC1027 export. Our own reader must read
// the export back to the same description; with ezdxf installed (python3-ezdxf), the independent
// checker must find each export clean and equal to its source (tests/engine/dxf_corpus.py).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "engine/dbmain.h"
#include "engine/info.h"
#include "tests/engine/dxf_test_util.h"

namespace fs = std::filesystem;
using kel::test::readFile;
using kel::test::TempDir;

namespace {
std::vector<fs::path> corpusFiles() {
  std::vector<fs::path> files;
  for (const char* sub : {"dxf", "dxf-ref"}) {
    fs::path dir = fs::path(KEL_SHARED_DIR) / "corpus" / sub;
    if (!fs::exists(dir)) continue;
    for (const auto& e : fs::directory_iterator(dir))
      if (e.path().extension() == ".dxf") files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}
// The description without its version field (the export is AC1027 whatever the source was).
std::string withoutVersion(std::string s) {
  size_t at = s.find("\"version\":\"AC");
  if (at != std::string::npos) s.erase(at, 18);
  return s;
}
}  // namespace

TEST(DxfCorpus, EveryFileRoundTrips) {
  auto files = corpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus under " << KEL_SHARED_DIR;
  TempDir dir;
  std::ofstream pairs(dir.file("pairs.tsv"));
  size_t done = 0;
  for (const auto& src : files) {
    SCOPED_TRACE(src.string());
    std::string outName = src.parent_path().filename().string() + "_" + src.filename().string();
    std::u16string in = plat::fromUtf8(src.string()), out = dir.wfile(outName);
    AcDbDatabase db(false, true);
    ASSERT_EQ(db.dxfIn(in.c_str(), nullptr), Acad::eOk);
    ASSERT_EQ(db.dxfOut(out.c_str(), 16, AcDb::kDHL_1027, false), Acad::eOk);
    AcDbDatabase back(false, true);
    ASSERT_EQ(back.dxfIn(out.c_str(), nullptr), Acad::eOk);
    EXPECT_EQ(withoutVersion(kel::engine::describe(back, true)), withoutVersion(kel::engine::describe(db, true)));
    EXPECT_EQ(back.handseed().value(), db.handseed().value());
    pairs << src.string() << "\t" << dir.file(outName) << "\n";
    ++done;
  }
  pairs.close();
  EXPECT_EQ(done, files.size());

  if (std::system("/usr/bin/python3 -c 'import ezdxf' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "python3-ezdxf not installed: independent audit skipped";
  std::string cmd = "/usr/bin/python3 " KEL_SOURCE_DIR "/tests/engine/dxf_corpus.py " KEL_SHARED_DIR "/oracles " +
                    dir.file("pairs.tsv") + " > " + dir.file("audit.jsonl") + " 2>&1";
  int rc = std::system(cmd.c_str());
  std::string report = readFile(dir.file("audit.jsonl"));
  std::string expected = "PASS " + std::to_string(files.size()) + "/" + std::to_string(files.size());
  EXPECT_NE(report.find(expected), std::string::npos) << report;
  EXPECT_EQ(rc, 0) << report;
}

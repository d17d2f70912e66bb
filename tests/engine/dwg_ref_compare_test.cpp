// DWG -> DXF against the reference DXF of the same drawings (corpus/dxf-ref, paired through its
// MANIFEST): every difference the independent checker finds must be one of the known ones in
// data/dwg_ref_known.tsv (each with its reason). Skipped without python3-ezdxf.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/dbmain.h"
#include "platform/utf.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using kel::test::TempDir;
using kel::test::readFile;

TEST(DwgRefCompare, ExportsMatchTheReferenceDxfExceptTheKnownDifferences) {
  const fs::path refDir = fs::path(KEL_SHARED_DIR) / "corpus" / "dxf-ref";
  std::ifstream manifest(refDir / "MANIFEST.tsv");
  if (!manifest) GTEST_SKIP() << "no reference corpus";
  TempDir dir;
  std::ofstream pairs(dir.str("pairs.tsv"));
  std::string line;
  std::getline(manifest, line);  // header: file, version, ..., paired DWG (7th column)
  size_t n = 0;
  while (std::getline(manifest, line)) {
    std::vector<std::string> cols;
    std::stringstream ss(line);
    for (std::string c; std::getline(ss, c, '\t');) cols.push_back(c);
    if (cols.size() < 7 || cols[6].empty()) continue;
    const fs::path dwg = fs::path(KEL_SHARED_DIR) / "corpus" / "dwg" / cols[6];
    SCOPED_TRACE(dwg.string());
    AcDbDatabase db(false, true);
    ASSERT_EQ(db.readDwgFile(plat::fromUtf8(dwg.string()).c_str(), 32, false, nullptr), Acad::eOk);
    std::u16string out = dir.wide(cols[0]);
    ASSERT_EQ(db.dxfOut(out.c_str(), 16, AcDb::kDHL_1027, false), Acad::eOk);
    pairs << (refDir / cols[0]).string() << "\t" << dir.str(cols[0]) << "\n";
    ++n;
  }
  pairs.close();
  ASSERT_GT(n, 30u);
  if (std::system("/usr/bin/python3 -c 'import ezdxf' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "python3-ezdxf not installed: independent comparison skipped";
  // KEL_RECORD=1 prints every current difference as a line of the known file (reason empty).
  const bool record = std::getenv("KEL_RECORD") != nullptr;
  std::string cmd = "/usr/bin/python3 " KEL_SOURCE_DIR "/tests/engine/dwg_ref_compare.py " KEL_SHARED_DIR
                    "/oracles " + dir.str("pairs.tsv") + " " KEL_SOURCE_DIR "/tests/engine/data/dwg_ref_known.tsv" +
                    (record ? " --record" : "") + " > " + dir.str("compare.jsonl") + " 2>&1";
  int rc = std::system(cmd.c_str());
  std::string report = readFile(dir.str("compare.jsonl"));
  if (record) {
    std::printf("%s", report.c_str());
    return;
  }
  size_t at = report.rfind("PASS ");
  std::printf("[ dxf-ref ] %s", at == std::string::npos ? "no summary\n" : report.substr(at).c_str());
  EXPECT_EQ(rc, 0) << report;
}

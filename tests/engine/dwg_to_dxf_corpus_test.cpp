// DWG -> DXF over the whole corpus, checked by the independent ezdxf-based checker (skipped when
// /usr/bin/python3 has no ezdxf). Two passes: the drawings as read, whose pass count is reported,
// and the same drawings without the records the reader keeps as raw bytes (those have only their
// common groups, no DXF form yet), which must pass the strict check: that holds what the reader
// does decode to a DXF another program accepts.
#include <gtest/gtest.h>

#include "engine/model/structure.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "engine/dwg/read_dwg.h"
#include "engine/dxf/dxf.h"
#include "engine/model/drawing.h"

namespace {

namespace fs = std::filesystem;
using kel::engine::Drawing;
using kel::engine::Object;

std::string run(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

TEST(DwgToDxfCorpus, DecodedRecordsPassTheStrictCheck) {
  if (run("/usr/bin/python3 -c 'import ezdxf; print(1)' 2>/dev/null") != "1\n")
    GTEST_SKIP() << "no ezdxf for /usr/bin/python3";
  const fs::path corpus = fs::path(KEL_SHARED_DIR) / "corpus" / "dwg";
  const fs::path out = fs::temp_directory_path() / ("kel_dwg2dxf_" + std::to_string(getpid()));
  fs::create_directories(out);
  const fs::path decodedOut = out / "decoded";
  fs::create_directories(decodedOut);
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    if (entry.path().extension() != ".dwg") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Drawing d;
    ASSERT_EQ(kel::dwg::readDwgBytes(d, bytes), Acad::eOk) << entry.path();
    std::string name = entry.path().stem().string() + ".dxf";
    std::ofstream(out / name, std::ios::binary) << kel::engine::dxf::dxfText(d, 16);
    kel::engine::dropRawRecords(d);
    std::ofstream(decodedOut / name, std::ios::binary) << kel::engine::dxf::dxfText(d, 16);
    ++files;
  }
  ASSERT_GT(files, 100u);
  auto check = [&](const fs::path& dir, std::string* failures) {
    std::string report = run("cd '" + dir.string() + "' && /usr/bin/python3 " + KEL_SHARED_DIR +
                             "/oracles/dxfcheck.py --strict --expect-version AC1027 *.dxf 2>&1");
    size_t passed = 0;
    size_t pos = 0;
    while (pos < report.size()) {
      size_t end = report.find('\n', pos);
      if (end == std::string::npos) end = report.size();
      std::string line = report.substr(pos, end - pos);
      pos = end + 1;
      if (line.find("\"file\": \"") == std::string::npos) continue;
      if (line.find("\"ok\": true") != std::string::npos) ++passed;
      else if (failures) *failures += line + "\n";
    }
    return passed;
  };
  std::string failures;
  size_t asRead = check(out, nullptr);
  size_t decoded = check(decodedOut, &failures);
  std::printf("DWG -> DXF strict check: %zu of %zu as read, %zu of %zu without the raw records\n", asRead, files,
              decoded, files);
  // KEL_DXF_REPORT=<file> writes every failure there.
  if (const char* v = std::getenv("KEL_DXF_REPORT"); v && *v) std::ofstream(v) << failures;
  // 2 files still fail: dimensions of a dynamic-block drawing that name no geometry block, and
  // an R13 solid-history XRECORD whose data names a raw record this pass leaves out. The count
  // may only grow.
  EXPECT_GE(decoded, 142u) << failures.substr(0, 6000);
  fs::remove_all(out);
}

}  // namespace

// DWG -> DXF over the whole corpus, checked by the independent ezdxf-based checker (skipped when
// /usr/bin/python3 has no ezdxf). Two passes: the drawings as read, whose pass count is reported,
// and the same drawings without the records the reader keeps as raw bytes (those have only their
// common groups, no DXF form yet), which must pass the strict check: that holds what the reader
// does decode to a DXF another program accepts.
#include <gtest/gtest.h>

#include "engine/model/structure.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "engine/dwg/read_dwg.h"
#include "engine/dwg/write_dwg.h"
#include "engine/dxf/dxf.h"
#include "engine/model/drawing.h"
#include "tests/engine/dwg_family_test_util.h"

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
  // Every file passes; the count may not fall.
  EXPECT_GE(decoded, 144u) << failures.substr(0, 6000);
  fs::remove_all(out);
}

// Handles in extended data (1005) name records of the drawing, in every release, and keep their
// value through a DWG save and read.
TEST(DwgToDxfCorpus, ExtendedDataHandlesNameRecordsOfTheDrawing) {
  const fs::path corpus = fs::path(KEL_SHARED_DIR) / "corpus" / "dwg";
  size_t checked = 0;
  for (const char* name : {"libredwg_2000_Leader.dwg", "libredwg_2007_Leader.dwg", "libredwg_2018_Leader.dwg",
                           "libredwg_example_r13.dwg"}) {
    SCOPED_TRACE(name);
    Drawing d;
    if (kel::dwg::readDwgBytes(d, kel::test::load(corpus / name)) != Acad::eOk) continue;
    std::set<kel::engine::Handle> handles;
    d.forEachObject([&](const Object& o) { handles.insert(o.handle); });
    std::vector<kel::engine::Handle> refs;
    d.forEachObject([&](const Object& o) {
      for (const auto& t : o.xdata)
        if (t.code == 1005) refs.push_back(kel::engine::Handle(t.i));
    });
    for (kel::engine::Handle h : refs) EXPECT_TRUE(h == 0 || handles.count(h)) << std::hex << h;
    checked += refs.size();
    std::vector<uint8_t> file;
    ASSERT_EQ(kel::dwg::writeDwgBytes(d, file), Acad::eOk);
    Drawing back;
    ASSERT_EQ(kel::dwg::readDwgBytes(back, file), Acad::eOk);
    std::vector<kel::engine::Handle> again;
    back.forEachObject([&](const Object& o) {
      for (const auto& t : o.xdata)
        if (t.code == 1005) again.push_back(kel::engine::Handle(t.i));
    });
    std::sort(refs.begin(), refs.end());
    std::sort(again.begin(), again.end());
    EXPECT_EQ(refs, again);
  }
  EXPECT_GT(checked, 0u);
}

// The proxy objects an R13 file holds (a solid's history) export as ACAD_PROXY_OBJECT with their
// class, data and references as the reference DXF of the drawing has them, so the solid-history
// record that names one keeps a reference that resolves.
TEST(DwgToDxfCorpus, EarlierReleaseProxiesExportWithTheirClassAndData) {
  Drawing d;
  ASSERT_EQ(kel::dwg::readDwgBytes(d, kel::test::load(fs::path(KEL_SHARED_DIR) / "corpus" / "dwg" /
                                                      "libredwg_example_r13.dwg")),
            Acad::eOk);
  kel::engine::dropRawRecords(d);
  const Object* history = d.objectByHandle(0x2E4);
  ASSERT_NE(history, nullptr);
  EXPECT_EQ(history->type, "ACAD_PROXY_OBJECT");
  EXPECT_EQ(history->integer(90), 499);
  EXPECT_EQ(history->integer(91), 535);
  EXPECT_EQ(history->integer(93), 32);
  const kel::engine::Tag* data = history->find(310);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->s, std::string("\x48\x51\xD4\x04"));
  const kel::engine::Tag* owned = history->find(360);
  ASSERT_NE(owned, nullptr);
  EXPECT_EQ(owned->i, 0x2E3);
  EXPECT_GE(kel::test::ofType(d, "ACAD_PROXY_OBJECT").size(), 13u);  // the file holds 13
  // The XRECORD of the solid's history still names it.
  bool named = false;
  d.forEachObject([&](const Object& o) {
    if (o.type != "XRECORD") return;
    for (const auto& t : o.body) named = named || (t.code == 360 && t.i == 0x2E4);
  });
  EXPECT_TRUE(named);
}

}  // namespace

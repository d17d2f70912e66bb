// DWG -> DXF over the whole corpus, checked by the independent ezdxf-based checker (skipped when
// /usr/bin/python3 has no ezdxf). Two passes: the drawings as read, whose pass count is reported,
// and the same drawings without the records the reader keeps as raw bytes (those have only their
// common groups, no DXF form yet), which must pass the strict check: that holds what the reader
// does decode to a DXF another program accepts.
#include <gtest/gtest.h>

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

// Leaves out the records kept raw with what they own, and the dictionary entries, reactors,
// extension dictionaries and pointers that name them.
void dropRawRecords(Drawing& d) {
  std::set<kel::engine::Handle> raw;
  d.forEachObject([&](Object& o) {
    if (!o.dwgRaw.empty()) raw.insert(o.handle);
  });
  if (raw.empty()) return;
  // And what they own (their extension dictionaries and the records under those).
  for (size_t before = 0; before != raw.size();) {
    before = raw.size();
    d.forEachObject([&](Object& o) {
      if (raw.count(o.owner)) raw.insert(o.handle);
    });
  }
  auto isRaw = [&](const Object& o) { return raw.count(o.handle) > 0; };
  std::erase_if(d.entities, isRaw);
  for (auto& b : d.blocks) std::erase_if(b.entities, isRaw);
  std::erase_if(d.objects, isRaw);
  for (auto& t : d.tables) std::erase_if(t.entries, isRaw);
  d.forEachObject([&](Object& o) {
    std::erase_if(o.reactors, [&](kel::engine::Handle h) { return raw.count(h) > 0; });
    if (raw.count(o.xdict)) o.xdict = 0;
    // Pointers to them (a layer's material, a viewport's visual style) go too.
    std::erase_if(o.body, [&](const kel::engine::Tag& t) {
      return t.kind == kel::engine::ValueKind::Handle && t.code != 350 && t.code != 360 &&
             raw.count(kel::engine::Handle(t.i)) > 0;
    });
    if (o.type != "DICTIONARY" && o.type != "ACDBDICTIONARYWDFLT") return;
    for (size_t i = 0; i + 1 < o.body.size(); ++i) {
      const auto& v = o.body[i + 1];
      if (o.body[i].code == 3 && (v.code == 350 || v.code == 360) && raw.count(kel::engine::Handle(v.i))) {
        o.body.erase(o.body.begin() + std::ptrdiff_t(i), o.body.begin() + std::ptrdiff_t(i) + 2);
        --i;
      }
    }
  });
}

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
    dropRawRecords(d);
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
  // 18 files still fail, each on a record that hangs together with a raw one this pass leaves
  // out (a group of a raw LEADER left empty, R13/R14 dimension styles, which are still kept raw,
  // an XRECORD or dictionary entry under a raw owner, a DIMENSION's raw block): the count may only
  // grow as more types are decoded.
  EXPECT_GE(decoded, 126u) << failures.substr(0, 6000);
  fs::remove_all(out);
}

}  // namespace

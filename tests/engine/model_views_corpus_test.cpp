// The typed views against every record of the corpus. For each record of a modelled type, read
// from a corpus DXF or DWG: reading it into the view, writing that and reading it again gives the
// same values, and every group the record holds is one the view reads (or one listed in
// data/views_known*.tsv with the reason it is not). A DWG record carries exactly the groups the
// DWG description of its type produces, so this also checks that the two descriptions of a type
// name the same values.
//
// KELMOOR_VIEW_TYPES=HATCH,SPLINE limits the run to those types.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include "engine/dwg/read_dwg.h"
#include "engine/io.h"
#include "engine/model/drawing.h"
#include "engine/model/entities.h"
#include "platform/utf.h"
#include "tests/engine/dwg_family_test_util.h"

namespace fs = std::filesystem;
using kel::engine::Object;

namespace {

std::set<std::string> typeFilter() {
  std::set<std::string> out;
  const char* env = std::getenv("KELMOOR_VIEW_TYPES");
  std::stringstream s(env ? env : "");
  for (std::string t; std::getline(s, t, ',');)
    if (!t.empty()) out.insert(t);
  return out;
}

// "TYPE\tCODE\treason" (CODE: a group code, or "roundtrip").
std::map<std::string, std::string> knownGaps() {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::directory_iterator(fs::path(KEL_SOURCE_DIR) / "tests/engine/data")) {
    if (e.path().filename().string().rfind("views_known", 0) != 0) continue;
    std::ifstream in(e.path());
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == '#') continue;
      std::stringstream f(line);
      std::string type, code, why;
      std::getline(f, type, '\t');
      std::getline(f, code, '\t');
      std::getline(f, why);
      out[type + "\t" + code] = why;
    }
  }
  return out;
}

struct Tally {
  size_t records = 0;
  std::map<int, std::string> uncovered;  // code -> where first seen
  std::vector<std::string> failures;
  size_t failed = 0;
};

void checkDrawing(const kel::engine::Drawing& d, const std::string& file, const std::set<std::string>& only,
                  std::map<std::string, Tally>& tally) {
  d.forEachObject([&](const Object& o) {
    const kel::engine::ViewInfo* v = kel::engine::viewOf(o.type);
    if (!v || (!only.empty() && !only.count(o.type))) return;
    if (o.dwgType && !o.dwgDecoded) return;  // a DWG record left undecoded holds its common groups only
    Tally& t = tally[o.type];
    ++t.records;
    std::string why;
    if (!v->roundTrip(o, why) && ++t.failed <= 3) {
      std::ostringstream h;
      h << std::hex << std::uppercase << o.handle;
      t.failures.push_back(file + " #" + h.str() + ": " + why);
    }
    const std::vector<int> codes = v->codes();
    const std::set<int> named(codes.begin(), codes.end());
    for (const auto& g : o.body)
      if (g.code != 100 && !named.count(g.code) && !t.uncovered.count(g.code)) t.uncovered[g.code] = file;
  });
}

}  // namespace

TEST(ModelViews, EveryCorpusRecordRoundTripsAndIsCovered) {
  const auto only = typeFilter();
  auto known = knownGaps();
  std::map<std::string, Tally> tally;
  const fs::path corpus = fs::path(KEL_SHARED_DIR) / "corpus";
  for (const char* folder : {"dxf", "dxf-ref"})
    for (const auto& e : fs::directory_iterator(corpus / folder)) {
      if (e.path().extension() != ".dxf") continue;
      auto d = kel::engine::newDrawing(false);
      if (kel::engine::readDxf(*d, plat::fromUtf8(e.path().string()).c_str(), nullptr) != Acad::eOk) continue;
      checkDrawing(*d, std::string(folder) + "/" + e.path().filename().string(), only, tally);
    }
  for (const auto& e : fs::directory_iterator(corpus / "dwg")) {
    if (e.path().extension() != ".dwg") continue;
    auto d = kel::engine::newDrawing(false);
    if (kel::dwg::readDwgBytes(*d, kel::test::load(e.path())) != Acad::eOk) continue;
    checkDrawing(*d, "dwg/" + e.path().filename().string(), only, tally);
  }

  std::set<std::string> used;
  for (const auto& [type, t] : tally) {
    std::cout << "  " << type << ": " << t.records << " records\n";
    if (t.failed) {
      if (known.count(type + "\troundtrip")) used.insert(type + "\troundtrip");
      else
        for (const auto& f : t.failures) ADD_FAILURE() << type << " (" << t.failed << " records): " << f;
    }
    for (const auto& [code, where] : t.uncovered) {
      const std::string key = type + "\t" + std::to_string(code);
      if (known.count(key)) used.insert(key);
      else ADD_FAILURE() << type << ": group " << code << " (" << where << ") is not read by the view";
    }
  }
  if (only.empty()) {
    for (const auto& [key, why] : known)
      EXPECT_TRUE(used.count(key)) << "stale known gap: " << key << " (" << why << ")";
  }
}

// The types the engine models with a typed view, at least.
TEST(ModelViews, EveryListedTypeHasAView) {
  for (const char* type :
       {"APPID", "BLOCK_RECORD", "DIMSTYLE", "LAYER", "LTYPE", "STYLE", "UCS", "VIEW", "VPORT", "LINE", "POINT",
        "CIRCLE", "ARC", "ELLIPSE", "LWPOLYLINE", "POLYLINE", "VERTEX", "SEQEND", "SPLINE", "TEXT", "MTEXT",
        "ATTDEF", "ATTRIB", "INSERT", "BLOCK", "ENDBLK", "SOLID", "TRACE", "3DFACE", "HATCH", "DIMENSION", "LEADER",
        "TOLERANCE", "RAY", "XLINE", "VIEWPORT", "IMAGE", "WIPEOUT", "MLINE", "MULTILEADER", "OLE2FRAME", "3DSOLID",
        "REGION", "BODY", "SHAPE", "DICTIONARY", "ACDBDICTIONARYWDFLT", "DICTIONARYVAR", "XRECORD", "LAYOUT",
        "PLOTSETTINGS", "GROUP", "MLINESTYLE", "MLEADERSTYLE", "TABLESTYLE", "SCALE", "IMAGEDEF", "IMAGEDEF_REACTOR",
        "RASTERVARIABLES", "SORTENTSTABLE", "VISUALSTYLE", "MATERIAL", "ACDBPLACEHOLDER", "LAYER_INDEX",
        "SPATIAL_FILTER", "SPATIAL_INDEX", "WIPEOUTVARIABLES", "DBCOLOR", "GEODATA"})
    EXPECT_NE(kel::engine::viewOf(type), nullptr) << type;
}

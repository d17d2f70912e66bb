// Every corpus DXF, read with the engine's DXF reader, written as AC1027 DWG and opened again.
// With KELMOOR_ORACLE_NODE naming a folder with dwginfo.mjs (and its node_modules), both
// independent readers must open every file strictly, with the entity counts per type for model
// and paper space, the layer count and the block count of the source DXF (as dxfcheck.py sees
// it). Types a reader is known not to report are compared only where it reports them; records
// LibreDWG is known to misread are checked as described at `libredwgMisreads`.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/dwg/bits.h"
#include "engine/dwg/container2000.h"
#include "engine/dwg/container2004.h"
#include "engine/dwg/read_dwg.h"
#include "engine/dwg/write_dwg.h"
#include "engine/io.h"
#include "engine/model/drawing.h"
#include "platform/utf.h"

using namespace kel::dwg;
namespace fs = std::filesystem;

namespace {

std::vector<fs::path> corpusDxfs() {
  std::vector<fs::path> out;
  for (const char* dir : {"dxf", "dxf-ref"}) {
    fs::path p = fs::path(KEL_SHARED_DIR) / "corpus" / dir;
    if (!fs::exists(p)) continue;
    for (const auto& e : fs::directory_iterator(p))
      if (e.path().extension() == ".dxf") out.push_back(e.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string run(const std::string& cmd) {
  std::string out;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ::pclose(p);
  return out;
}

// Small JSON look-ups on one output line of the oracles: a number field, and a {name: n} object.
long number(const std::string& line, const std::string& key, long dflt = -1) {
  size_t at = line.find("\"" + key + "\":");
  if (at == std::string::npos) return dflt;
  at += key.size() + 3;
  if (line.compare(at, 4, "null") == 0) return dflt;
  return std::strtol(line.c_str() + at, nullptr, 10);
}
std::map<std::string, long> counts(const std::string& line, const std::string& key) {
  std::map<std::string, long> out;
  size_t at = line.find("\"" + key + "\":");
  if (at == std::string::npos) return out;
  at = line.find_first_not_of(' ', at + key.size() + 3);
  if (at == std::string::npos || line[at] != '{') return out;
  const size_t end = line.find('}', at);
  size_t pos = at;
  while ((pos = line.find('"', pos + 1)) != std::string::npos && pos < end) {
    size_t close = line.find('"', pos + 1);
    size_t colon = line.find(':', close);
    out[line.substr(pos + 1, close - pos - 1)] = std::strtol(line.c_str() + colon + 1, nullptr, 10);
    pos = line.find(',', colon);
    if (pos == std::string::npos || pos > end) break;
  }
  return out;
}

// The output lines of the oracles, one a reader.
std::vector<std::string> readerLines(const std::string& out) {
  std::vector<std::string> lines;
  for (size_t pos = 0; pos < out.size();) {
    size_t end = out.find('\n', pos);
    if (end == std::string::npos) end = out.size();
    if (out.compare(pos, 1, "{") == 0 && out.find("\"reader\"", pos) < end) lines.push_back(out.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

// The oracle folder, or null when the oracle tests are off.
const char* oracleDir() {
  const char* oracle = std::getenv("KELMOOR_ORACLE_NODE");
  if (!oracle || !fs::exists(fs::path(oracle) / "dwginfo.mjs") || run("command -v node").empty()) return nullptr;
  return oracle;
}

// The oracle's report lines on `files` by `reader` ("libredwg", "libdxfrw" or "both").
std::vector<std::string> dwginfo(const char* oracle, const char* reader, bool strict,
                                 const std::vector<std::string>& files) {
  std::string cmd = "cd '" + std::string(oracle) + "' && node dwginfo.mjs --reader " + reader + (strict ? " --strict" : "");
  for (const auto& f : files) cmd += " '" + f + "'";
  return readerLines(run(cmd + " 2>/dev/null"));
}

// LibreDWG's error bit for a value out of its bounds, alone.
constexpr long kValueOutOfBounds = 0x40;

// Types a reader leaves out without an error (known limits of the readers).
const std::set<std::string> kLibdxfrwSkips = {"3DSOLID", "REGION", "MLINE", "MULTILEADER", "ACAD_TABLE", "TOLERANCE",
                                              "WIPEOUT", "ARC_DIMENSION", "ATTDEF", "HELIX", "LIGHT", "MESH",
                                              "OLE2FRAME", "SURFACE", "PLANESURFACE", "EXTRUDEDSURFACE",
                                              "LOFTEDSURFACE", "REVOLVEDSURFACE", "SWEPTSURFACE", "PDFUNDERLAY",
                                              "DWFUNDERLAY", "DGNUNDERLAY", "LARGE_RADIAL_DIMENSION", "BODY", "SHAPE",
                                              "ACAD_PROXY_ENTITY", "SECTIONOBJECT"};

// Records LibreDWG misreads, answering VALUEOUTOFBOUNDS for valid data (the LibredwgRefuses* tests
// below show each): tables of R2010 and later, and hatches with a spline edge (it refuses a spline
// edge that has no fit points); also underlays without clip vertices, which it refuses in the
// reference application's own files.
bool libredwgMisreads(const kel::engine::Object& e) {
  if (e.type == "ACAD_TABLE") return true;
  if (e.type == "PDFUNDERLAY" || e.type == "DWFUNDERLAY" || e.type == "DGNUNDERLAY")
    return std::none_of(e.body.begin(), e.body.end(), [](const auto& t) { return t.code == 11; });
  if (e.type != "HATCH") return false;
  for (const auto& t : e.body)
    if (t.code == 72 && kel::engine::asInt(t) == 4) return true;  // a spline edge
  return false;
}

bool holdsMisread(const kel::engine::Drawing& d) {
  auto any = [](const std::vector<kel::engine::Object>& list) {
    return std::any_of(list.begin(), list.end(), libredwgMisreads);
  };
  if (any(d.entities)) return true;
  return std::any_of(d.blocks.begin(), d.blocks.end(), [&](const auto& b) { return any(b.entities); });
}

}  // namespace

TEST(DwgWriteCorpus, EveryDxfBecomesAReadableDwg) {
  const auto files = corpusDxfs();
  if (files.empty()) GTEST_SKIP() << "no corpus";
  const fs::path out = fs::temp_directory_path() / ("kel_dwgw_corpus_" + std::to_string(::getpid()));
  fs::create_directories(out);
  const char* oracle = oracleDir();
  const bool withOracle = oracle != nullptr;

  size_t written = 0, oraclePass = 0, oracleRun = 0, limited = 0;
  std::vector<std::string> withoutMisread;
  std::vector<std::string> failures, hardFailures;
  for (const fs::path& f : files) {
    auto d = kel::engine::newDrawing(false);
    std::u16string in = plat::fromUtf8(f.string());
    if (kel::engine::readDxf(*d, in.c_str(), nullptr) != Acad::eOk) continue;
    const fs::path dwg = out / (f.parent_path().filename().string() + "_" + f.stem().string() + ".dwg");
    std::u16string target = plat::fromUtf8(dwg.string());
    DwgWriteInfo info;
    ASSERT_EQ(writeDwgFrom(*d, target.c_str(), 31, false, &info), Acad::eOk) << f;
    ++written;

    // Our own reader and container reader open it.
    std::vector<uint8_t> bytes;
    {
      FILE* fp = std::fopen(dwg.c_str(), "rb");
      ASSERT_NE(fp, nullptr);
      char buf[65536];
      size_t n;
      while ((n = fread(buf, 1, sizeof buf, fp)) > 0) bytes.insert(bytes.end(), buf, buf + n);
      std::fclose(fp);
    }
    Container2004 c;
    EXPECT_EQ(c.open(bytes), Acad::eOk) << f;
    kel::engine::Drawing back;
    DwgReadInfo ri;
    EXPECT_EQ(readDwgBytes(back, bytes, &ri), Acad::eOk) << f;
    EXPECT_EQ(ri.objects, info.written) << f;
    EXPECT_EQ(ri.unreadable, 0u) << f;
    EXPECT_EQ(ri.crcErrors, 0u) << f;

    if (!withOracle) continue;
    ++oracleRun;
    const std::string check = run("/usr/bin/python3 " + std::string(KEL_SHARED_DIR) + "/oracles/dxfcheck.py '" +
                                  f.string() + "' 2>/dev/null");
    std::vector<std::string> lines = dwginfo(oracle, "both", true, {dwg.string()});
    // Expected: entity types over model space, paper space and blocks as the oracle counts them
    // (sub-entities, BLOCK and ENDBLK left out), from the drawing itself; model-space total,
    // layers and blocks from the independent checker where it agrees on what it counts.
    std::map<std::string, long> want;
    auto tally = [&](const std::vector<kel::engine::Object>& list) {
      for (const auto& e : list)
        if (e.type != "VERTEX" && e.type != "ATTRIB" && e.type != "SEQEND") ++want[e.type];
    };
    tally(d->entities);
    for (const auto& b : d->blocks) tally(b.entities);
    long wantModel = 0;
    for (const auto& [type, n] : counts(check, "*Model_Space")) wantModel += n;
    const long wantLayers = number(check, "layers");
    const long tableLayers = long(d->table("LAYER")->entries.size());
    const long tableBlocks = long(d->table("BLOCK_RECORD")->entries.size());
    // LibreDWG's known limits: a strict failure that is exactly VALUEOUTOFBOUNDS in a drawing
    // holding records it misreads is read again without --strict and its counts compared as
    // usual. The same drawing without those records is written too and must then pass strictly
    // (checked after the loop), so that the limit hides no other fault.
    if (holdsMisread(*d))
      for (std::string& line : lines)
        if (line.find("\"reader\":\"libredwg\"") != std::string::npos && line.find("\"ok\":false") != std::string::npos &&
            number(line, "error_code") == kValueOutOfBounds) {
          const auto lax = dwginfo(oracle, "libredwg", false, {dwg.string()});
          if (lax.size() == 1) line = lax.front();
          ++limited;
          const fs::path bare = out / ("without_" + dwg.filename().string());
          std::u16string bareTarget = plat::fromUtf8(bare.string());
          std::erase_if(d->entities, libredwgMisreads);
          for (auto& b : d->blocks) std::erase_if(b.entities, libredwgMisreads);
          ASSERT_EQ(writeDwgFrom(*d, bareTarget.c_str(), 31, false, nullptr), Acad::eOk) << f;
          withoutMisread.push_back(bare.string());
        }
    bool ok = true;
    std::string why;
    for (const std::string& line : lines) {
      const bool dxfrw = line.find("\"reader\":\"libdxfrw\"") != std::string::npos;
      const std::string who = dxfrw ? " libdxfrw:" : " libredwg:";
      if (line.find("\"ok\":true") == std::string::npos) {
        ok = false;
        why += who + "failed";
        continue;
      }
      std::map<std::string, long> got = counts(line, "entities");
      for (const auto& [type, n] : want) {
        std::string t = type == "ACAD_PROXY_ENTITY" ? type : type;
        if (dxfrw && (kLibdxfrwSkips.count(t) || t == "LEADER") && !got.count(t)) continue;
        long g = got.count(t) ? got[t] : 0;
        if (g != n) {
          ok = false;
          why += who + t + " " + std::to_string(g) + "!=" + std::to_string(n);
        }
      }
      if (!dxfrw && wantModel >= 0 && number(line, "msp_entities") != wantModel && info.skipped == 0) {
        ok = false;
        why += who + "model space " + std::to_string(number(line, "msp_entities"));
      }
      long layers = number(line, "layers");
      if (layers != wantLayers && layers != tableLayers) {
        ok = false;
        why += who + "layers " + std::to_string(layers);
      }
      if (number(line, "blocks") != tableBlocks) {
        ok = false;
        why += who + "blocks " + std::to_string(number(line, "blocks"));
      }
    }
    if (lines.size() != 2) ok = false;
    if (ok) ++oraclePass;
    else failures.push_back(f.filename().string() + ":" + why);
    // Every file must open in both readers; a file whose records were all written must also
    // show the source's counts.
    if (lines.size() != 2 || why.find("failed") != std::string::npos || (!ok && info.skipped == 0))
      hardFailures.push_back(f.filename().string() + ":" + why);
  }
  if (!withoutMisread.empty()) {
    const auto strict = dwginfo(oracle, "libredwg", true, withoutMisread);
    EXPECT_EQ(strict.size(), withoutMisread.size());
    for (const auto& line : strict)
      if (line.find("\"ok\":true") == std::string::npos)
        hardFailures.push_back("refused without the records LibreDWG misreads: " + line.substr(0, 300));
  }
  fs::remove_all(out);
  EXPECT_GT(written, 0u);
  if (withOracle) {
    std::printf("[ oracle ] %zu of %zu corpus files pass both readers with matching counts (%zu read by LibreDWG "
                "without --strict for records it misreads)\n",
                oraclePass, oracleRun, limited);
    for (const auto& f : failures) std::printf("[ oracle ]   %s\n", f.c_str());
    // Count differences from types the writer leaves out (HATCH, ACIS solids, LEADER, ...) are
    // reported above; everything else must hold.
    EXPECT_TRUE(hardFailures.empty()) << hardFailures.size() << " files, first: " << (hardFailures.empty() ? std::string() : hardFailures.front());
  }
}

// LibreDWG reads the fit points of a hatch spline edge (R2010 on) as a list that may not be empty,
// and answers VALUEOUTOFBOUNDS for a count of 0, before it reaches the tangents. The corpus hatch
// with such an edge is refused; the same hatch given one fit point and its two tangents opens
// strictly in both readers, which also pins the layout we write when there are fit points.
TEST(DwgWriteCorpus, LibredwgRefusesASplineEdgeWithoutFitPoints) {
  const char* oracle = oracleDir();
  if (!oracle) GTEST_SKIP() << "KELMOOR_ORACLE_NODE not set";
  const fs::path src = fs::path(KEL_SHARED_DIR) / "corpus" / "dxf" / "ezdxf_hatches_2.dxf";
  if (!fs::exists(src)) GTEST_SKIP() << "no corpus";
  auto d = kel::engine::newDrawing(false);
  std::u16string in = plat::fromUtf8(src.string());
  ASSERT_EQ(kel::engine::readDxf(*d, in.c_str(), nullptr), Acad::eOk);
  const fs::path out = fs::temp_directory_path() / ("kel_dwgw_spline_" + std::to_string(::getpid()));
  fs::create_directories(out);
  auto write = [&](const char* name) {
    const std::string path = (out / name).string();
    std::u16string target = plat::fromUtf8(path);
    EXPECT_EQ(writeDwgFrom(*d, target.c_str(), 31, false, nullptr), Acad::eOk);
    return path;
  };
  const std::string without = write("no_fit_points.dwg");

  // The spline edge's fit count (the first 97 after its edge type) becomes one fit point with
  // tangents.
  size_t edited = 0;
  for (auto& e : d->entities) {
    if (e.type != "HATCH") continue;
    auto& b = e.body;
    for (size_t i = 0; i < b.size() && !edited; ++i) {
      if (b[i].code != 72 || kel::engine::asInt(b[i]) != 4) continue;
      for (size_t k = i + 1; k < b.size() && b[k].code != 72; ++k)
        if (b[k].code == 97) {
          ASSERT_EQ(kel::engine::asInt(b[k]), 0);
          b[k] = kel::engine::Tag::integer(97, 1);
          using kel::engine::Tag;
          b.insert(b.begin() + std::ptrdiff_t(k) + 1, {Tag::real(11, 0.5), Tag::real(21, 0.5), Tag::real(12, 1),
                                                        Tag::real(22, 0), Tag::real(13, 1), Tag::real(23, 0)});
          ++edited;
          break;
        }
    }
  }
  ASSERT_EQ(edited, 1u);
  const std::string with = write("one_fit_point.dwg");

  const auto refused = dwginfo(oracle, "libredwg", true, {without});
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(number(refused[0], "error_code"), kValueOutOfBounds) << refused[0];
  const auto both = dwginfo(oracle, "both", true, {with});
  ASSERT_EQ(both.size(), 2u);
  for (const auto& line : both) {
    EXPECT_NE(line.find("\"ok\":true"), std::string::npos) << line;
    EXPECT_EQ(counts(line, "entities")["HATCH"], 2) << line;
  }
  fs::remove_all(out);
}

// LibreDWG describes a table of R2010 and later as starting with its content, without the block
// reference part (insertion point, scale, rotation, normal, attributes) that comes first in every
// such record, the reference application's own included. It therefore takes the insertion point's
// first byte for an unknown byte and garbage for the column count, which its count check refuses.
// Its trace of the table of libredwg_example_2013.dwg, and of ours of acadsharp_table_AC1032.dxf:
//   unknown_rc: 0x8 [RC 0]                         unknown_rc: 0x0 [RC 0]
//   tdata.num_cols: 16946266 [BL 90]               tdata.num_cols: 126 [BL 90]
//   ERROR: Invalid ACAD_TABLE.tdata.cols x 16946266   ERROR: Invalid ACAD_TABLE.tdata.cols x 126
// (the count check weighs the count times the size of its column structure against the bits left).
// No corpus DWG holds R2010+ tables and nothing else LibreDWG flags, so the proof is built: the
// reference application's DXF of its sample drawing written by us, once with our table records,
// once with its own (copied from its DWG of the same drawing, same handles) and once without
// tables. Both tabled files fail with exactly VALUEOUTOFBOUNDS, the third opens strictly.
TEST(DwgWriteCorpus, LibredwgRefusesEveryTableOfR2010On) {
  const char* oracle = oracleDir();
  if (!oracle) GTEST_SKIP() << "KELMOOR_ORACLE_NODE not set";
  const fs::path corpus = fs::path(KEL_SHARED_DIR) / "corpus";
  const fs::path dxf = corpus / "dxf" / "acadsharp_sample_AC1027_ascii.dxf", ref = corpus / "dwg" / "acadsharp_sample_AC1027.dwg";
  if (!fs::exists(dxf) || !fs::exists(ref)) GTEST_SKIP() << "no corpus";

  // The reference application's table records, by handle.
  std::vector<uint8_t> refBytes;
  {
    FILE* fp = std::fopen(ref.c_str(), "rb");
    ASSERT_NE(fp, nullptr);
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, fp)) > 0) refBytes.insert(refBytes.end(), buf, buf + n);
    std::fclose(fp);
  }
  kel::engine::Drawing refDrawing;
  ASSERT_EQ(readDwgBytes(refDrawing, refBytes), Acad::eOk);
  Container2004 c;
  ASSERT_EQ(c.open(refBytes), Acad::eOk);
  std::vector<uint8_t> handles, objects;
  ASSERT_EQ(c.read("AcDb:Handles", handles), Acad::eOk);
  ASSERT_EQ(c.read("AcDb:AcDbObjects", objects), Acad::eOk);
  std::vector<ObjectMapEntry> map;
  ASSERT_EQ(decodeObjectMap(handles, objects.size(), map), Acad::eOk);
  std::map<kel::engine::Handle, std::vector<uint8_t>> refTables;
  for (const auto& e : refDrawing.entities)
    if (e.type == "ACAD_TABLE") refTables[e.handle];
  for (const ObjectMapEntry& e : map) {
    auto it = refTables.find(e.handle);
    if (it == refTables.end()) continue;
    // The record as the reader hands it on: from the handle-stream size to the end of the data.
    BitReader r(std::span<const uint8_t>(objects).subspan(size_t(e.offset)));
    const size_t size = r.MS(), afterSize = r.positionBits() / 8;
    r.UMC();
    const size_t afterMc = r.positionBits() / 8;
    ASSERT_FALSE(r.error());
    const auto first = objects.begin() + std::ptrdiff_t(e.offset + afterSize);
    it->second.assign(first, first + std::ptrdiff_t(afterMc - afterSize + size));
  }
  ASSERT_EQ(refTables.size(), 2u);

  auto d = kel::engine::newDrawing(false);
  std::u16string in = plat::fromUtf8(dxf.string());
  ASSERT_EQ(kel::engine::readDxf(*d, in.c_str(), nullptr), Acad::eOk);
  uint16_t tableClass = 0;
  for (size_t i = 0; i < d->classes.size(); ++i)
    for (const auto& t : d->classes[i])
      if (t.code == 1 && t.s == "ACAD_TABLE") tableClass = uint16_t(500 + i);
  ASSERT_NE(tableClass, 0);
  // The sample's underlay has no clip vertices, which LibreDWG refuses as well: it is set aside
  // here and proven on its own below.
  std::vector<kel::engine::Object> underlays;
  for (auto it = d->entities.begin(); it != d->entities.end();) {
    if (it->type != "ACAD_TABLE" && libredwgMisreads(*it)) {
      underlays.push_back(std::move(*it));
      it = d->entities.erase(it);
    } else {
      ++it;
    }
  }
  ASSERT_EQ(underlays.size(), 1u);
  const fs::path out = fs::temp_directory_path() / ("kel_dwgw_tables_" + std::to_string(::getpid()));
  fs::create_directories(out);
  auto write = [&](const char* name) {
    const std::string path = (out / name).string();
    std::u16string target = plat::fromUtf8(path);
    EXPECT_EQ(writeDwgFrom(*d, target.c_str(), 31, false, nullptr), Acad::eOk);
    return path;
  };
  const std::string ours = write("our_tables.dwg");
  size_t copied = 0;
  for (auto& e : d->entities) {
    auto it = refTables.find(e.handle);
    if (e.type != "ACAD_TABLE" || it == refTables.end()) continue;
    e.dwgType = tableClass;
    e.dwgDecoded = true;
    e.dwgRaw.assign(it->second.begin(), it->second.end());
    ++copied;
  }
  ASSERT_EQ(copied, 2u);
  const std::string theirs = write("reference_tables.dwg");
  std::erase_if(d->entities, [](const kel::engine::Object& e) { return e.type == "ACAD_TABLE"; });
  const std::string none = write("no_tables.dwg");
  d->entities.insert(d->entities.end(), underlays.begin(), underlays.end());
  const std::string underlay = write("underlay_without_clip.dwg");

  const auto lines = dwginfo(oracle, "libredwg", true, {ours, theirs, none, underlay});
  ASSERT_EQ(lines.size(), 4u);
  for (const auto& line : lines) {
    if (line.find(underlay) != std::string::npos) {
      EXPECT_EQ(number(line, "error_code"), kValueOutOfBounds) << line;
    } else if (line.find(none) != std::string::npos) {
      EXPECT_NE(line.find("\"ok\":true"), std::string::npos) << line;
    } else if (line.find(ours) != std::string::npos) {
      EXPECT_EQ(number(line, "error_code"), kValueOutOfBounds) << line;
    } else {
      // The same misreading runs on into a cell value of the sample's first table, whose type it
      // rejects as well (INVALIDTYPE, 0x08).
      EXPECT_EQ(number(line, "error_code") & ~0x08L, kValueOutOfBounds) << line;
    }
  }
  // Without --strict it reads them and counts both tables.
  for (const std::string& f : {ours, theirs}) {
    const auto lax = dwginfo(oracle, "libredwg", false, {f});
    ASSERT_EQ(lax.size(), 1u);
    EXPECT_EQ(counts(lax[0], "entities")["ACAD_TABLE"], 2) << lax[0];
  }
  fs::remove_all(out);
}

// Small helpers the DWG type-family tests share: a file's bytes, the records of one type, the
// values of one group code, and one census of the DWG corpus.
#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/dwg/read_dwg.h"
#include "engine/dwg/write_dwg.h"
#include "engine/model/drawing.h"
#include "engine/model/structure.h"

namespace kel::test {

inline std::vector<uint8_t> load(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline std::vector<const kel::engine::Object*> ofType(const kel::engine::Drawing& d, const std::string& type) {
  std::vector<const kel::engine::Object*> out;
  d.forEachObject([&](const kel::engine::Object& o) {
    if (o.type == type) out.push_back(&o);
  });
  return out;
}

inline std::vector<double> reals(const kel::engine::Object& o, int code) {
  std::vector<double> v;
  for (const auto& t : o.body)
    if (t.code == code) v.push_back(kel::engine::asDouble(t));
  return v;
}

inline std::vector<int64_t> ints(const kel::engine::Object& o, int code) {
  std::vector<int64_t> v;
  for (const auto& t : o.body)
    if (t.code == code) v.push_back(kel::engine::asInt(t));
  return v;
}

// A drawing with the standard content, and the records family tests hang theirs on.
struct SampleDrawing {
  kel::engine::Drawing d;
  kel::engine::Handle root = 0;  // the named-object dictionary
  kel::engine::Handle ms = 0;    // *Model_Space
  SampleDrawing() {
    kel::engine::buildDefaultDrawing(d);
    root = d.objects.front().handle;
    for (const kel::engine::Object& r : d.table("BLOCK_RECORD")->entries)
      if (kel::engine::sameName(r.text(2), "*Model_Space")) ms = r.handle;
  }
  // Appends a record with a new handle (or `h`) to `into`.
  kel::engine::Object& add(std::vector<kel::engine::Object>& into, const std::string& type, kel::engine::Handle owner,
                           std::vector<kel::engine::Tag> body, kel::engine::Handle h = 0) {
    kel::engine::Object o;
    o.type = type;
    o.handle = h ? h : d.newHandle();
    o.owner = owner;
    o.body = std::move(body);
    into.push_back(std::move(o));
    return into.back();
  }
};

// Writes `src` as AC1027 and reads the file into `back`. Each of `types` must be written (not left
// out) and come back decoded (not kept raw).
inline ::testing::AssertionResult writeAndReadBack(kel::engine::Drawing& src, kel::engine::Drawing& back,
                                                   const std::vector<std::string>& types,
                                                   kel::dwg::DwgWriteInfo* wiOut = nullptr,
                                                   kel::dwg::DwgReadInfo* riOut = nullptr) {
  std::vector<uint8_t> file;
  kel::dwg::DwgWriteInfo wi;
  if (kel::dwg::writeDwgBytes(src, file, &wi) != Acad::eOk) return ::testing::AssertionFailure() << "write failed";
  kel::dwg::DwgReadInfo ri;
  if (kel::dwg::readDwgBytes(back, file, &ri) != Acad::eOk) return ::testing::AssertionFailure() << "read back failed";
  for (const auto& t : types) {
    if (wi.skippedTypes.count(t)) return ::testing::AssertionFailure() << t << " left out of the DWG";
    if (ri.rawTypes.count(t)) return ::testing::AssertionFailure() << t << " kept raw on reading back";
  }
  if (wiOut) *wiOut = wi;
  if (riOut) *riOut = ri;
  return ::testing::AssertionSuccess();
}

// Per type, over every corpus DWG: records kept raw (by DWG type name, with the files they are in)
// and records read (by DXF name). The corpus is read once per test program, however many family
// tests ask.
struct CorpusCensus {
  struct RawIn {
    std::string file;
    kel::dwg::Version version;
    size_t n;
  };
  bool present = false;
  std::map<std::string, std::vector<RawIn>> raw;
  std::map<std::string, size_t> decoded;
  size_t rawOf(const std::string& t) const {
    size_t n = 0;
    if (raw.count(t))
      for (const auto& r : raw.at(t)) n += r.n;
    return n;
  }
  std::string rawFilesOf(const std::string& t) const {
    std::string s;
    if (raw.count(t))
      for (const auto& r : raw.at(t)) s += " " + r.file;
    return s;
  }
  size_t decodedOf(const std::string& t) const { return decoded.count(t) ? decoded.at(t) : 0; }
};

inline const CorpusCensus& dwgCorpusCensus() {
  static const CorpusCensus census = [] {
    CorpusCensus c;
    const std::filesystem::path dir = std::filesystem::path(KEL_SHARED_DIR) / "corpus" / "dwg";
    if (!std::filesystem::exists(dir)) return c;
    c.present = true;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
      if (e.path().extension() != ".dwg") continue;
      kel::engine::Drawing d;
      kel::dwg::DwgReadInfo info;
      kel::dwg::readDwgBytes(d, load(e.path()), &info);
      for (const auto& [t, n] : info.rawTypes) c.raw[t].push_back({e.path().filename().string(), info.version, n});
      d.forEachObject([&](const kel::engine::Object& o) { ++c.decoded[o.type]; });
    }
    return c;
  }();
  return census;
}

}  // namespace kel::test

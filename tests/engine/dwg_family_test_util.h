// Small helpers the DWG type-family tests share: a file's bytes, the records of one type, the
// values of one group code.
#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/model/drawing.h"

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

}  // namespace kel::test

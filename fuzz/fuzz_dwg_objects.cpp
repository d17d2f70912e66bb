// Feeds arbitrary bytes to the DWG object decoder as a record of every supported version (the
// first byte picks the version), with a small classes list so class-numbered types are reached.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/dwg/objects.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const kel::dwg::Version versions[] = {
      kel::dwg::Version::R13,   kel::dwg::Version::R14,   kel::dwg::Version::R2000, kel::dwg::Version::R2004,
      kel::dwg::Version::R2007, kel::dwg::Version::R2010, kel::dwg::Version::R2013, kel::dwg::Version::R2018};
  static const std::vector<kel::dwg::DwgClass> classes = [] {
    std::vector<kel::dwg::DwgClass> c;
    const char* names[] = {"ACDBDICTIONARYWDFLT", "DICTIONARYVAR", "XRECORD", "LAYOUT", "LWPLINE", "HATCH"};
    int n = 500;
    for (const char* name : names) {
      kel::dwg::DwgClass k;
      k.number = n++;
      k.dxfName = name;
      k.isEntity = std::string(name) == "LWPLINE" || std::string(name) == "HATCH";
      c.push_back(k);
    }
    return c;
  }();
  kel::dwg::DecodeContext ctx{versions[data[0] % 8], 30, &classes};
  kel::dwg::DecodedObject out;
  kel::dwg::decodeObject(std::span<const uint8_t>(data + 1, size - 1), ctx, out);
  return 0;
}

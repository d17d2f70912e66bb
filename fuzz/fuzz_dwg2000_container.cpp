// libFuzzer target: the R13-R2000 container reader (file header, framed sections, object map,
// object records) on arbitrary bytes. Seeds: the drawings of the shared corpus
// (fuzz/seeds/fuzz_dwg2000_container.dirs); inputs are given an R13-R2000 tag half of the time so
// that mutations reach past the version check.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/dwg/container2000.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  if (size >= 7 && (data[6] & 1)) {
    static const char* const kTags[] = {"AC1012", "AC1014", "AC1015"};
    std::memcpy(bytes.data(), kTags[data[6] % 3], 6);
  }
  kel::dwg::Container2000 c;
  kel::dwg::readContainer2000(bytes, c);
  for (const kel::dwg::ObjectMapEntry& e : c.objects) {
    if (e.offset >= bytes.size()) __builtin_trap();  // offsets are promised to lie in the file
    std::span<const uint8_t> record;
    kel::dwg::readObjectRecord(bytes, e.offset, &record);
  }
  return 0;
}

// libFuzzer target: the R2007 container reader (Reed-Solomon decoding, file header, pages and
// sections maps, section reassembly) and the R2007 decompressor on arbitrary bytes. Seeds: the
// drawings of the shared corpus (fuzz/seeds/fuzz_dwg2007_container.dirs).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/dwg/container2007.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  if (size >= 6) std::memcpy(bytes.data(), "AC1021", 6);  // reach past the version check

  // A tighter budget than the default keeps each run quick; it is still far above what the
  // corpus drawings need.
  kel::dwg::Limits2007 limits;
  limits.maxTotalBytes = 8u << 20;
  kel::dwg::Container2007 c;
  kel::dwg::readContainer2007(bytes, c, limits);
  const auto objects = c.sectionData(u"AcDb:AcDbObjects");
  for (const kel::dwg::ObjectMapEntry& e : c.objects)
    if (e.offset >= objects.size()) __builtin_trap();

  // The same bytes as one compressed stream.
  std::vector<uint8_t> out(0x10000);
  size_t produced = 0;
  kel::dwg::decompress2007(std::span<const uint8_t>(data, size), out, &produced);
  if (produced > out.size()) __builtin_trap();
  return 0;
}

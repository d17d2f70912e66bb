// libFuzzer target: the R2004-family container reader and the page decompressor on arbitrary bytes.
// Seeds: the drawings of the shared corpus (fuzz/seeds/fuzz_dwg2004_container.dirs), e.g.
//   fuzz_dwg2004_container -rss_limit_mb=4096 work-dir ../shared/corpus/dwg
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/dwg/container2004.h"
#include "engine/dwg/lz77.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);

  kel::dwg::Container2004 container;
  container.open(bytes);
  if (container.isOpen()) {
    std::vector<uint8_t> out;
    for (const auto& section : container.sections()) {
      // Declared sizes are checked against the pages, but a small file may still describe a large
      // section of repeated bytes; keep each run within the fuzzer's memory budget.
      if (section.size > (64u << 20)) continue;
      container.read(section, out);
    }
  }

  // The same bytes as one compressed page.
  std::vector<uint8_t> page(0x7400);
  kel::dwg::decompress2004(bytes, page);
  return 0;
}

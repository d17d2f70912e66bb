// Fuzzes the bracket-notation decoder: any text, any encoding code, must decode or be refused
// without touching memory it does not own. Large repeat counts are answered by refusing heap
// requests above a cap, which the decoder must survive like any failed allocation.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "lib/cpu/shared/heap.h"
#include "lib/cpu/shared/stringu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool hooked = [] {
    heapHooks().refuse = [](size_t bytes, const char*, int32_t) { return bytes > (16u << 20); };
    return true;
  }();
  (void)hooked;
  if (size == 0) return 0;
  const uint32_t code = data[0] % 8;  // the six codes and two unknown ones
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  uint32_t length = 0;
  int32_t width = 0;
  unsigned char* out = decodeEscapes(text.c_str(), &length, code, &width);
  if (out) {
    if (out[length] != 0 || width < 0 || width > 4) std::abort();
    // Whatever came out must survive the way back through the notation.
    if (char* shown = escapeBytes(out, length)) {
      uint32_t again = 0;
      unsigned char* round = decodeEscapes(shown, &again, 0, nullptr);
      if (round && (again != length || std::memcmp(round, out, length) != 0)) std::abort();
      std::free(round);
      std::free(shown);
    }
    std::free(out);
  } else if (length != 0) {
    std::abort();
  }
  return 0;
}

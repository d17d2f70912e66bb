// Fuzzes the command-line splitter: the input bytes, two at a time, form a UTF-16 line. Every
// split must give a well-shaped vector ("DLL", the arguments, a null slot) of non-empty arguments
// with no delimiter left in them, and must release cleanly.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lib/cpu/shared/stringu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string line;
  for (size_t i = 0; i + 1 < size; i += 2) {
    char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (c) line += c;
  }
  uint32_t argc = 0;
  char16_t** argv = nullptr;
  uint32_t n = splitCommandLine(&argc, &argv, line.c_str());
  if (!argv || argc != n + 1 || argv[n + 1] != nullptr) std::abort();
  if (std::u16string(argv[0]) != u"DLL") std::abort();
  for (uint32_t i = 1; i <= n; ++i) {
    std::u16string arg(argv[i]);
    if (arg.empty() || arg.size() > line.size()) std::abort();
    for (char16_t c : arg)
      if (c != u' ' && std::u16string_view(u"\n\r\t\v\f\x1A").find(c) != std::u16string_view::npos)
        std::abort();
  }
  freeArgs(argc, &argv);
  if (argv) std::abort();
  return 0;
}

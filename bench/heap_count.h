// Heap accounting for benchmarks: the program's own global operator new/delete count the bytes in
// use and their peak, and heapPeak() answers what one piece of work added at its peak. Include it
// in exactly one source file of a benchmark program (it defines the replacement operators).
#pragma once
#include <malloc.h>

#include <cstddef>
#include <cstdlib>
#include <new>

namespace heap {
inline size_t live = 0, peak = 0;
}  // namespace heap

// The replacements pair malloc with free on purpose; gcc cannot see that they replace the global
// pair and warns when it inlines them into one function.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  heap::live += malloc_usable_size(p);
  if (heap::live > heap::peak) heap::peak = heap::live;
  return p;
}
void operator delete(void* p) noexcept {
  if (!p) return;
  heap::live -= malloc_usable_size(p);
  std::free(p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }
#pragma GCC diagnostic pop

namespace heap {
// Runs f once and answers the heap peak it reached beyond what was in use before, in multiples of
// `bytes`.
template <class F>
double peakOf(size_t bytes, F&& f) {
  const size_t before = live;
  peak = before;
  f();
  return bytes ? double(peak - before) / double(bytes) : 0;
}
}  // namespace heap

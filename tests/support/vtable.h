// Position of a virtual function in its class's table, for tests that pin a table's order.
// Itanium C++ ABI: a pointer to a virtual member holds 1 + the byte offset of its table entry.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kel::test {

template <class PMF>
size_t tableEntryOf(PMF pmf) {
  struct Rep {
    uintptr_t ptr;
    ptrdiff_t adj;
  } rep;
  static_assert(sizeof(PMF) == sizeof(Rep));
  std::memcpy(&rep, &pmf, sizeof rep);
  return (rep.ptr - 1) / sizeof(void*);
}

}  // namespace kel::test

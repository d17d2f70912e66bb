#include <cstdlib>

#include "engine/acdb.h"
#include "engine/sdk_seam.h"

void* AcHeapOperators::allocRawMem(size_t size) {
  if (kel::sdk::seam().failRawAlloc) return nullptr;
  return std::malloc(size ? size : 1);
}

void AcHeapOperators::freeRawMem(void* p) { std::free(p); }

#include "lib/cpu/shared/heap.h"

#include <cstdlib>
#include <cstring>

#include "platform/text.h"
#include "platform/utf.h"

HeapHooks& heapHooks() {
  static HeapHooks hooks;
  return hooks;
}

namespace {
bool refused(size_t size, const char* file, int32_t line) {
  const HeapHooks& h = heapHooks();
  return h.refuse && h.refuse(size, file, line);
}
}  // namespace

void* allocMem(size_t size, const char* file, int32_t line) {
  if (refused(size, file, line)) return nullptr;
  return std::malloc(size);
}

void* allocZeroed(size_t size, const char* file, int32_t line) {
  void* block = allocMem(size, file, line);
  if (block) std::memset(block, 0, size);
  return block;
}

void* reallocMem(void* block, size_t size, const char* file, int32_t line) {
  // Size 0 releases the block once; glibc's realloc would do the same, but say it plainly.
  if (size == 0) {
    std::free(block);
    return nullptr;
  }
  if (refused(size, file, line)) {
    std::free(block);
    return nullptr;
  }
  void* grown = std::realloc(block, size);
  if (!grown) std::free(block);  // a failed resize takes the old block with it
  return grown;
}

void* dupMem(const void* source, size_t size, const char* file, int32_t line) {
  void* block = allocMem(size, file, line);
  if (block && size) std::memcpy(block, source, size);
  return block;
}

char16_t* reassignString(char16_t** target, const char16_t* text) {
  if (!text || !target || !*target) return nullptr;
  size_t have = plat::wlen(*target);
  size_t want = plat::wlen(text);
  if (have >= want) {
    // The current length stands for the block's capacity; memmove copes with text inside it.
    std::memmove(*target, text, (want + 1) * sizeof(char16_t));
    return *target;
  }
  // The copy is made before the old block goes, so text may point into it.
  char16_t* copy = refused((want + 1) * sizeof(char16_t), "heap", __LINE__) ? nullptr
                                                                              : plat::_wcsdup(text);
  freeMem(*target);
  *target = copy;
  return copy;
}

void freeMem(void* block) { std::free(block); }

void freeAndNull(void** pointer) {
  if (!pointer) return;
  std::free(*pointer);
  *pointer = nullptr;
}

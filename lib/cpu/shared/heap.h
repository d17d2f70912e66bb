// heap: the utility library's thin layer over the C heap.
//
// Every block handed out comes from malloc/realloc, so the receiver may release it with freeMem or
// with free. Allocating calls carry the requesting source file and line; they are accepted and not
// used (beyond being shown to the test seam below). A failure is answered only with null.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

// New uninitialised block of size bytes, or null when the heap refuses.
void* allocMem(size_t size, const char* file, int32_t line);
// New block of size zero bytes, or null.
void* allocZeroed(size_t size, const char* file, int32_t line);
// realloc; when that fails (or size is 0) the old block is released and null comes back, so the
// caller must not touch block afterwards in either case.
void* reallocMem(void* block, size_t size, const char* file, int32_t line);
// New block holding a copy of size bytes of source, or null.
void* dupMem(const void* source, size_t size, const char* file, int32_t line);
// Puts text into the heap string held by *target: in place when the current string is at least as
// long, otherwise in a fresh copy (the old block is released). Returns the string the variable then
// holds; null, with nothing changed, when text, target or *target is null (it never allocates a first
// string), and null with *target null when the copy cannot be made.
char16_t* reassignString(char16_t** target, const char16_t* text);
void freeMem(void* block);
// Releases the block *pointer holds and sets *pointer to null; a null pointer does nothing.
void freeAndNull(void** pointer);
template <typename T>
inline void freeAndNull(T** pointer) {
  if (!pointer) return;
  freeMem(const_cast<void*>(static_cast<const void*>(*pointer)));
  *pointer = nullptr;
}

// Test seam: when `refuse` is set it is asked before every allocation (allocMem, allocZeroed,
// dupMem, reallocMem and the string copies of reassignString) and a true answer makes that request
// fail as if the heap had refused it. Reset it to {} when done.
struct HeapHooks {
  std::function<bool(size_t size, const char* file, int32_t line)> refuse;
};
HeapHooks& heapHooks();

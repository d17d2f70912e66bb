// Search, replace and comparison.
#include <cstring>

#include "lib/cpu/shared/heap.h"
#include "lib/cpu/shared/stringu.h"
#include "lib/cpu/shared/stringu_detail.h"

using namespace stringu_detail;

namespace {

inline int ncmp(const char* a, const char* b, size_t n) { return std::strncmp(a, b, n); }
inline int ncmp(const char16_t* a, const char16_t* b, size_t n) { return plat::wcsncmp(a, b, n); }
inline int nicmp(const char* a, const char* b, size_t n) { return plat::_strnicmp(a, b, n); }
inline int nicmp(const char16_t* a, const char16_t* b, size_t n) {
  return plat::_wcsnicmp(a, b, n);
}
inline char* upr(char* s) { return plat::_strupr(s); }
inline char16_t* upr(char16_t* s) { return plat::_wcsupr(s); }
inline const char* find(const char* s, const char* sub) { return std::strstr(s, sub); }
inline const char16_t* find(const char16_t* s, const char16_t* sub) { return plat::wcsstr(s, sub); }

template <typename C>
C* heapCopy(const C* s, size_t n) {
  return static_cast<C*>(dupMem(s, (n + 1) * sizeof(C), kHeapTag, __LINE__));
}

// The replace walk: copy is a snapshot of str, so what has been written into str is never scanned
// again. Matches do not overlap.
template <typename C>
void replaceWalk(C* str, const C* copy, const C* replacement, size_t rlen, const C* pattern,
                 size_t plen, bool noCase) {
  size_t i = 0, j = 0;
  while (copy[i]) {
    bool hit = noCase ? nicmp(copy + i, pattern, plen) == 0
                      : copy[i] == pattern[0] && ncmp(copy + i, pattern, plen) == 0;
    if (hit) {
      std::memmove(str + j, replacement, rlen * sizeof(C));
      i += plen;
      j += rlen;
    } else {
      str[j++] = copy[i++];
    }
  }
  str[j] = 0;
}

// An empty or null pattern would match everywhere without moving on, and a null replacement or
// str leaves nothing sensible to do: all these return str unchanged. When the working copy cannot
// be allocated, str is left unchanged and null tells the caller so.
template <typename C>
C* replaceHeap(C* str, const C* replacement, const C* pattern, bool noCase) {
  if (!str || !replacement || !pattern || !*pattern) return str;
  size_t n = len(str);
  C* copy = heapCopy(str, n);
  if (!copy) return nullptr;
  replaceWalk(str, copy, replacement, len(replacement), pattern, len(pattern), noCase);
  freeMem(copy);
  return str;
}

template <typename C>
const C* findNoCaseT(const C* s, const C* sub) {
  // Null is met as empty: no match.
  if (!s || !sub || !*s || !*sub) return nullptr;
  size_t n = len(s);
  C* hay = heapCopy(s, n);
  C* needle = heapCopy(sub, len(sub));
  const C* result = nullptr;
  if (hay && needle) {  // without the copies there is no search; null, as for no match
    upr(hay);
    upr(needle);
    if (const C* hit = find(hay, needle)) result = s + (hit - hay);
  }
  freeMem(hay);
  freeMem(needle);
  return result;
}

// A null string compares as an empty one.
template <typename C>
int prefixCompare(const C* s, const C* prefix, bool noCase) {
  static constexpr C empty[1] = {0};
  if (!s) s = empty;
  if (!prefix) prefix = empty;
  size_t n = len(prefix);
  return noCase ? nicmp(s, prefix, n) : ncmp(s, prefix, n);
}

template <typename C>
bool startsNoCase(const C* s, const C* prefix) {
  if (!s || !prefix) return false;
  return nicmp(s, prefix, len(prefix)) == 0;
}

}  // namespace

char* replaceAll(char* str, const char* replacement, const char* pattern) {
  if (!str || !replacement || !pattern || !*pattern) return str;
  size_t n = std::strlen(str);
  // Short strings are worked on from a stack copy, so they never touch the heap.
  char bufdup[256] = {};
  char* copy = bufdup;
  if (n >= sizeof bufdup) {
    copy = heapCopy(str, n);
    if (!copy) return nullptr;
  } else {
    std::memcpy(bufdup, str, n + 1);
  }
  replaceWalk(str, copy, replacement, std::strlen(replacement), pattern, std::strlen(pattern),
              false);
  if (copy != bufdup) freeMem(copy);
  return str;
}

char16_t* replaceAll(char16_t* str, const char16_t* replacement, const char16_t* pattern) {
  return replaceHeap(str, replacement, pattern, false);
}
char* replaceAllNoCase(char* str, const char* replacement, const char* pattern) {
  return replaceHeap(str, replacement, pattern, true);
}
char16_t* replaceAllNoCase(char16_t* str, const char16_t* replacement, const char16_t* pattern) {
  return replaceHeap(str, replacement, pattern, true);
}

const char* findNoCase(const char* s, const char* sub) { return findNoCaseT(s, sub); }
const char16_t* findNoCase(const char16_t* s, const char16_t* sub) { return findNoCaseT(s, sub); }
char* findNoCase(char* s, const char* sub) { return const_cast<char*>(findNoCaseT<char>(s, sub)); }
char16_t* findNoCase(char16_t* s, const char16_t* sub) {
  return const_cast<char16_t*>(findNoCaseT<char16_t>(s, sub));
}

int comparePrefix(const char* s, const char* prefix) { return prefixCompare(s, prefix, false); }
int comparePrefix(const char16_t* s, const char16_t* prefix) {
  return prefixCompare(s, prefix, false);
}
int comparePrefixNoCase(const char* s, const char* prefix) {
  return prefixCompare(s, prefix, true);
}
int comparePrefixNoCase(const char16_t* s, const char16_t* prefix) {
  return prefixCompare(s, prefix, true);
}

bool equals(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }
bool equals(const char16_t* a, const char16_t* b) { return a && b && plat::wcscmp(a, b) == 0; }
bool equalsNoCase(const char* a, const char* b) { return a && b && plat::_stricmp(a, b) == 0; }
bool equalsNoCase(const char16_t* a, const char16_t* b, bool) {
  if (!a || !b) return !a && !b;
  return plat::_wcsicmp(a, b) == 0;
}

bool startsWithNoCase(const char* s, const char* prefix) { return startsNoCase(s, prefix); }
bool startsWithNoCase(const char16_t* s, const char16_t* prefix) {
  return startsNoCase(s, prefix);
}

bool sameLetterNoCase(char c1, char c2) {
  auto fold = [](char c) { return inClass(static_cast<unsigned char>(c), u'a') ? c - 0x20 : c; };
  return fold(c1) == fold(c2);
}

bool inClass(char16_t c, char16_t cls) {
  switch (cls) {
    case u'#': return c >= u'0' && c <= u'9';
    case u'A': return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
    case u'H': return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
    case u'a': return c >= u'a' && c <= u'z';
    default: return false;
  }
}

bool allInClass(const char16_t* s, char16_t cls) {
  if (!s) return true;  // null counts as an empty text
  for (; *s; ++s)
    if (!inClass(*s, cls)) return false;
  return true;
}

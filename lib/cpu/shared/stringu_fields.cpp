// Delimited fields and trimming.
//
// Where a set is required and none is given, the operation works with an empty set (no character
// is a delimiter) rather than guessing the default.
#include <cstring>

#include "lib/cpu/shared/stringu.h"
#include "lib/cpu/shared/stringu_detail.h"

using namespace stringu_detail;

namespace {

template <typename C>
const C* skipT(const C* s, const C* set) {
  if (!s) return nullptr;
  s += spanIn(s, set);
  return *s ? s : nullptr;
}

template <typename C>
const C* nthFieldT(const C* s, const C* set, int32_t n) {
  if (n < 0 || !s) return nullptr;
  set = orDefault(set);
  for (int32_t i = 0;; ++i) {
    s = skipT(s, set);
    if (!s) return nullptr;
    if (i == n) return s;
    s += spanOut(s, set);
  }
}

template <typename C>
C* copyFieldT(C* dest, const C* src, const C* set, int32_t maxLen) {
  if (!src) return boundedCopy(dest, src, 0);  // a null text gives an empty field
  size_t n = spanOut(src, orDefault(set));
  if (maxLen > 0 && n > static_cast<size_t>(maxLen)) n = static_cast<size_t>(maxLen);
  if (n > INT32_MAX) n = INT32_MAX;
  return boundedCopy(dest, src, static_cast<int32_t>(n));
}

template <typename C>
uint32_t countSeparatedT(const C* s, const C* sep) {
  if (!s || !*s) return 0;
  C first = sep ? sep[0] : 0;
  uint32_t count = 0;
  for (;;) {
    s += spanOut(s, sep);
    ++count;
    if (!*s || *s != first) return count;
    ++s;
  }
}

template <typename C>
const C* afterNthT(const C* s, const C* set, uint32_t n) {
  if (!s || !*s) return nullptr;
  uint32_t count = 0;
  const C* noted = s;
  for (const C* p = s; *p; ++p) {
    if (!inSet(*p, set)) continue;
    if (count == n) break;
    ++count;
    noted = p + 1;
  }
  return count == n ? noted : nullptr;
}

template <typename C>
uint32_t countAnyOfT(const C* s, const C* set) {
  if (!s) return 0;
  uint32_t count = 0;
  for (; *s; ++s)
    if (inSet(*s, set)) ++count;
  return count;
}

template <typename C>
C* trimRightT(C* s, const C* set) {
  if (!s) return s;
  set = orDefault(set);
  for (size_t n = len(s); n > 0 && inSet(s[n - 1], set); --n) s[n - 1] = 0;
  return s;
}

}  // namespace

const char* skipDelimiters(const char* s, const char* set) { return skipT(s, set); }
const char16_t* skipDelimiters(const char16_t* s, const char16_t* set) { return skipT(s, set); }
char* skipDelimiters(char* s, const char* set) { return const_cast<char*>(skipT<char>(s, set)); }
char16_t* skipDelimiters(char16_t* s, const char16_t* set) {
  return const_cast<char16_t*>(skipT<char16_t>(s, set));
}

uint32_t countFields(const char* s, const char* set) {
  uint32_t count = 0;
  while ((s = skipT(s, set)) != nullptr) {
    ++count;
    s += spanOut(s, set);
  }
  return count;
}

const char* nthField(const char* s, const char* set, int32_t n) { return nthFieldT(s, set, n); }
const char16_t* nthField(const char16_t* s, const char16_t* set, int32_t n) {
  return nthFieldT(s, set, n);
}
char* nthField(char* s, const char* set, int32_t n) {
  return const_cast<char*>(nthFieldT<char>(s, set, n));
}
char16_t* nthField(char16_t* s, const char16_t* set, int32_t n) {
  return const_cast<char16_t*>(nthFieldT<char16_t>(s, set, n));
}

int32_t fieldIndex(const char* s, const char* set, const char* name) {
  if (!name) return -1;
  size_t n = std::strlen(name);
  // The set is required; the field lookup is given an empty one rather than the default.
  const char* useSet = set ? set : "";
  for (int32_t i = 0;; ++i) {
    const char* field = nthFieldT(s, useSet, i);
    if (!field) return -1;
    if (std::strncmp(field, name, n) == 0 && spanOut(field, useSet) == n) return i;
    if (i == INT32_MAX) return -1;
  }
}

char* copyField(char* dest, const char* src, const char* set, int32_t maxLen) {
  return copyFieldT(dest, src, set, maxLen);
}
char16_t* copyField(char16_t* dest, const char16_t* src, const char16_t* set, int32_t maxLen) {
  return copyFieldT(dest, src, set, maxLen);
}

char* copyFieldEscaped(char* dest, const char* src, const char* set, const char* escape) {
  if (!src) return boundedCopy(dest, src, 0);
  set = orDefault(set);
  char esc = escape ? *escape : '\\';
  // Any escape character directly before a delimiter protects it, wherever it stands: also as the
  // field's first character and right after an escaped delimiter.
  size_t n = 0;
  for (;;) {
    n += spanOut(src + n, set);
    if (!src[n] || n == 0 || src[n - 1] != esc || !esc) break;
    ++n;  // the escaped delimiter belongs to the field
  }
  if (n > INT32_MAX) n = INT32_MAX;
  return boundedCopy(dest, src, static_cast<int32_t>(n));
}

char* appendField(char* dest, const char* src, const char* set) {
  if (!dest || !src) return dest;
  size_t n = spanOut(src, orDefault(set));
  char* end = dest + std::strlen(dest);
  std::memmove(end, src, n);
  end[n] = 0;
  return dest;
}

char* copyNthField(char* dest, const char* s, const char* set, int32_t n) {
  if (dest) *dest = 0;
  const char* field = nthFieldT(s, set, n);
  if (field && dest) copyFieldT(dest, field, set, -1);
  return dest;
}

char* nextEntry(char* dest, const char** cursor, const char* set) {
  if (!cursor || !*cursor || !dest) return nullptr;
  copyFieldT(dest, *cursor, set, -1);
  size_t n = std::strlen(dest);
  *cursor += n + 1;
  return n ? dest : nullptr;
}

char* nextField(char* dest, const char** cursor, const char* set) {
  if (!cursor || !*cursor || !dest) return nullptr;
  const char* useSet = set ? set : "";
  copyFieldT(dest, *cursor, useSet, -1);
  size_t n = std::strlen(dest);
  *cursor = skipT(*cursor + n, useSet);
  return n ? dest : nullptr;
}

uint32_t countSeparated(const char* s, const char* sep) { return countSeparatedT(s, sep); }
uint32_t countSeparated(const char16_t* s, const char16_t* sep) { return countSeparatedT(s, sep); }

const char* afterNthDelimiter(const char* s, const char* set, uint32_t n) {
  return afterNthT(s, set, n);
}
const char16_t* afterNthDelimiter(const char16_t* s, const char16_t* set, uint32_t n) {
  return afterNthT(s, set, n);
}
char* afterNthDelimiter(char* s, const char* set, uint32_t n) {
  return const_cast<char*>(afterNthT<char>(s, set, n));
}
char16_t* afterNthDelimiter(char16_t* s, const char16_t* set, uint32_t n) {
  return const_cast<char16_t*>(afterNthT<char16_t>(s, set, n));
}

uint32_t countAnyOf(const char* s, const char* set) { return countAnyOfT(s, set); }
uint32_t countAnyOf(const char16_t* s, const char16_t* set) { return countAnyOfT(s, set); }

char* trimRight(char* s, const char* set) { return trimRightT(s, set); }
char16_t* trimRight(char16_t* s, const char16_t* set) { return trimRightT(s, set); }

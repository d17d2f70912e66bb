// Copying, shortening, conversion, numbers and checks.
#include <cstdlib>
#include <cstring>

#include "lib/cpu/shared/heap.h"
#include "lib/cpu/shared/stringu.h"
#include "lib/cpu/shared/stringu_detail.h"

using namespace stringu_detail;

namespace {

template <typename C>
C* boundedCopyT(C* dest, const C* src, int32_t max) {
  // A null dest or a negative max leaves no room to write into: nothing is written. A null src
  // copies as an empty string.
  if (!dest || max < 0) return dest;
  size_t n = 0;
  if (src) {
    while (n < static_cast<size_t>(max) && src[n]) ++n;
    std::memmove(dest, src, n * sizeof(C));
  }
  dest[n] = 0;
  return dest;
}

template <typename C>
bool shortenT(C* s, int32_t max) {
  static constexpr C sellipsis[4] = {'.', '.', '.', 0};
  // Below 3 the ellipsis itself would not fit; such a request is refused.
  if (!s || max < 3) return false;
  if (len(s) <= static_cast<size_t>(max)) return false;
  std::memcpy(s + max - 3, sellipsis, sizeof sellipsis);
  return true;
}

template <typename C>
const C* firstNonEmptyT(std::initializer_list<const C*> all) {
  for (const C* s : all)
    if (s && *s) return s;
  return nullptr;
}

template <typename C>
C lastCharT(const C* s) {
  if (!s || !*s) return 0;
  return s[len(s) - 1];
}

// Narrowing rule of the number helpers: a value that narrows to 0 means "no number" unless the
// text begins with "0".
template <typename R, typename C>
R numberOr(const C* s, int32_t value, R fallback) {
  R narrowed = static_cast<R>(value);
  if (narrowed != 0) return narrowed;
  if (s && s[0] == '0') return 0;
  return fallback;
}

template <typename C>
bool allBelowT(const C* s, unsigned limit) {
  // Null counts as an empty text.
  if (!s) return true;
  for (; *s; ++s)
    if (unit(*s) >= limit) return false;
  return true;
}

}  // namespace

char* boundedCopy(char* dest, const char* src, int32_t max) { return boundedCopyT(dest, src, max); }
char16_t* boundedCopy(char16_t* dest, const char16_t* src, int32_t max) {
  return boundedCopyT(dest, src, max);
}

char* boundedAppend(char* dest, const char* src, int32_t max) {
  if (!dest || !src) return dest;
  size_t have = std::strlen(dest), add = std::strlen(src);
  if (have + add > static_cast<size_t>(max < 0 ? 0 : max)) {
    int64_t room = static_cast<int64_t>(max) - static_cast<int64_t>(have);
    if (room <= 0) return dest;
    add = static_cast<size_t>(room);
  }
  std::memmove(dest + have, src, add);
  dest[have + add] = 0;
  return dest;
}

char* padRight(char* s, char ch, int32_t width) {
  if (!s || width <= 0) return s;
  size_t n = std::strlen(s);
  if (n < static_cast<size_t>(width)) {
    std::memset(s + n, ch, width - n);
    s[width] = 0;
  }
  return s;
}

bool shortenWithEllipsis(char* s, int32_t max) { return shortenT(s, max); }
bool shortenWithEllipsis(char16_t* s, int32_t max) { return shortenT(s, max); }

char* assignCopy(char** target, const char* src) {
  // Null target: nowhere to store, nothing done. Null src: the old string is released and the
  // target left null. A failed copy also leaves the target null.
  if (!target) return nullptr;
  freeMem(*target);
  *target = nullptr;
  if (src) *target = static_cast<char*>(dupMem(src, std::strlen(src) + 1, kHeapTag, __LINE__));
  return *target;
}

const char* nullIfEmpty(const char* s) { return (s && *s) ? s : nullptr; }
const char16_t* nullIfEmpty(const char16_t* s) { return (s && *s) ? s : nullptr; }
bool isNullOrEmpty(const char* s) { return !s || !*s; }
bool isNullOrEmpty(const char16_t* s) { return !s || !*s; }
const char* orEmpty(const char* s) { return s ? s : ""; }
const char16_t* orEmpty(const char16_t* s) { return s ? s : u""; }

const char* firstNonEmpty(const char* a, const char* b, const char* c, const char* d,
                          const char* e) {
  return firstNonEmptyT<char>({a, b, c, d, e});
}
const char16_t* firstNonEmpty(const char16_t* a, const char16_t* b, const char16_t* c,
                              const char16_t* d, const char16_t* e) {
  return firstNonEmptyT<char16_t>({a, b, c, d, e});
}

const char* endOf(const char* s) { return s ? s + len(s) : nullptr; }
const char16_t* endOf(const char16_t* s) { return s ? s + len(s) : nullptr; }
char* endOf(char* s) { return s ? s + len(s) : nullptr; }
char16_t* endOf(char16_t* s) { return s ? s + len(s) : nullptr; }
char lastChar(const char* s) { return lastCharT(s); }
char16_t lastChar(const char16_t* s) { return lastCharT(s); }

char* toUtf8(const char16_t* ws) {
  if (!ws) return nullptr;  // the conversion needs a text; null gives null
  int need = plat::WideCharToMultiByte(plat::CP_UTF8, 0, ws, -1, nullptr, 0, nullptr, nullptr);
  if (need <= 0) return nullptr;
  auto* out = static_cast<char*>(allocMem(static_cast<size_t>(need), kHeapTag, __LINE__));
  if (out) plat::WideCharToMultiByte(plat::CP_UTF8, 0, ws, -1, out, need, nullptr, nullptr);
  return out;
}

char16_t* fromUtf8(const char* s) {
  if (!s) return nullptr;  // as toUtf8
  int need = plat::MultiByteToWideChar(plat::CP_UTF8, 0, s, -1, nullptr, 0);
  if (need <= 0) return nullptr;
  auto* out = static_cast<char16_t*>(allocMem(static_cast<size_t>(need) * 2, kHeapTag, __LINE__));
  if (out) plat::MultiByteToWideChar(plat::CP_UTF8, 0, s, -1, out, need);
  return out;
}

// When the converted text does not fit, the conversion writes nothing, so dest stays the empty
// string it was made; a null dest or no room at all is left alone.
char16_t* ansiToWide(char16_t* dest, const char* src, int32_t destChars) {
  if (!src) return nullptr;
  if (!dest || destChars <= 0) return dest;
  dest[0] = 0;
  plat::MultiByteToWideChar(plat::CP_ACP, 0, src, -1, dest, destChars);
  return dest;
}

char* wideToAnsi(char* dest, const char16_t* src, int32_t destBytes) {
  if (!src) return nullptr;
  if (!dest || destBytes <= 0) return dest;
  dest[0] = 0;
  plat::WideCharToMultiByte(plat::CP_ACP, 0, src, -1, dest, destBytes, nullptr, nullptr);
  return dest;
}

// A null text converts to 0 in the runtime calls and then gives the fallback.
int32_t toLongOr(const char* s, int32_t fallback) { return numberOr(s, plat::atol(s), fallback); }
int32_t toLongOr(const char16_t* s, int32_t fallback) {
  return numberOr(s, plat::_wtol(s), fallback);
}
int16_t toShortOr(const char* s, int16_t fallback) { return numberOr(s, plat::atoi(s), fallback); }
int16_t toShortOr(const char16_t* s, int16_t fallback) {
  return numberOr(s, plat::_wtoi(s), fallback);
}
uint8_t toByteOr(const char* s, uint8_t fallback) { return numberOr(s, plat::atoi(s), fallback); }
uint8_t toByteOr(const char16_t* s, uint8_t fallback) {
  return numberOr(s, plat::_wtoi(s), fallback);
}

bool isAsciiText(const char* s, bool hexOnly, uint32_t* failPos) {
  if (failPos) *failPos = 0;
  if (!s) return true;  // null counts as an empty text
  for (uint32_t i = 0; s[i]; ++i) {
    unsigned c = unit(s[i]);
    bool ok = c < 0x80 && (!hexOnly || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
    if (!ok) {
      if (failPos) *failPos = i;
      return false;
    }
  }
  return true;
}

bool isAsciiText(const char16_t* ws) { return allBelowT(ws, 0x80); }
bool allBelowLimit(const char* s) { return allBelowT(s, 0xC5); }
bool allBelowLimit(const char16_t* s) { return allBelowT(s, 0xFF); }

bool isHexNumber(const char16_t* ws, bool upperOnly) {
  if (!ws || !*ws || *ws == u'\t') return false;
  size_t count = 0;
  for (; *ws && *ws != u'\t'; ++ws, ++count) {
    char16_t c = *ws;
    bool ok = (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') ||
              (!upperOnly && c >= u'a' && c <= u'f');
    if (!ok) return false;
  }
  return count <= 16;
}

bool isDecimalNumber(const char16_t* ws, bool allowMinus) {
  if (!ws || !*ws) return false;
  size_t digits = 0;
  for (size_t i = 0; ws[i]; ++i) {
    char16_t c = ws[i];
    if (i == 0 && c == u'-' && allowMinus) continue;
    if (c == u' ') continue;
    if (c < u'0' || c > u'9') break;
    ++digits;
  }
  return digits >= 1 && digits <= 19;
}

#include "platform/text.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/utf.h"

namespace plat {

namespace {

template <typename C>
inline unsigned lowerUnit(C c) {
  unsigned u = static_cast<std::make_unsigned_t<C>>(c);
  return (u >= 'A' && u <= 'Z') ? u + 0x20 : u;
}

template <typename C>
C* foldAll(C* s, bool upper) {
  if (!s) return s;
  for (C* p = s; *p; ++p) {
    unsigned u = static_cast<std::make_unsigned_t<C>>(*p);
    if (upper && u >= 'a' && u <= 'z') *p = static_cast<C>(u - 0x20);
    if (!upper && u >= 'A' && u <= 'Z') *p = static_cast<C>(u + 0x20);
  }
  return s;
}

template <typename C>
int compareNoCase(const C* a, const C* b, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    unsigned x = lowerUnit(a[i]), y = lowerUnit(b[i]);
    if (x != y) return static_cast<int>(x) - static_cast<int>(y);
    if (!x) break;
  }
  return 0;
}

inline bool isCSpace(unsigned c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// atol-style reading that saturates at [lo, hi].
template <typename C>
int32_t parseInt(const C* s, int64_t lo, int64_t hi) {
  if (!s) return 0;
  using U = std::make_unsigned_t<C>;
  while (isCSpace(static_cast<U>(*s))) ++s;
  bool neg = false;
  if (*s == '-' || *s == '+') neg = (*s++ == '-');
  int64_t v = 0;
  for (; *s >= '0' && *s <= '9'; ++s) {
    v = v * 10 + (*s - '0');
    if (v > hi + 1) v = hi + 1;  // enough to know it saturates either way
  }
  if (neg) v = -v;
  if (v < lo) v = lo;
  if (v > hi) v = hi;
  return static_cast<int32_t>(v);
}

bool acpIsUtf8() {
  const char* cs = nl_langinfo(CODESET);
  return cs && (std::strcmp(cs, "UTF-8") == 0 || std::strcmp(cs, "utf8") == 0);
}

// Feeds input through iconv; onBad(out) is called for every input item the conversion cannot take,
// and badStep(at, left) input bytes are skipped for it.
template <typename Bad, typename Step>
bool runIconv(const char* to, const char* from, const char* in, size_t inLen, std::string& out,
              Step badStep, Bad onBad) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char* src = const_cast<char*>(in);
  size_t left = inLen;
  char buf[1024];
  while (left > 0) {
    char* dst = buf;
    size_t room = sizeof buf;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf, dst - buf);
    if (r != static_cast<size_t>(-1)) continue;
    int err = errno;
    if (err == E2BIG) continue;
    // EILSEQ (a unit the other side lacks) or EINVAL (cut short at the end): substitute and go on.
    onBad(out);
    size_t step = badStep(src, left);
    if (err == EINVAL) step = left;
    src += step;
    left -= step;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* dst = buf;
  size_t room = sizeof buf;
  iconv(cd, nullptr, nullptr, &dst, &room);
  out.append(buf, dst - buf);
  iconv_close(cd);
  return true;
}

}  // namespace

char* _strupr(char* s) { return foldAll(s, true); }
char16_t* _wcsupr(char16_t* s) { return foldAll(s, true); }
char* _strlwr(char* s) { return foldAll(s, false); }
char16_t* _wcslwr(char16_t* s) { return foldAll(s, false); }
int _stricmp(const char* a, const char* b) { return compareNoCase(a, b, SIZE_MAX); }
int _strnicmp(const char* a, const char* b, size_t count) { return compareNoCase(a, b, count); }
int _wcsicmp(const char16_t* a, const char16_t* b) { return compareNoCase(a, b, SIZE_MAX); }
int _wcsnicmp(const char16_t* a, const char16_t* b, size_t count) {
  return compareNoCase(a, b, count);
}

int wcscmp(const char16_t* a, const char16_t* b) { return wcsncmp(a, b, SIZE_MAX); }

int wcsncmp(const char16_t* a, const char16_t* b, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    if (!a[i]) break;
  }
  return 0;
}

const char16_t* wcschr(const char16_t* s, char16_t c) {
  for (;; ++s) {
    if (*s == c) return s;
    if (!*s) return nullptr;
  }
}

const char16_t* wcsstr(const char16_t* s, const char16_t* sub) {
  size_t n = wlen(sub);
  if (!n) return s;
  for (; *s; ++s) {
    if (*s == *sub && wcsncmp(s, sub, n) == 0) return s;
  }
  return nullptr;
}

size_t wcsspn(const char16_t* s, const char16_t* set) {
  size_t n = 0;
  while (s[n] && wcschr(set, s[n])) ++n;
  return n;
}

size_t wcscspn(const char16_t* s, const char16_t* set) {
  size_t n = 0;
  while (s[n] && !wcschr(set, s[n])) ++n;
  return n;
}

char16_t* _wcsdup(const char16_t* s) {
  if (!s) return nullptr;
  size_t bytes = (wlen(s) + 1) * sizeof(char16_t);
  auto* copy = static_cast<char16_t*>(std::malloc(bytes));
  if (copy) std::memcpy(copy, s, bytes);
  return copy;
}

int32_t atoi(const char* s) { return parseInt(s, INT32_MIN, INT32_MAX); }
int32_t atol(const char* s) { return parseInt(s, INT32_MIN, INT32_MAX); }
int32_t _wtoi(const char16_t* s) { return parseInt(s, INT32_MIN, INT32_MAX); }
int32_t _wtol(const char16_t* s) { return parseInt(s, INT32_MIN, INT32_MAX); }

int MultiByteToWideChar(uint32_t codePage, uint32_t flags, const char* src, int srcLen,
                        char16_t* dest, int destLen) {
  if (!src || srcLen == 0 || srcLen < -1 || destLen < 0 || (destLen > 0 && !dest)) return 0;
  size_t n = srcLen == -1 ? std::strlen(src) + 1 : static_cast<size_t>(srcLen);
  std::u16string wide;
  if (codePage == CP_UTF8 || (codePage == CP_ACP && acpIsUtf8())) {
    wide = fromUtf8(std::string_view(src, n));
  } else if (codePage == CP_ACP) {
    std::string bytes;
    auto bad = [](std::string& out) { out.append("\xFD\xFF", 2); };  // U+FFFD, little endian
    auto one = [](const char*, size_t) { return size_t{1}; };
    if (!runIconv("UTF-16LE", nl_langinfo(CODESET), src, n, bytes, one, bad)) return 0;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      wide += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                    (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
  } else {
    return 0;
  }
  if (wide.size() > INT_MAX) return 0;
  int need = static_cast<int>(wide.size());
  if (destLen == 0) return need;
  if (need > destLen) return 0;  // does not fit: nothing written
  std::memcpy(dest, wide.data(), wide.size() * sizeof(char16_t));
  return need;
}

int WideCharToMultiByte(uint32_t codePage, uint32_t flags, const char16_t* src, int srcLen,
                        char* dest, int destLen, const char* defaultChar, int* usedDefault) {
  if (usedDefault) *usedDefault = 0;
  if (!src || srcLen == 0 || srcLen < -1 || destLen < 0 || (destLen > 0 && !dest)) return 0;
  size_t n = srcLen == -1 ? wlen(src) + 1 : static_cast<size_t>(srcLen);
  std::string narrow;
  if (codePage == CP_UTF8 || (codePage == CP_ACP && acpIsUtf8())) {
    narrow = toUtf8(std::u16string_view(src, n));
  } else if (codePage == CP_ACP) {
    std::string le;
    le.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
      le += static_cast<char>(src[i] & 0xFF);
      le += static_cast<char>(src[i] >> 8);
    }
    char dflt = defaultChar ? *defaultChar : '?';
    bool used = false;
    auto bad = [&](std::string& out) {
      out += dflt;
      used = true;
    };
    // A surrogate pair the code page lacks is one character and gets one default character.
    auto unit = [](const char* at, size_t left) {
      auto u = [&](size_t i) { return static_cast<unsigned char>(at[i]) | (static_cast<unsigned char>(at[i + 1]) << 8); };
      if (left >= 4 && u(0) >= 0xD800 && u(0) <= 0xDBFF && u(2) >= 0xDC00 && u(2) <= 0xDFFF) return size_t{4};
      return left < 2 ? left : size_t{2};
    };
    if (!runIconv(nl_langinfo(CODESET), "UTF-16LE", le.data(), le.size(), narrow, unit, bad)) return 0;
    if (used && usedDefault) *usedDefault = 1;
  } else {
    return 0;
  }
  if (narrow.size() > INT_MAX) return 0;
  int need = static_cast<int>(narrow.size());
  if (destLen == 0) return need;
  if (need > destLen) return 0;  // does not fit: nothing written
  std::memcpy(dest, narrow.data(), narrow.size());
  return need;
}

}  // namespace plat

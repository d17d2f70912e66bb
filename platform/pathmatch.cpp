#include "platform/pathmatch.h"

#include <dirent.h>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/utf.h"

namespace plat {

char16_t foldCase(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) ||
      (c >= 0x430 && c <= 0x44F))
    return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

namespace {

bool isSep(char16_t c) { return c == u'\\' || c == u'/'; }

bool sameChar(char16_t a, char16_t b) {
  if (isSep(a) && isSep(b)) return true;
  return foldCase(a) == foldCase(b);
}

// Iterative wildcard match with single back-tracking to the last '*': linear in practice and
// never recursive, so a hostile pattern cannot exhaust the stack.
bool globMatch(const char16_t* s, size_t sn, const char16_t* p, size_t pn) {
  size_t si = 0, pi = 0, starP = SIZE_MAX, starS = 0;
  while (si < sn) {
    if (pi < pn && p[pi] == u'*') {
      starP = pi++;
      starS = si;
    } else if (pi < pn && (p[pi] == u'?' || sameChar(p[pi], s[si]))) {
      ++pi;
      ++si;
    } else if (starP != SIZE_MAX) {
      pi = starP + 1;
      si = ++starS;
    } else {
      return false;
    }
  }
  while (pi < pn && p[pi] == u'*') ++pi;
  return pi == pn;
}

}  // namespace

bool matchOnePattern(const char16_t* name, unsigned long nameLen, const char16_t* pattern,
                     unsigned long len) {
  if (len == 0) return false;
  if (globMatch(name, nameLen, pattern, len)) return true;
  // "name.*" also accepts "name" when the name has no dot: the old rule of the DOS wildcards.
  if (len >= 2 && pattern[len - 2] == u'.' && pattern[len - 1] == u'*') {
    for (unsigned long i = 0; i < nameLen; ++i)
      if (name[i] == u'.') return false;
    return globMatch(name, nameLen, pattern, len - 2);
  }
  return false;
}

bool PathMatchSpecW(const char16_t* file, const char16_t* spec) {
  if (!file || !spec) return false;
  size_t fileLen = wlen(file);
  size_t base = fileLen;
  while (base > 0 && !isSep(file[base - 1])) --base;
  const char16_t* p = spec;
  while (*p) {
    while (*p == u' ') ++p;
    const char16_t* start = p;
    while (*p && *p != u';') ++p;
    const char16_t* end = p;
    while (end > start && end[-1] == u' ') --end;
    if (*p == u';') ++p;
    size_t len = static_cast<size_t>(end - start);
    if (len == 0) continue;
    bool hasSep = false;
    for (const char16_t* q = start; q < end; ++q) hasSep = hasSep || isSep(*q);
    const char16_t* subject = hasSep ? file : file + base;
    size_t subjectLen = hasSep ? fileLen : fileLen - base;
    if (matchOnePattern(subject, subjectLen, start, len)) return true;
  }
  return false;
}

bool PathIsDirectoryEmptyW(const char16_t* path) {
  if (!path || !*path) return false;
  DIR* d = ::opendir(toPosixPath(path).c_str());
  if (!d) return false;
  bool empty = true;
  while (dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    empty = false;
    break;
  }
  ::closedir(d);
  return empty;
}

}  // namespace plat
